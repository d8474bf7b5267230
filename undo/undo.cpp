// Undoing one record of the undo journal, which the reader has checked.
// Every step can be done again with the same result, since a run cut short
// in the middle of one does it again; each is logged, and so is a change
// that cannot be undone.
#include <windows.h>
#include <winspool.h>

#include <stddef.h>
#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/product_names.h"
#include "machine/kernel_service.h"
#include "machine/model_inf.h"
#include "machine/spooler_lists.h"
#include "run/log.h"
#include "run/state.h"
#include "undo/journal.h"

static const BlockField kQueueFields[] = {
    { offsetof(PRINTER_INFO_2A, pPrinterName), FIELD_TEXT }, { offsetof(PRINTER_INFO_2A, pServerName), FIELD_TEXT },
    { offsetof(PRINTER_INFO_2A, pShareName), FIELD_TEXT }, { offsetof(PRINTER_INFO_2A, pPortName), FIELD_TEXT },
    { offsetof(PRINTER_INFO_2A, pDriverName), FIELD_TEXT }, { offsetof(PRINTER_INFO_2A, pComment), FIELD_TEXT },
    { offsetof(PRINTER_INFO_2A, pLocation), FIELD_TEXT }, { offsetof(PRINTER_INFO_2A, pDevMode), FIELD_DEVMODE },
    { offsetof(PRINTER_INFO_2A, pSepFile), FIELD_TEXT }, { offsetof(PRINTER_INFO_2A, pPrintProcessor), FIELD_TEXT },
    { offsetof(PRINTER_INFO_2A, pDatatype), FIELD_TEXT }, { offsetof(PRINTER_INFO_2A, pParameters), FIELD_TEXT },
    { offsetof(PRINTER_INFO_2A, pSecurityDescriptor), FIELD_SECURITY } };
static const BlockField kDriverFields[] = {
    { offsetof(DRIVER_INFO_3A, pName), FIELD_TEXT }, { offsetof(DRIVER_INFO_3A, pEnvironment), FIELD_TEXT },
    { offsetof(DRIVER_INFO_3A, pDriverPath), FIELD_FILE }, { offsetof(DRIVER_INFO_3A, pDataFile), FIELD_FILE },
    { offsetof(DRIVER_INFO_3A, pConfigFile), FIELD_FILE }, { offsetof(DRIVER_INFO_3A, pHelpFile), FIELD_FILE },
    { offsetof(DRIVER_INFO_3A, pDependentFiles), FIELD_FILES }, { offsetof(DRIVER_INFO_3A, pMonitorName), FIELD_TEXT },
    { offsetof(DRIVER_INFO_3A, pDefaultDataType), FIELD_TEXT } };
const BlockLayout QUEUE_LAYOUT = { sizeof(PRINTER_INFO_2A), kQueueFields, sizeof kQueueFields / sizeof kQueueFields[0] };
const BlockLayout DRIVER_LAYOUT = { sizeof(DRIVER_INFO_3A), kDriverFields, sizeof kDriverFields / sizeof kDriverFields[0] };

void JournalRulesHere(JournalRules *rules, char *kernelDriverPath, char *infFolder, size_t size)
{
    rules->driverFolder = g_setup.driverFolder;
    rules->systemFolder = g_setup.systemFolder;
    rules->kernelDriverPath = BuildKernelDriverPath(kernelDriverPath, size) ? kernelDriverPath : 0;
    rules->queue = &QUEUE_LAYOUT;
    rules->driver = &DRIVER_LAYOUT;
    rules->isLeadByte = IsLeadByte;
    rules->infFolder = InfFolderPath(infFolder, size) ? infFolder : 0;
}

static int Deleted(const char *path)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return 1;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path))
        return 1;
    LogLine("undo: %s not deleted, error %lu", path, (unsigned long)GetLastError());
    return 0;
}

// A copy is put back by copying, so that it stays until its restore is
// confirmed; it goes with its own record, which comes earlier.
static int UndoFile(int type, const char *path, const char *copy)
{
    if (type == JOURNAL_COPY)
        return Deleted(copy);
    if (!*copy) {
        int there = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
        if (!Deleted(path))
            return 0;
        if (there)
            LogLine("undo: deleted %s", path);
        return 1;
    }
    // On the disk before the copy may go.
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(copy, path, FALSE) || !FlushToDisk(path)) {
        LogLine("undo: %s not put back, error %lu; its copy stays: %s", path, (unsigned long)GetLastError(), copy);
        return 0;
    }
    LogLine("undo: put back %s", path);
    return 1;
}

static int UndoQueue(const PRINTER_INFO_2A *saved)
{
    HANDLE printer = 0;
    PRINTER_DEFAULTSA defaults = { 0, 0, PRINTER_ALL_ACCESS };
    int there = g_setup.spooler.OpenPrinterA((LPSTR)MODEL_QUEUE_NAME, &printer, &defaults);
    int done = 1;
    if (!saved) {
        done = !there || g_setup.spooler.DeletePrinter(printer);
        LogLine(!there ? "undo: no printer \"%s\" to delete" : done ? "undo: printer \"%s\" deleted"
                                                                   : "undo: printer \"%s\" not deleted",
                MODEL_QUEUE_NAME);
    } else if (there) {
        LogLine("undo: earlier printer \"%s\" still there", MODEL_QUEUE_NAME);
    } else {
        PRINTER_INFO_2A info = *saved;
        info.pServerName = 0;
        HANDLE added = g_setup.spooler.AddPrinterA(0, 2, (LPBYTE)&info);
        done = added != 0;
        char result[32];
        LogLine("undo: earlier printer \"%s\" added again on port %s: %s", MODEL_QUEUE_NAME, info.pPortName,
                StepResult(done, GetLastError(), result, sizeof result));
        if (added)
            g_setup.spooler.ClosePrinter(added);
    }
    if (there)
        g_setup.spooler.ClosePrinter(printer);
    return done;
}

static int UndoDriver(const DRIVER_INFO_3A *saved)
{
    char result[32];
    if (!saved) {
        // A driver the spooler never took is gone already.
        BOOL deleted = g_setup.spooler.DeletePrinterDriverA(0, 0, (LPSTR)MODEL_DRIVER_NAME) || !ModelDriverListed();
        LogLine("undo: driver \"%s\" deleted: %s", MODEL_DRIVER_NAME,
                StepResult(deleted, GetLastError(), result, sizeof result));
        return deleted;
    }
    BOOL added = g_setup.spooler.AddPrinterDriverA(0, 3, (LPBYTE)saved);
    LogLine("undo: earlier driver \"%s\" registered again: %s", MODEL_DRIVER_NAME,
            StepResult(added, GetLastError(), result, sizeof result));
    return added;
}

// The service the setup created goes, once stopped: one that goes only at
// the next restart would take the earlier one with it. An earlier one of
// ours comes back as the setup makes it, with its start type, running again
// when it was.
static int UndoService(const JournalService *saved, const char *path)
{
    char result[32];
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        LogLine("undo: service %s not put back, the service manager cannot be opened, error %lu",
                KERNEL_SERVICE_NAME, (unsigned long)GetLastError());
        return 0;
    }
    SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_ALL_ACCESS);
    BOOL done;
    if (!saved) {
        // Already gone is what the undo wants.
        done = !service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        if (service) {
            DWORD state;
            done = StopKernelService(service, &state) != SERVICE_STILL_RUNNING
                   && (DeleteService(service) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE);
        }
        LogLine("undo: service %s deleted: %s", KERNEL_SERVICE_NAME, StepResult(done, GetLastError(), result, sizeof result));
    } else {
        if (!service) {
            service = CreateKernelService(manager, path, saved->startType);
            LogLine("undo: earlier service %s created again: %s", KERNEL_SERVICE_NAME,
                    StepResult(service != 0, GetLastError(), result, sizeof result));
        }
        done = service != 0;
        if (service && saved->running) {
            done = StartServiceA(service, 0, 0) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
            LogLine("undo: earlier service %s started again: %s", KERNEL_SERVICE_NAME,
                    StepResult(done, GetLastError(), result, sizeof result));
        }
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return done;
}

struct InfUndo {
    const char *before;  // the names that were there, one after the other, then ""
    int done;
};

// One copy of the media's INF in the INF folder, under a name the setup
// library gives ("oemN.inf", or the INF's own): gone unless it was there
// before the setup.
static void UndoInfCopy(void *context, const char *folder, const char *name)
{
    InfUndo *undo = (InfUndo *)context;
    if (!IsModelInfCopyName(name, ".inf"))
        return;
    for (const char *before = undo->before; *before; before += strlen(before) + 1)
        if (SameTextIgnoringAsciiCase(before, name))
            return;
    UninstallOemInf(name);
    // The library may keep the files: what counts is that they go.
    char path[PATH_CHARS];
    if (!FormatText(path, sizeof path, "%s\\%s", folder, name) || !Deleted(path)
        || !PrecompiledInfPath(path, sizeof path) || !Deleted(path)) {
        undo->done = 0;
        return;
    }
    LogLine("undo: INF %s\\%s removed", folder, name);
}

// data: the size of the media's INF, its bytes, then the names of its copies
// before the setup.
static int UndoInf(const BYTE *data)
{
    uint32_t bytes;
    memcpy(&bytes, data, sizeof bytes);
    InfUndo undo = { (const char *)data + sizeof bytes + bytes, 1 };
    if (FindInfsLike(data + sizeof bytes, bytes, UndoInfCopy, &undo) < 0) {
        LogLine("undo: the INF registered for the setup cannot be looked for");
        return 0;
    }
    return undo.done;
}

int UndoRecord(int type, const BYTE *data, DWORD size)
{
    const BlockLayout *layout = type == JOURNAL_QUEUE_DELETED ? &QUEUE_LAYOUT : &DRIVER_LAYOUT;
    const void *saved = 0;
    BYTE *block = 0;
    if (type == JOURNAL_QUEUE_DELETED || type == JOURNAL_DRIVER_DELETED) {
        JournalBlock header;
        memcpy(&header, data, sizeof header);
        block = (BYTE *)GlobalAlloc(GMEM_FIXED, header.size);
        if (!block) {
            LogLine("undo: no memory for a record of the journal");
            return 0;
        }
        saved = MoveJournalBlock(data, layout, block);
    }
    int done = 1;
    switch (type) {
    case JOURNAL_COPY:
    case JOURNAL_CHANGE:
        done = UndoFile(type, (const char *)data, RecordCopyName(data));
        break;
    case JOURNAL_QUEUE_DELETED:
    case JOURNAL_QUEUE_ADDED:
        done = UndoQueue((const PRINTER_INFO_2A *)saved);
        break;
    case JOURNAL_DRIVER_DELETED:
    case JOURNAL_DRIVER_ADDED:
        done = UndoDriver((const DRIVER_INFO_3A *)saved);
        break;
    case JOURNAL_SERVICE_DELETED: {
        JournalService service;
        memcpy(&service, data, sizeof service);
        done = UndoService(&service, (const char *)data + sizeof service);
        break;
    }
    case JOURNAL_SERVICE_CREATED:
        done = UndoService(0, 0);
        break;
    case JOURNAL_INF_ADDED:
        done = UndoInf(data);
        break;
    }
    if (block)
        GlobalFree(block);
    return done;
}
