// The kernel driver's service as the setup, its undo, its checks and the
// purge all see it: its names, where its file goes, and the service
// manager's steps they share.
#include "machine/kernel_service.h"

#include "base/paths.h"
#include "base/text.h"

const char KERNEL_SERVICE_NAME[] = "hwbridge";
static const char kDisplayName[] = "Access memory";
const char KERNEL_DRIVER_SOURCE[] = "commun\\hwbridge.sys";
static const char kDestinationFormat[] = "%s\\system32\\drivers\\hwbridge.sys";
const char KERNEL_DEVICE_PATH[] = "\\\\.\\hwbridge";

enum { WINDOWS_FOLDER_CHARS = 256, STOP_POLL_MS = 100 };

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
