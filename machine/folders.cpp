#include <windows.h>
#include <winspool.h>

#include "machine/folders.h"
#include "run/state.h"

// A folder buffer that was not filled is no folder: it goes, and the lookup fails.
static int Drop(char **folder)
{
    DWORD error = GetLastError();
    if (*folder)
        GlobalFree(*folder);
    *folder = 0;
    SetLastError(error);
    return 0;
}

int GetTargetFolders()
{
    if (g_setup.systemFolder && g_setup.driverFolder)
        return 1;  // already resolved in this run (the recovery of an undo journal)
    UINT systemLength = GetSystemDirectoryA(0, 0);
    if (systemLength == 0)
        return 0;
    if (!g_setup.systemFolder)
        g_setup.systemFolder = (char *)GlobalAlloc(GPTR, systemLength);
    if (!g_setup.systemFolder)
        return 0;
    UINT filled = GetSystemDirectoryA(g_setup.systemFolder, systemLength);
    if (filled == 0 || filled >= systemLength)
        return Drop(&g_setup.systemFolder);

    DWORD needed = 0;
    if (g_setup.spooler.GetPrinterDriverDirectoryA(0, 0, 1, 0, 0, &needed)
        || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    g_setup.driverFolder = (char *)GlobalAlloc(GPTR, needed);
    if (!g_setup.driverFolder)
        return 0;
    if (!g_setup.spooler.GetPrinterDriverDirectoryA(0, 0, 1, (LPBYTE)g_setup.driverFolder, needed, &needed)
        || !g_setup.driverFolder[0])
        return Drop(&g_setup.driverFolder);
    return 1;
}
