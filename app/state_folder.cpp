#include <windows.h>

#include <string.h>

#include "app/state_folder.h"
#include "app/text.h"

int GetStateFolder(char *path, size_t size, int create)
{
    UINT length = GetSystemDirectoryA(path, (UINT)size);
    if (length == 0)
        return 0;
    const char *separator = path[length - 1] == '\\' ? "" : "\\";
    if (length >= size || !FormatText(path + length, size - length, "%sLogFiles", separator)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (create && !CreateDirectoryA(path, 0) && GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    length += (UINT)strlen(path + length);
    if (!FormatText(path + length, size - length, "\\TarvSetup")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return !create || CreateDirectoryA(path, 0) || GetLastError() == ERROR_ALREADY_EXISTS;
}
