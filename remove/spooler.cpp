// Spooler side of the removal: the queue, the form and the driver registration.
#include <windows.h>
#include <winspool.h>

#include "base/paths.h"
#include "catalog/catalog.h"
#include "machine/spooler_lists.h"
#include "remove/datafile.h"
#include "remove/purge.h"
#include "remove/remove.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"

// Reads the data file of the queue's driver; nothing here is reported, any
// failure just leaves dataPath empty.
static void ReadDataFile(HANDLE printer, char *dataPath)
{
    dataPath[0] = '\0';
    SetLastError(0);
    DWORD needed = 0;
    g_setup.spooler.GetPrinterDriverA(printer, 0, 2, 0, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return;
    BYTE *block = (BYTE *)GlobalAlloc(GPTR, needed);
    if (!block)
        return;
    if (g_setup.spooler.GetPrinterDriverA(printer, 0, 2, block, needed, &needed)) {
        const DRIVER_INFO_2A *info = (const DRIVER_INFO_2A *)block;
        TakeDataFile(dataPath, PATH_CHARS, info->pName, info->pDataFile);
    }
    GlobalFree(block);
}

// A quiet complete deletion, purge or not, goes on from any state: what is
// already gone is no failure.
static int QuietCompleteDeletion()
{
    return g_setup.quiet && g_setup.request.action == ACTION_COMPLETE_DELETION;
}

static void ShowDeletionFailure(HWND owner, UINT textId)
{
    char caption[CAPTION_CHARS];
    LoadMessage(IDS_DELETION_FAILURE, caption, sizeof caption);
    ShowMessageId(owner, caption, textId);
}

int DeletePrinterQueue(HWND owner, char *dataPath, int row)
{
    HANDLE printer = 0;
    PRINTER_DEFAULTSA defaults = { 0, 0, PRINTER_ALL_ACCESS };
    if (!g_setup.spooler.OpenPrinterA((LPSTR)MODEL_QUEUE_NAME, &printer, &defaults)) {
        unsigned long error = GetLastError();
        LogLine("spooler: printer \"%s\" not opened, error %lu", MODEL_QUEUE_NAME, error);
        // Nor has it anything to report about a queue that is not there.
        if (!QuietCompleteDeletion() || error != ERROR_INVALID_PRINTER_NAME)
            ReportFormatted(owner, IDS_DELETION_FAILURE, IDS_DELETE_STEP1, error);
        return error == ERROR_INVALID_PRINTER_NAME ? -1 : 0;
    }
    ReadDataFile(printer, dataPath);
    LogLine("spooler: printer \"%s\" opened; its driver's data file: %s", MODEL_QUEUE_NAME,
            dataPath[0] ? dataPath : "(unknown)");
    if (!g_setup.spooler.DeletePrinter(printer)) {
        unsigned long error = GetLastError();
        LogLine("spooler: printer \"%s\" not deleted, error %lu", MODEL_QUEUE_NAME, error);
        ReportFormatted(owner, IDS_DELETION_FAILURE, IDS_DELETE_STEP2, error);
        g_setup.spooler.ClosePrinter(printer);
        return 0;
    }
    LogLine("spooler: printer \"%s\" deleted", MODEL_QUEUE_NAME);
    // Only the NT family has forms; the handle stays usable until it is closed.
    if (!IsNineXFamily(row)) {
        char result[32];
        BOOL deleted = g_setup.spooler.DeleteFormA(printer, (LPSTR)MODEL_FORM_NAME);
        LogLine("spooler: form \"%s\" deleted: %s", MODEL_FORM_NAME,
                StepResult(deleted, GetLastError(), result, sizeof result));
        if (!deleted)
            ShowDeletionFailure(owner, IDS_FORM_NOT_DELETED);
    }
    g_setup.spooler.ClosePrinter(printer);
    return 1;
}

int DeleteDriver(HWND owner, int complete, const char *dataPath)
{
    BOOL deleted = complete && g_setup.request.purge ? DeleteModelDriverWithFiles()
                                                     : g_setup.spooler.DeletePrinterDriverA(0, 0, (LPSTR)MODEL_DRIVER_NAME);
    if (!deleted) {
        unsigned long error = GetLastError();
        LogLine("spooler: driver \"%s\" not deleted, error %lu", MODEL_DRIVER_NAME, error);
        // Nor about a driver that is not registered (Wine's error says so unreliably).
        if (!QuietCompleteDeletion() || ModelDriverListed())
            ReportFormatted(owner, IDS_DELETION_FAILURE, IDS_DRIVER_DELETE, error);
        return 0;
    }
    LogLine("spooler: driver \"%s\" deleted", MODEL_DRIVER_NAME);
    // Only now that the spooler has forgotten the driver is its file free to go.
    if (complete && dataPath[0]) {
        if (DeleteFileA(dataPath)) {
            LogLine("deleted %s (the driver's data file)", dataPath);
        } else {
            DWORD error = GetLastError();
            LogLine("delete failed %s (the driver's data file): error %lu", dataPath, (unsigned long)error);
            // Silent for the user; a quiet run counts a file that is still
            // there, unless a purge follows, which deletes it or leaves it to
            // the restart.
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && !g_setup.request.purge)
                SetQuietExit(QUIET_EXIT_FAILED);
        }
    }
    return 1;
}
