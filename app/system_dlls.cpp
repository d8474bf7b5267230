// Keeps the program's DLLs out of reach of files planted on the media or in
// the working folder: the default search order starts with the program's own
// folder, then the working folder.
#include <windows.h>

#include "app/state.h"
#include "app/system_dlls.h"
#include "app/text.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

typedef BOOL (WINAPI *SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL (WINAPI *SetDllDirectoryProc)(LPCSTR);

static const char *const kPreloaded[] = { "winspool.drv", "comctl32.dll" };

HMODULE LoadSystemLibrary(const char *name)
{
    char path[PATH_CHARS];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    if (!FormatText(path + length, sizeof path - length, "%s%s", path[length - 1] == '\\' ? "" : "\\", name))
        return 0;
    // The altered search path resolves the DLL's own imports from its folder too.
    return LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearch()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Windows 8, or Vista and 7 with the update that added it.
    SetDefaultDllDirectoriesProc setDefault =
        (SetDefaultDllDirectoriesProc)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows XP SP1 and later: takes the working folder out of the search order.
    SetDllDirectoryProc setDirectory = (SetDllDirectoryProc)(void *)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDirectory)
        setDirectory("");
    // Everywhere, including the oldest systems: the delay-loaded DLLs are bound
    // by name at first use, and a DLL already loaded under that name is reused.
    for (size_t i = 0; i < sizeof kPreloaded / sizeof kPreloaded[0]; i++)
        LoadSystemLibrary(kPreloaded[i]);
}
