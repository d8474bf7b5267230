#include "check/media_rights.h"

#include <windows.h>

#include "base/accounts.h"
#include "base/paths.h"
#include "base/text.h"
#include "catalog/names.h"
#include "run/log.h"
#include "run/state.h"

typedef DWORD (WINAPI *ModuleFileNameProc)(HMODULE, LPSTR, DWORD);

static void WarnOf(const char *folder)
{
    int rights = ReadFolderRights(folder, RIGHTS_FOLLOW_LINK);
    if (rights == FOLDER_FOREIGN_OWNER || rights == FOLDER_OTHERS_WRITE)
        LogLine("warning: non-administrators can write in %s", folder);
    else if (rights != FOLDER_OURS)
        LogLine("warning: the rights of %s are unknown, error %lu", folder, (unsigned long)GetLastError());
}

void WarnOfWritableMedia()
{
    char folder[PATH_CHARS];
    // Bound at run time: one import less, on every platform.
    ModuleFileNameProc moduleFileName = (ModuleFileNameProc)(void *)GetProcAddress(
        GetModuleHandleA("KERNEL32.DLL"), "GetModuleFileNameA");
    DWORD length = moduleFileName ? moduleFileName(0, folder, sizeof folder) : 0;
    if (length > 0 && length < sizeof folder) {
        char *name = (char *)PathFileName(folder, IsLeadByte);
        // "C:\Setup.exe" lies in "C:\", not in "C:".
        if (name > folder)
            name[name - folder > 2 && name[-2] == ':' ? 0 : -1] = '\0';
        WarnOf(folder);
    }
    length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length > 0 && length < sizeof folder && AppendSourceRoot(folder, sizeof folder))
        WarnOf(folder);
}
