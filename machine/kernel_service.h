// The kernel driver's service: its names, where its file goes, and the
// service manager's steps the setup, its undo, its checks and the purge share.
#ifndef TARV_MACHINE_KERNEL_SERVICE_H
#define TARV_MACHINE_KERNEL_SERVICE_H

#include <windows.h>

extern const char KERNEL_SERVICE_NAME[];
extern const char KERNEL_DRIVER_SOURCE[];  // below the source root
extern const char KERNEL_DEVICE_PATH[];    // the device the setup opens to check the driver

// Stops the service and waits until it has, a few seconds at most: one of
// the results below; SERVICE_STILL_RUNNING sets the last error (the
// refusal's, or ERROR_SERVICE_REQUEST_TIMEOUT) and *state where it stands.
enum { SERVICE_STILL_RUNNING, SERVICE_STOPPED_NOW, SERVICE_WAS_NOT_RUNNING, SERVICE_STOP_WAIT_MS = 3000 };
int StopKernelService(SC_HANDLE service, DWORD *state);

// Registers the kernel driver at path as the setup does, a kernel service
// (the setup's is demand-start); 0 with the last error when it cannot.
SC_HANDLE CreateKernelService(SC_HANDLE manager, const char *path, DWORD startType);

// 1 when the service runs the file ours, 0 when it runs another (its path,
// as the service manager gives it, in binary of size bytes), -1 when its
// configuration cannot be read (the last error says why). startType (may be
// null) receives its start type. The service
// manager may keep the path as given, in NT form (\??\C:\...), below
// \SystemRoot, or relative to the Windows folder.
int ServiceRunsFile(SC_HANDLE service, const char *ours, char *binary, size_t size, DWORD *startType);

// Where the kernel driver's file goes; 0 with the last error set when the
// Windows folder is unknown or the path does not fit (a shortened path would
// name another file).
int BuildKernelDriverPath(char *path, size_t size);

#endif
