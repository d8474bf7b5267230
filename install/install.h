// Printer installation: port choice, spooler registration, kernel service and
// the completion dialog used by InstallPrinter (app/actions.h).
#ifndef TARV_INSTALL_H
#define TARV_INSTALL_H

#include <windows.h>

#include <winspool.h>

// 1: a port was chosen (g_setup.portName set); 0: cancelled; -1: the dialog
// could not be shown.
int RunPortDialog(HWND owner);

// The port of the new queue: the one "/PORT=" names when the spooler lists it,
// otherwise the user's choice in the port dialog. A quiet run cannot ask, so
// without such a port it ends with a wrong command line. Results as for
// RunPortDialog.
int ChoosePort(HWND owner);

// The local spooler's ports at level 2 in a global block the caller frees;
// 0 when there are none (*error 0) or they cannot be listed (*error says why).
PORT_INFO_2A *EnumLocalPorts(DWORD *count, DWORD *error);

// Shows "Setup is complete !" until Quit; returns 1.
int RunCompletionDialog(HWND owner);

// Register the model's driver and queue; each reports its own failure.
int AddDriver(HWND owner, int row);
int AddQueue(HWND owner, int row);

// The drivers the local spooler lists at level 3 in a global block the caller
// frees; 0 when there are none (*error 0) or they cannot be listed.
DRIVER_INFO_3A *EnumLocalDrivers(DWORD *count, DWORD *error);

// The model's driver among count listed ones, or null.
const DRIVER_INFO_3A *FindModelDriver(const DRIVER_INFO_3A *drivers, DWORD count);

// The path of a media file below the working folder at start
// ("drivers\<sourceFolder><name>"); 0 when it does not fit.
int MediaFilePath(char *path, size_t size, const char *sourceFolder, const char *name);

// 1 when the spooler lists the model's driver, or cannot say.
int ModelDriverListed();

// Silently deletes any earlier queue and driver of the model.
void PurgePrinter();

// Copies, registers and starts the hwbridge kernel driver; reports each
// failure itself.
void InstallKernelService();

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

// A quiet setup's checks before its first change: the media's files can be
// read, the files it replaces written and deleted, the target folders
// written, no restart is due to rename or delete a file it writes, and (NT
// family) the service manager opens. 0 (logged, exit code 1603) when one
// fails: the machine is as it was.
int CheckBeforeChanges(int row, int complete);

// The first file of the product that a rename or deletion due at the next
// restart names (source or destination), in found: 1; 0 when there is none;
// -1 when the list cannot be read (the last error says why).
int PendingProductFile(char *found, size_t size);

// Where the kernel driver's file goes; 0 with the last error set when the
// Windows folder is unknown or the path does not fit (a shortened path would
// name another file).
int BuildKernelDriverPath(char *path, size_t size);

#endif
