#include "base/whole_file.h"

BYTE *ReadWholeFile(const char *path, DWORD maxBytes, DWORD *size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BYTE *content = 0;
    *size = GetFileSize(file, 0);
    if (*size == INVALID_FILE_SIZE || *size > maxBytes)
        SetLastError(ERROR_FILE_TOO_LARGE);
    else
        content = (BYTE *)GlobalAlloc(GPTR, *size + 1);
    DWORD read = 0;
    if (content && (!ReadFile(file, content, *size, &read, 0) || read != *size)) {
        GlobalFree(content);
        content = 0;
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return content;
}
