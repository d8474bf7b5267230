#include "machine/pending.h"

#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "catalog/product_names.h"
#include "run/state.h"

static const char kPendingKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// 1 when path, as a pending rename names it ("\\??\\C:\\...", "!\\??\\C:\\..."),
// is a file this setup writes: a file of the product in the printer-driver
// folder (or one of its version folders) or in the system folder.
static int IsTarget(const char *path)
{
    if (path[0] == '!')
        path++;
    if (StartsWithIgnoringAsciiCase(path, "\\??\\"))
        path += 4;
    return IsProductFileName(PathFileName(path, IsLeadByte))
           && (StartsWithFolder(path, g_setup.driverFolder) || StartsWithFolder(path, g_setup.systemFolder));
}

int PendingProductFile(char *found, size_t size)
{
    found[0] = '\0';
    if (!RunsOnNtFamily())
        return 0;  // Windows 9x keeps them in WININIT.INI, and no run of ours writes them there
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPendingKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    DWORD bytes = 0, type = 0;
    int pending = 0;
    LONG status = RegQueryValueExA(key, "PendingFileRenameOperations", 0, &type, 0, &bytes);
    // Zeros after the value: its last text ends inside the block whatever it holds.
    char *names = status == ERROR_SUCCESS && bytes ? (char *)GlobalAlloc(GPTR, bytes + 2) : 0;
    if (status == ERROR_SUCCESS && bytes && !names)
        status = ERROR_NOT_ENOUGH_MEMORY;
    // A list that cannot be read (it grew between the two reads, say) may hold anything.
    if (names)
        status = RegQueryValueExA(key, "PendingFileRenameOperations", 0, &type, (BYTE *)names, &bytes);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        SetLastError((DWORD)status);
        pending = -1;
    }
    // Pairs of a source and a destination, the destination empty for a
    // deletion: every text counts, the empty ones do not end the list.
    for (const char *name = names; names && !pending && name < names + bytes; name += strlen(name) + 1)
        if (*name && IsTarget(name)) {
            CopyText(found, size, name);
            pending = 1;
        }
    if (names)
        GlobalFree(names);
    RegCloseKey(key);
    return pending;
}
