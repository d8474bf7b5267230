// Registration of the model's driver and queue with the local spooler.
#include <windows.h>
#include <winspool.h>

#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/records.h"
#include "install/install.h"
#include "machine/spooler_lists.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

// The spooler's records take non-const strings it never writes to.
static LPSTR Mutable(const char *text)
{
    return (LPSTR)text;
}

int AddDriver(HWND owner, int row)
{
    DriverRecord record;
    DWORD error = ERROR_INSUFFICIENT_BUFFER;  // the record cannot be built
    if (BuildDriverRecord(row, &record)) {
        DRIVER_INFO_3A info;
        ZeroMemory(&info, sizeof info);
        info.cVersion = (DWORD)record.version;
        info.pName = Mutable(record.name);
        info.pEnvironment = Mutable(record.environment);
        info.pDriverPath = Mutable(record.driverPath);
        info.pDataFile = Mutable(record.dataFile);
        info.pConfigFile = Mutable(record.configFile);
        info.pHelpFile = Mutable(record.helpFile);
        info.pDependentFiles = record.dependentFiles;
        info.pMonitorName = Mutable(record.monitorName);
        info.pDefaultDataType = Mutable(record.defaultDataType);
        if (g_setup.spooler.AddPrinterDriverA(0, 3, (LPBYTE)&info)) {
            LogLine("spooler: driver \"%s\" added (%s, %s, %s)", record.name, record.driverPath, record.dataFile,
                    record.configFile);
            return 1;
        }
        error = GetLastError();
    }
    LogLine("spooler: driver \"%s\" not added, error %lu", MODEL_DRIVER_NAME, (unsigned long)error);
    ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_DRIVER_FAILED, (unsigned long)error);
    return 0;
}

int AddQueue(HWND owner, int row)
{
    (void)row;  // the queue record is the same for every platform
    QueueRecord record;
    BuildQueueRecord(g_setup.portName, &record);
    PRINTER_INFO_2A info;
    ZeroMemory(&info, sizeof info);
    info.pPrinterName = Mutable(record.printerName);
    info.pPortName = Mutable(record.portName);
    info.pDriverName = Mutable(record.driverName);
    info.pComment = Mutable(record.comment);
    info.pPrintProcessor = Mutable(record.printProcessor);
    info.pDatatype = Mutable(record.dataType);
    info.Attributes = (DWORD)record.attributes;
    HANDLE printer = g_setup.spooler.AddPrinterA(0, 2, (LPBYTE)&info);
    if (printer) {
        g_setup.spooler.ClosePrinter(printer);
        LogLine("spooler: printer \"%s\" added on port %s", record.printerName, record.portName);
        return 1;
    }
    DWORD error = GetLastError();
    LogLine("spooler: printer \"%s\" not added on port %s, error %lu", record.printerName, record.portName,
            (unsigned long)error);
    ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_PRINTER_FAILED, (unsigned long)error);
    return 0;
}

// The earlier queue's level-2 record goes into the undo journal before the
// queue is deleted; 1 when there is no journal.
static int JournalQueue(HANDLE printer)
{
    if (!g_setup.journal.file)
        return 1;
    DWORD needed = 0;
    g_setup.spooler.GetPrinterA(printer, 2, 0, 0, &needed);
    BYTE *block = needed ? (BYTE *)GlobalAlloc(GPTR, needed) : 0;
    int saved = block && g_setup.spooler.GetPrinterA(printer, 2, block, needed, &needed)
                && JournalAddBlock(JOURNAL_QUEUE_DELETED, block, needed, block);
    if (!saved)
        LogLine("spooler: earlier printer \"%s\" cannot be kept for the undo, error %lu", MODEL_QUEUE_NAME,
                (unsigned long)GetLastError());
    if (block)
        GlobalFree(block);
    return saved;
}

// Likewise the earlier driver's level-3 record, when there is one: only
// its own, packed with its texts, however many drivers the spooler lists.
static int JournalDriver()
{
    if (!g_setup.journal.file)
        return 1;
    DWORD count = 0, error = 0;
    DRIVER_INFO_3A *drivers = EnumLocalDrivers(&count, &error);
    const DRIVER_INFO_3A *model = FindModelDriver(drivers, count);
    int saved = error == 0;
    if (saved && model) {
        size_t size = PackJournalBlock(model, &DRIVER_LAYOUT, 0, 0);
        BYTE *block = (BYTE *)GlobalAlloc(GMEM_FIXED, size);
        saved = block && PackJournalBlock(model, &DRIVER_LAYOUT, block, size) == size
                && JournalAddBlock(JOURNAL_DRIVER_DELETED, block, (DWORD)size, block);
        if (block)
            GlobalFree(block);
    }
    if (!saved)
        LogLine("spooler: earlier driver \"%s\" cannot be kept for the undo, error %lu", MODEL_DRIVER_NAME,
                (unsigned long)(error ? error : GetLastError()));
    if (drivers)
        GlobalFree(drivers);
    return saved;
}

void PurgePrinter()
{
    HANDLE printer = 0;
    PRINTER_DEFAULTSA defaults;
    ZeroMemory(&defaults, sizeof defaults);
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    if (g_setup.spooler.OpenPrinterA(Mutable(MODEL_QUEUE_NAME), &printer, &defaults)) {
        if (!JournalQueue(printer)) {
            g_setup.spooler.ClosePrinter(printer);
            SetQuietExit(QUIET_EXIT_FAILED);
            return;
        }
        if (g_setup.spooler.DeletePrinter(printer)) {
            LogLine("spooler: earlier printer \"%s\" deleted", MODEL_QUEUE_NAME);
        } else {
            LogLine("spooler: earlier printer \"%s\" not deleted, error %lu", MODEL_QUEUE_NAME,
                    (unsigned long)GetLastError());
            SetQuietExit(QUIET_EXIT_FAILED);
        }
        g_setup.spooler.ClosePrinter(printer);
        if (SetupStopped())
            return;  // a quiet setup stops here, to be undone
    } else {
        LogLine("spooler: no earlier printer \"%s\" opened, error %lu", MODEL_QUEUE_NAME,
                (unsigned long)GetLastError());
    }
    if (!JournalDriver()) {
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    if (g_setup.spooler.DeletePrinterDriverA(0, 0, Mutable(MODEL_DRIVER_NAME))) {
        LogLine("spooler: earlier driver \"%s\" deleted", MODEL_DRIVER_NAME);
        return;
    }
    // The spooler's error does not tell a missing driver apart reliably (Wine
    // leaves an earlier one), so the list does. A driver another queue still
    // uses is replaced by the registration that follows.
    DWORD error = GetLastError();
    if (!ModelDriverListed()) {
        LogLine("spooler: no earlier driver \"%s\" to delete", MODEL_DRIVER_NAME);
    } else if (error == ERROR_PRINTER_DRIVER_IN_USE) {
        LogLine("spooler: earlier driver \"%s\" kept, another queue uses it (error %lu); it is replaced",
                MODEL_DRIVER_NAME, (unsigned long)error);
    } else {
        LogLine("spooler: earlier driver \"%s\" not deleted, error %lu", MODEL_DRIVER_NAME, (unsigned long)error);
        SetQuietExit(QUIET_EXIT_FAILED);
    }
}
