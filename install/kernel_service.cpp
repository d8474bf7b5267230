// The hwbridge kernel driver: copied from the media, registered as a
// demand-start kernel service, started and checked through its device.
#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "install/install.h"
#include "machine/kernel_service.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

static const char kCaption[] = "Install Driver";

enum { REPORT_CHARS = 64 };

static void Report(const char *format, DWORD error)
{
    char text[REPORT_CHARS];
    FormatText(text, sizeof text, format, (long)error);
    ShowBox(0, 0, text, kCaption, MB_OK);
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
