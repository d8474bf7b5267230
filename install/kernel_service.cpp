// The hwbridge kernel driver: copied from the media, registered as a
// demand-start kernel service, started and checked through its device.
#include <windows.h>

#include "app/state.h"
#include "app/text.h"
#include "install/install.h"

static const char kServiceName[] = "hwbridge";
static const char kDisplayName[] = "Access memory";
static const char kSourceFile[] = "commun\\hwbridge.sys";  // below the source root
static const char kDestinationFormat[] = "%s\\system32\\drivers\\hwbridge.sys";
static const char kDevicePath[] = "\\\\.\\hwbridge";
static const char kCaption[] = "Install Driver";

enum { WINDOWS_FOLDER_CHARS = 256, REPORT_CHARS = 64 };

static void Report(const char *format, DWORD error)
{
    char text[REPORT_CHARS];
    FormatText(text, sizeof text, format, (long)error);
    MessageBoxA(0, text, kCaption, MB_OK);
}

// Stops and deletes an earlier registration so that it can be created anew.
static void RemoveOldService(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (!service)
        return;
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    DeleteService(service);
    CloseServiceHandle(service);
}

static void StartNewService(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (!service)
        return;
    if (!StartServiceA(service, 0, 0))
        Report("Error StartSC %ld\r\n", GetLastError());
    CloseServiceHandle(service);
}

// Destination of the driver file; 0 with the last error set when the Windows
// folder is unknown or the path does not fit (a shortened path would name
// another file).
static int BuildDestination(char *destination, size_t size)
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
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        Report("Error OpenSC %ld\r\n", GetLastError());
    if (manager)
        RemoveOldService(manager);

    // Without a manager the creation is still attempted, so that its failure
    // is reported like any other.
    char destination[PATH_CHARS];
    SC_HANDLE service = 0;
    if (BuildDestination(destination, sizeof destination)) {
        CopyFileA(kSourceFile, destination, FALSE);  // a failure shows in the steps below
        service = CreateServiceA(manager, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                 SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                 destination, 0, 0, 0, 0, 0);
    }
    if (service)
        CloseServiceHandle(service);
    else
        Report("Error CreateSC %ld\r\n", GetLastError());

    if (manager)
        StartNewService(manager);

    HANDLE device = CreateFileA(kDevicePath, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    if (device == INVALID_HANDLE_VALUE)
        Report("Error CreateFile %ld\r\n", GetLastError());
    else
        CloseHandle(device);

    if (manager)
        CloseServiceHandle(manager);
}
