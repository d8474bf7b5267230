#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "base/unique_name.h"

enum { NAME_TRIES = 64 };

int UniqueNameBeside(const char *path, char *copy)
{
    char folder[PATH_CHARS];
    const char *name = PathFileName(path, IsLeadByte);
    if (name == path || (size_t)(name - path) >= sizeof folder)
        return 0;
    // The folder without its closing backslash, but for a drive's root.
    int root = name - path == 3 && path[1] == ':';
    size_t length = (size_t)(name - path) - !root;
    memcpy(folder, path, length);
    folder[length] = '\0';
    UINT unique = (GetTickCount() ^ GetCurrentProcessId()) & 0xFFFF;
    for (int i = 0; i < NAME_TRIES; i++, unique = (unique + 1) & 0xFFFF)
        if (unique && GetTempFileNameA(folder, "trv", unique, copy)
            && GetFileAttributesA(copy) == INVALID_FILE_ATTRIBUTES)
            return 1;
    return 0;
}
