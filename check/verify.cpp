#include "check/verify.h"

#include <winspool.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "base/whole_file.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "catalog/records.h"
#include "machine/folders.h"
#include "machine/kernel_service.h"
#include "machine/pending.h"
#include "machine/spooler_lists.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

enum { COMPARED_MAX_BYTES = 16 * 1024 * 1024, LISTED_CHARS = 160 };

struct Verification {
    int differences;
    int failed;            // the check itself could not be made
    int queueFound;
    int driverFound;
    int pending;           // a journal or a restart would change it: never "not installed"
    DWORD error;           // of the first failure
    char listed[LISTED_CHARS];  // the names of the first differences, one per line, for the message
};

// One difference: its line in the log, and the name of what differs in the
// message, once, while it has room.
static void Differs(Verification *check, const char *object, const char *how)
{
    LogLine("verify: %s: %s", object, how);
    check->differences++;
    const char *name = PathFileName(object, IsLeadByte);
    size_t length = strlen(name), used = strlen(check->listed);
    // Each entry is "\r\n\t" and a name.
    for (const char *entry = check->listed; *entry; entry++)
        if (entry[0] == '\t' && strncmp(entry + 1, name, length) == 0 && (entry[length + 1] == '\r' || !entry[length + 1]))
            return;
    if (!FormatText(check->listed + used, sizeof check->listed - used, "\r\n\t%s", name))
        check->listed[used] = '\0';  // no room left: the log has the rest
}

static void Failed(Verification *check, const char *what, DWORD error)
{
    LogLine("verify: %s: error %lu", what, (unsigned long)error);
    if (!check->failed)
        check->error = error;
    check->failed = 1;
}

// target against the media's file at source (below the working folder).
static void CompareWithMedia(Verification *check, const char *target, const char *source)
{
    DWORD mediaSize = 0, targetSize = 0;
    BYTE *media = ReadWholeFile(source, COMPARED_MAX_BYTES, &mediaSize);
    if (!media) {
        Failed(check, source, GetLastError());  // the media's file
        return;
    }
    BYTE *installed = ReadWholeFile(target, COMPARED_MAX_BYTES, &targetSize);
    DWORD error = GetLastError();
    if (!installed)
        Differs(check, target, error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? "missing"
                                                                                             : "cannot be read");
    else if (targetSize != mediaSize || memcmp(installed, media, mediaSize) != 0)
        Differs(check, target, "not the media's file");
    if (installed)
        GlobalFree(installed);
    GlobalFree(media);
}

// The media's file of this name for the platform's driver files, or 0.
static const FileEntry *DriverEntry(int row, const char *name)
{
    for (const FileEntry *entry = g_platforms[row].driverFiles; entry && entry->name; entry++)
        if (SameTextIgnoringAsciiCase(entry->name, name))
            return entry;
    return 0;
}

static void CompareList(Verification *check, const char *folder, const FileEntry *list)
{
    for (const FileEntry *entry = list; entry && entry->name; entry++) {
        char target[PATH_CHARS], source[PATH_CHARS];
        if (!FormatText(target, sizeof target, "%s\\%s", folder, entry->name)
            || !MediaFilePath(source, sizeof source, entry->sourceFolder, entry->name))
            Failed(check, "a path does not fit", ERROR_FILENAME_EXCED_RANGE);
        else
            CompareWithMedia(check, target, source);
    }
}

static void CheckQueue(Verification *check)
{
    HANDLE printer = 0;
    if (!g_setup.spooler.OpenPrinterA((LPSTR)MODEL_QUEUE_NAME, &printer, 0)) {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_PRINTER_NAME)
            Differs(check, MODEL_QUEUE_NAME, "no queue");
        else
            Failed(check, "the queue cannot be opened", error);
        return;
    }
    check->queueFound = 1;
    DWORD needed = 0;
    g_setup.spooler.GetPrinterA(printer, 2, 0, 0, &needed);
    PRINTER_INFO_2A *info = needed ? (PRINTER_INFO_2A *)GlobalAlloc(GPTR, needed) : 0;
    if (!info || !g_setup.spooler.GetPrinterA(printer, 2, (LPBYTE)info, needed, &needed)) {
        Failed(check, "the queue cannot be read", info ? GetLastError() : (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    } else {
        LogLine("verify: queue \"%s\" on port %s", MODEL_QUEUE_NAME, info->pPortName ? info->pPortName : "");
        if (!info->pPortName || !info->pPortName[0])
            Differs(check, MODEL_QUEUE_NAME, "the queue is on no port");
        if (!info->pDriverName || !SameTextIgnoringAsciiCase(info->pDriverName, MODEL_DRIVER_NAME))
            Differs(check, MODEL_QUEUE_NAME, "the queue uses another driver");
    }
    if (info)
        GlobalFree(info);
    g_setup.spooler.ClosePrinter(printer);
}

// A file the registration names: its name as the setup registers it and,
// when compare is set, its content as the media's.
static void CheckListedFile(Verification *check, int row, const char *listed, const char *expected, int compare)
{
    const char *name = listed ? PathFileName(listed, IsLeadByte) : "";
    if (!SameTextIgnoringAsciiCase(name, expected ? expected : "")) {
        char how[LISTED_CHARS];
        FormatText(how, sizeof how, "the registration names \"%s\", not \"%s\"", name, expected ? expected : "");
        Differs(check, MODEL_DRIVER_NAME, how);
        return;
    }
    const FileEntry *entry = compare && *name ? DriverEntry(row, name) : 0;
    char source[PATH_CHARS];
    if (entry && MediaFilePath(source, sizeof source, entry->sourceFolder, entry->name))
        CompareWithMedia(check, listed, source);
}

static void CheckDriver(Verification *check, int row)
{
    DWORD count = 0, error = 0;
    DRIVER_INFO_3A *drivers = EnumLocalDrivers(&count, &error);
    if (error) {
        Failed(check, "the spooler's drivers cannot be listed", error);
        return;
    }
    const DRIVER_INFO_3A *model = FindModelDriver(drivers, count);
    DriverRecord record;
    if (!model) {
        Differs(check, MODEL_DRIVER_NAME, "no driver registration");
    } else if (!BuildDriverRecord(row, &record)) {
        Failed(check, "no driver record", ERROR_INSUFFICIENT_BUFFER);
    } else {
        check->driverFound = 1;
        CheckListedFile(check, row, model->pDriverPath, record.driverPath, 0);
        CheckListedFile(check, row, model->pDataFile, record.dataFile, 0);
        CheckListedFile(check, row, model->pConfigFile, record.configFile, 0);
        CheckListedFile(check, row, model->pHelpFile, record.helpFile, 0);
        // Every dependent file the setup registers is listed, with the media's
        // content; they include the driver's own files, each compared once here.
        for (const char *wanted = record.dependentFiles; *wanted; wanted += strlen(wanted) + 1) {
            const char *found = 0;
            for (const char *file = model->pDependentFiles; file && *file && !found; file += strlen(file) + 1)
                if (SameTextIgnoringAsciiCase(PathFileName(file, IsLeadByte), wanted))
                    found = file;
            if (!found)
                Differs(check, wanted, "not among the driver's dependent files");
            else
                CheckListedFile(check, row, found, wanted, 1);
        }
    }
    if (drivers)
        GlobalFree(drivers);
}

// The hwbridge service runs our file as a demand-start kernel driver, and
// runs with its device opening as the setup opens it. A restart stops a
// demand-start driver: stopped, it is still installed as the media install it.
static void CheckKernelService(Verification *check)
{
    char path[PATH_CHARS], source[PATH_CHARS], binary[PATH_CHARS];
    if (!BuildKernelDriverPath(path, sizeof path) || !MediaFilePath(source, sizeof source, KERNEL_DRIVER_SOURCE, "")) {
        Failed(check, "the kernel driver has no path", GetLastError());
        return;
    }
    CompareWithMedia(check, path, source);
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_CONNECT);
    if (!manager) {
        Failed(check, "the service manager cannot be opened", GetLastError());
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    DWORD error = GetLastError(), start = SERVICE_DEMAND_START;
    SERVICE_STATUS status;
    int running = 0;
    if (!service && error == ERROR_SERVICE_DOES_NOT_EXIST) {
        Differs(check, KERNEL_SERVICE_NAME, "no service");
    } else if (!service) {
        Failed(check, "the service cannot be opened", error);
    } else {
        int ours = ServiceRunsFile(service, path, binary, sizeof binary, &start);
        if (ours < 0)
            Failed(check, "the service's configuration cannot be read", GetLastError());
        else if (!ours)
            Differs(check, KERNEL_SERVICE_NAME, "the service runs another file");
        else if (start != SERVICE_DEMAND_START)
            Differs(check, KERNEL_SERVICE_NAME, "the service does not start on demand");
        if (!QueryServiceStatus(service, &status))
            Failed(check, "the service's state cannot be read", GetLastError());
        else if (status.dwCurrentState == SERVICE_RUNNING)
            running = 1;
        else if (status.dwCurrentState == SERVICE_STOPPED && start == SERVICE_DEMAND_START)
            LogLine("verify: note: %s is stopped, as a demand-start driver is after a restart", KERNEL_SERVICE_NAME);
        else
            Differs(check, KERNEL_SERVICE_NAME, "the service is neither running nor stopped");
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    if (!running)
        return;
    HANDLE device = CreateFileA(KERNEL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    if (device == INVALID_HANDLE_VALUE)
        Differs(check, KERNEL_DEVICE_PATH, "the service runs, but its device cannot be opened");
    else
        CloseHandle(device);
}

// What the next run or the next restart would change.
static void CheckPending(Verification *check)
{
    char path[PATH_CHARS];
    int left = JournalLeft();
    check->pending = left == JOURNAL_LEFT_UNDONE;
    if (check->pending && JournalPath(path, sizeof path))
        Differs(check, path, "a setup that did not end left it; the next run of Setup.exe undoes that setup");
    else if (left == JOURNAL_LEFT_DONE)
        LogLine("verify: note: a setup that succeeded kept its undo journal for its installation's commit");
    int pending = PendingProductFile(path, sizeof path);
    if (pending < 0)
        Failed(check, "the renames due at the next restart cannot be read", GetLastError());
    else if (pending)
        Differs(check, path, "due to be renamed or deleted at the next restart");
    check->pending |= pending > 0;
}

void VerifyInstallation(HWND owner, int row)
{
    Verification check;
    ZeroMemory(&check, sizeof check);
    if (!GetTargetFolders()) {
        Failed(&check, "the target folders are unknown", GetLastError());
    } else {
        LogLine("verify: system %s, printer drivers %s", g_setup.systemFolder, g_setup.driverFolder);
        CheckQueue(&check);
        CheckDriver(&check, row);
        const PlatformEntry *platform = &g_platforms[row];
        CompareList(&check, g_setup.systemFolder, platform->systemFiles);
        CompareList(&check, g_setup.driverFolder, platform->driverFiles);
        CompareList(&check, g_setup.systemFolder, GetCommonFiles(row));
        if (!IsNineXFamily(row))
            CheckKernelService(&check);
        CheckPending(&check);
    }
    if (check.failed) {
        LogLine("verify: the check could not be made");
        ReportFormatted(owner, IDS_VERIFY_TITLE, IDS_VERIFY_FAILED, (unsigned long)check.error);
    } else if (!check.queueFound && !check.driverFound && !check.pending) {
        LogLine("verify: not installed");
        ReportFormatted(owner, IDS_VERIFY_TITLE, IDS_VERIFY_NOT_INSTALLED);
    } else if (check.differences) {
        LogLine("verify: %d difference(s)", check.differences);
        ReportFormatted(owner, IDS_VERIFY_TITLE, IDS_VERIFY_DIFFERS, check.listed);
    } else {
        LogLine("verify: as these media install it");
        ReportFormatted(owner, IDS_VERIFY_TITLE, IDS_VERIFY_SAME);
    }
}
