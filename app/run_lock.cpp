#include <windows.h>

#include "app/log.h"
#include "app/run_lock.h"
#include "app/state.h"
#include "app/system_dlls.h"
#include "app/text.h"
#include "catalog/catalog.h"

// The "Global\" namespace makes runs in other terminal-server sessions count
// too. The NT family before Windows 2000 knows it only with Terminal Server
// and refuses the backslash otherwise; Windows 9x and Win32s get the plain
// name. Access denied means the mutex exists under another account: a run is
// in progress there.
HANDLE OpenMachineMutex(const char *baseName, char *name, size_t size)
{
    HANDLE lock = 0;
    if (RunsOnNtFamily()) {
        FormatText(name, size, "Global\\%s", baseName);
        lock = CreateMutexA(0, FALSE, name);
        if (lock || GetLastError() == ERROR_ACCESS_DENIED)
            return lock;
    }
    CopyText(name, size, baseName);
    return CreateMutexA(0, FALSE, name);
}

int TakeRunLock()
{
    char name[LOCK_NAME_CHARS];
    HANDLE lock = OpenMachineMutex(SETUP_LOCK_NAME, name, sizeof name);
    if (!lock) {
        DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            LogLine("run lock %s: held by a run under another account", name);
            return 0;
        }
        // No named mutexes (Win32s): nothing else can run beside this program.
        LogLine("run lock %s: not available, error %lu; the run goes on without it", name, (unsigned long)error);
        return 1;
    }
    switch (WaitForSingleObject(lock, 0)) {
    case WAIT_OBJECT_0:
        break;
    case WAIT_ABANDONED:
        LogLine("run lock %s: taken over from a run that ended without releasing it", name);
        break;
    default:
        CloseHandle(lock);
        LogLine("run lock %s: held by another run of Setup.exe", name);
        return 0;
    }
    g_setup.runMutex = lock;
    return 1;
}

void ReleaseRunLock()
{
    if (!g_setup.runMutex)
        return;
    ReleaseMutex(g_setup.runMutex);
    CloseHandle(g_setup.runMutex);
    g_setup.runMutex = 0;
}
