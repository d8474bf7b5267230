#include <windows.h>

#include <string.h>

#include "app/state.h"
#include "app/text.h"
#include "app/unique_name.h"

enum { NAME_TRIES = 64 };

int UniqueNameBeside(const char *path, char *copy)
{
    char folder[PATH_CHARS];
    CopyText(folder, sizeof folder, path);
    char *slash = strrchr(folder, '\\');
    if (!slash)
        return 0;
    *slash = '\0';
    UINT unique = (GetTickCount() ^ GetCurrentProcessId()) & 0xFFFF;
    for (int i = 0; i < NAME_TRIES; i++, unique = (unique + 1) & 0xFFFF)
        if (unique && GetTempFileNameA(folder, "trv", unique, copy)
            && GetFileAttributesA(copy) == INVALID_FILE_ATTRIBUTES)
            return 1;
    return 0;
}
