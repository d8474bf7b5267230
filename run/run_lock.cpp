#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/state_folder.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "run/log.h"
#include "run/run_lock.h"
#include "run/state.h"

static const char kLockFileName[] = "TarvSetup.lck";

// The NT family: a file in the program's own folder, which only
// administrators and the system account can write, opened without sharing.
// No other account can make it first or hold it, unlike a named object, and
// the system lets go of it however the run ends.
static int TakeLockFile()
{
    char path[PATH_CHARS];
    int named = GetStateFolder(path, sizeof path, 1);
    size_t length = named ? strlen(path) : 0;
    if (!named || !FormatText(path + length, sizeof path - length, "\\%s", kLockFileName)) {
        // 1307 or 1336: a folder that is not ours alone, never used.
        LogLine("run lock: its folder %s cannot be had, error %lu; nothing was changed", path,
                (unsigned long)GetLastError());
        return RUN_LOCK_FAILED;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            LogLine("run lock %s: held by another run of Setup.exe", path);
            return RUN_LOCK_BUSY;
        }
        LogLine("run lock %s: not taken, error %lu; nothing was changed", path, (unsigned long)error);
        return RUN_LOCK_FAILED;
    }
    g_setup.runLock = file;
    return RUN_LOCK_TAKEN;
}

// Windows 9x has no accounts to keep out (nor sessions): a mutex.
static int TakeLockMutex()
{
    const char *name = SETUP_LOCK_NAME;
    HANDLE lock = CreateMutexA(0, FALSE, name);
    if (!lock) {
        // Win32s (a major version below 4) has no named mutexes, and nothing
        // else runs beside this program there. Elsewhere the name is taken
        // by another kind of object: no reason to go on without a lock.
        int win32s = (GetVersion() & 0xFF) < 4;
        LogLine(win32s ? "run lock %s: not available, error %lu; the run goes on without it"
                       : "run lock %s: not taken, error %lu; nothing was changed",
                name, (unsigned long)GetLastError());
        return win32s ? RUN_LOCK_TAKEN : RUN_LOCK_FAILED;
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
        return RUN_LOCK_BUSY;
    }
    g_setup.runMutex = lock;
    return RUN_LOCK_TAKEN;
}

int TakeRunLock()
{
    return RunsOnNtFamily() ? TakeLockFile() : TakeLockMutex();
}

void ReleaseRunLock()
{
    if (g_setup.runLock)
        CloseHandle(g_setup.runLock);
    g_setup.runLock = 0;
    if (!g_setup.runMutex)
        return;
    ReleaseMutex(g_setup.runMutex);
    CloseHandle(g_setup.runMutex);
    g_setup.runMutex = 0;
}
