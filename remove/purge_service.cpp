// The purge of the hwbridge kernel service and its driver file.
#include <windows.h>

#include "base/paths.h"
#include "base/text.h"
#include "machine/kernel_service.h"
#include "remove/purge_run.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"

static void ReportServiceNotRemoved(PurgeRun *run, DWORD error)
{
    ReportFormatted(run->owner, IDS_DELETION_FAILURE, IDS_SERVICE_NOT_REMOVED, KERNEL_SERVICE_NAME,
                    (unsigned long)error);
}

// Asks the service to stop and waits, a few seconds at most, until it has.
static int StopService(SC_HANDLE service)
{
    DWORD state;
    switch (StopKernelService(service, &state)) {
    case SERVICE_WAS_NOT_RUNNING:
        LogLine("service %s: it was not running", KERNEL_SERVICE_NAME);
        return 1;
    case SERVICE_STOPPED_NOW:
        LogLine("service %s stopped", KERNEL_SERVICE_NAME);
        return 1;
    }
    LogLine("service %s: not stopped after %lu ms (state %lu)", KERNEL_SERVICE_NAME, (unsigned long)SERVICE_STOP_WAIT_MS,
            (unsigned long)state);
    return 0;
}

// 1 when the service runs our kernel driver's file: another product's
// service of the same name is left alone.
static int OurService(SC_HANDLE service, const char *ours)
{
    char binary[PATH_CHARS];
    int same = ServiceRunsFile(service, ours, binary, sizeof binary, 0);
    if (same == 0) {
        LogLine("service %s left: it runs %s, not %s", KERNEL_SERVICE_NAME, binary, ours);
    } else if (same < 0) {
        // It may be ours: the purge has not done its job.
        LogLine("service %s left: its configuration cannot be read, error %lu", KERNEL_SERVICE_NAME,
                (unsigned long)GetLastError());
        SetQuietExit(QUIET_EXIT_FAILED);
    }
    return same > 0;
}

// A driver that will not stop keeps running until the next restart: its
// service is marked for deletion and its file goes at that restart.
void PurgeKernelService(PurgeRun *run)
{
    int stopped = 1;
    char path[PATH_CHARS];
    if (!BuildKernelDriverPath(path, sizeof path)) {
        LogLine("kernel driver: no path, error %lu", (unsigned long)GetLastError());
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        DWORD error = GetLastError();
        LogLine("service manager not opened, error %lu", (unsigned long)error);
        ReportServiceNotRemoved(run, error);
    } else {
        SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_ALL_ACCESS);
        DWORD error = GetLastError();
        if (!service && error == ERROR_SERVICE_DOES_NOT_EXIST) {
            LogLine("service %s: none to remove", KERNEL_SERVICE_NAME);
        } else if (!service) {
            LogLine("service %s not opened, error %lu", KERNEL_SERVICE_NAME, (unsigned long)error);
            ReportServiceNotRemoved(run, error);
        } else if (!OurService(service, path)) {
            CloseServiceHandle(service);
        } else {
            stopped = StopService(service);
            BOOL deleted = DeleteService(service);
            error = GetLastError();
            if (deleted || error == ERROR_SERVICE_MARKED_FOR_DELETE) {
                LogLine(stopped ? "service %s deleted" : "service %s marked for deletion: it goes at the next restart",
                        KERNEL_SERVICE_NAME);
            } else {
                LogLine("service %s not deleted, error %lu", KERNEL_SERVICE_NAME, (unsigned long)error);
                ReportServiceNotRemoved(run, error);
            }
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    if (!stopped)
        run->restartNeeded = 1;
    PurgeFile(run, path);
}
