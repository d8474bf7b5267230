// The hwbridge kernel driver: copied from the media, registered as a
// demand-start kernel service, started and checked through its device.
#include <windows.h>

#include <string.h>

#include "app/log.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "app/unattended.h"
#include "install/install.h"
#include "install/journal.h"

const char KERNEL_SERVICE_NAME[] = "hwbridge";
static const char kDisplayName[] = "Access memory";
const char KERNEL_DRIVER_SOURCE[] = "commun\\hwbridge.sys";
static const char kDestinationFormat[] = "%s\\system32\\drivers\\hwbridge.sys";
const char KERNEL_DEVICE_PATH[] = "\\\\.\\hwbridge";
static const char kCaption[] = "Install Driver";

enum { WINDOWS_FOLDER_CHARS = 256, REPORT_CHARS = 64 };

static void Report(const char *format, DWORD error)
{
    char text[REPORT_CHARS];
    FormatText(text, sizeof text, format, (long)error);
    ShowBox(0, 0, text, kCaption, MB_OK);
}

enum { STOP_POLL_MS = 100 };

int StopKernelService(SC_HANDLE service, DWORD *state)
{
    SERVICE_STATUS status;
    BOOL asked = ControlService(service, SERVICE_CONTROL_STOP, &status);
    DWORD error = GetLastError();
    *state = SERVICE_RUNNING;
    if (!asked && error == ERROR_SERVICE_NOT_ACTIVE)
        return SERVICE_WAS_NOT_RUNNING;
    // A refusal may come from a driver that is still starting: it is waited for too.
    for (DWORD waited = 0;; waited += STOP_POLL_MS) {
        if (QueryServiceStatus(service, &status))
            *state = status.dwCurrentState;
        if (*state == SERVICE_STOPPED)
            return SERVICE_STOPPED_NOW;
        if (waited >= SERVICE_STOP_WAIT_MS)
            break;
        Sleep(STOP_POLL_MS);
    }
    SetLastError(asked ? ERROR_SERVICE_REQUEST_TIMEOUT : error);
    return SERVICE_STILL_RUNNING;
}

SC_HANDLE CreateKernelService(SC_HANDLE manager, const char *path, DWORD startType)
{
    return CreateServiceA(manager, KERNEL_SERVICE_NAME, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                          startType, SERVICE_ERROR_NORMAL, path, 0, 0, 0, 0, 0);
}

// The earlier service goes into the undo journal before it is stopped: it
// comes back as the setup makes it, with its start type, running when it
// was; 1 when there is no journal. The checks before changes let only a
// service of ours come here.
static int KeepServiceForUndo(SC_HANDLE service)
{
    if (!g_setup.journal.file)
        return 1;
    struct {
        JournalService facts;
        char path[PATH_CHARS];
    } record;
    SERVICE_STATUS status;
    char binary[PATH_CHARS];
    DWORD start = SERVICE_DEMAND_START;
    int saved = QueryServiceStatus(service, &status) && BuildKernelDriverPath(record.path, sizeof record.path)
                && ServiceRunsFile(service, record.path, binary, sizeof binary, &start) == 1;
    record.facts.serviceType = KERNEL_SERVICE_TYPE;
    record.facts.startType = start;
    record.facts.running = saved && status.dwCurrentState != SERVICE_STOPPED;
    saved = saved && JournalAdd(JOURNAL_SERVICE_DELETED, &record,
                                (DWORD)(sizeof record.facts + strlen(record.path) + 1));
    if (!saved)
        LogLine("service %s: the earlier service cannot be kept for the undo, error %lu", KERNEL_SERVICE_NAME,
                (unsigned long)GetLastError());
    return saved;
}

// Stops and deletes an earlier registration so that it can be created anew.
// 0 when a quiet setup must stop: a service that did not stop is not deleted
// (it would stay marked for deletion, and could not be put back).
static int RemoveOldService(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (!service)
        return 1;
    if (!KeepServiceForUndo(service)) {
        CloseServiceHandle(service);
        return 0;
    }
    char stopped[32], deleted[32];
    DWORD state;
    int stop = StopKernelService(service, &state);
    const char *stopResult = stop == SERVICE_WAS_NOT_RUNNING ? "it was not running"
                             : StepResult(stop == SERVICE_STOPPED_NOW, GetLastError(), stopped, sizeof stopped);
    int stopFailed = stop == SERVICE_STILL_RUNNING;
    BOOL remove = FALSE;
    const char *deleteResult = "not tried";
    if (!stopFailed || !g_setup.journal.file) {
        remove = DeleteService(service);
        deleteResult = StepResult(remove, GetLastError(), deleted, sizeof deleted);
    }
    LogLine("service %s: earlier service stopped: %s; deleted: %s", KERNEL_SERVICE_NAME, stopResult, deleteResult);
    CloseServiceHandle(service);
    // A service that was not running needed no stop; any other failure leaves
    // the earlier driver in the way of the new one.
    if (stopFailed || !remove) {
        SetQuietExit(QUIET_EXIT_FAILED);
        return !g_setup.journal.file;
    }
    return 1;
}

static void StartNewService(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (!service)
        return;
    char result[32];
    BOOL started = StartServiceA(service, 0, 0);
    DWORD error = GetLastError();
    LogLine("service %s started: %s", KERNEL_SERVICE_NAME, StepResult(started, error, result, sizeof result));
    if (!started)
        Report("Error StartSC %ld\r\n", error);
    CloseServiceHandle(service);
}

int ServiceRunsFile(SC_HANDLE service, const char *ours, char *binary, size_t size, DWORD *startType)
{
    DWORD needed = 0;
    QueryServiceConfigA(service, 0, 0, &needed);
    QUERY_SERVICE_CONFIGA *config = needed ? (QUERY_SERVICE_CONFIGA *)GlobalAlloc(GPTR, needed) : 0;
    char windows[PATH_CHARS], path[PATH_CHARS];
    int same = -1;
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (config && QueryServiceConfigA(service, config, needed, &needed) && length && length < sizeof windows) {
        const char *given = config->lpBinaryPathName ? config->lpBinaryPathName : "";
        if (StartsWithIgnoringAsciiCase(given, "\\??\\"))
            given += 4;
        if (StartsWithIgnoringAsciiCase(given, "\\SystemRoot\\"))
            given += 12;
        else if (given[0] && given[1] == ':')
            windows[0] = '\0';
        same = FormatText(path, sizeof path, "%s%s%s", windows, windows[0] ? "\\" : "", given)
               && SameTextIgnoringAsciiCase(path, ours);
        CopyText(binary, size, given);
        if (startType)
            *startType = config->dwStartType;
    }
    if (config)
        GlobalFree(config);
    return same;
}

int BuildKernelDriverPath(char *destination, size_t size)
{
    char windowsFolder[WINDOWS_FOLDER_CHARS];
    UINT length = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    if (length == 0)
        return 0;
    if (length >= sizeof windowsFolder
        || !FormatText(destination, size, kDestinationFormat, windowsFolder)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return 1;
}

void InstallKernelService()
{
    char result[32];
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    DWORD error = GetLastError();
    LogLine("service manager opened: %s", StepResult(manager != 0, error, result, sizeof result));
    if (!manager)
        Report("Error OpenSC %ld\r\n", error);
    if (manager && !RemoveOldService(manager)) {
        CloseServiceHandle(manager);
        return;  // a quiet setup stops, to be undone
    }

    // Without a manager the creation is still attempted, so that its failure
    // is reported like any other.
    char destination[PATH_CHARS];
    SC_HANDLE service = 0;
    if (!BuildKernelDriverPath(destination, sizeof destination)) {
        LogLine("kernel driver: no destination path, error %lu", (unsigned long)GetLastError());
        SetQuietExit(QUIET_EXIT_FAILED);  // the creation below fails and is reported as well
    } else {
        if (!JournalSaveFile(destination) || !JournalAdd(JOURNAL_SERVICE_CREATED, "", 0)) {
            SetQuietExit(QUIET_EXIT_FAILED);
            if (manager)
                CloseServiceHandle(manager);
            return;
        }
        // A failed copy is not reported: it shows in the steps below. A quiet
        // run counts it, since the service may run an earlier driver.
        BOOL copied = CopyFileA(KERNEL_DRIVER_SOURCE, destination, FALSE);
        error = GetLastError();
        char buffer[PATH_CHARS];
        const char *source = LogPath(KERNEL_DRIVER_SOURCE, buffer, sizeof buffer);
        if (copied) {
            LogLine("copy %s -> %s", source, destination);
        } else {
            LogLine("copy failed %s -> %s: error %lu", source, destination, (unsigned long)error);
            SetQuietExit(QUIET_EXIT_FAILED);
        }
        service = CreateKernelService(manager, destination, SERVICE_DEMAND_START);
    }
    error = GetLastError();
    LogLine("service %s created: %s", KERNEL_SERVICE_NAME, StepResult(service != 0, error, result, sizeof result));
    if (service)
        CloseServiceHandle(service);
    else
        Report("Error CreateSC %ld\r\n", error);

    if (manager)
        StartNewService(manager);

    HANDLE device = CreateFileA(KERNEL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    error = GetLastError();
    LogLine("device %s opened: %s", KERNEL_DEVICE_PATH, StepResult(device != INVALID_HANDLE_VALUE, error, result, sizeof result));
    if (device == INVALID_HANDLE_VALUE)
        Report("Error CreateFile %ld\r\n", error);
    else
        CloseHandle(device);

    if (manager)
        CloseServiceHandle(manager);
}
