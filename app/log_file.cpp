#include "app/log_file.h"

#include <string.h>

#include "app/accounts.h"
#include "app/state.h"
#include "app/system_dlls.h"
#include "app/unique_name.h"

static int PlainFileOfOurs(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION facts;
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &facts)
           && facts.nNumberOfLinks <= 1 && OwnedByUs(file);
}

// FILE_APPEND_DATA puts every line at the end of the file, also while other
// runs (on other machines, say) append to the same file. Windows 9x and
// Win32s know only GENERIC_WRITE; there each line is put at the end by hand.
HANDLE OpenLogFile(const char *path, int *seekToEnd, char *movedTo)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH;
    movedTo[0] = '\0';
    *seekToEnd = !RunsOnNtFamily();
    if (*seekToEnd)
        return CreateFileA(path, GENERIC_WRITE, share, 0, OPEN_ALWAYS, flags, 0);
    const DWORD access = FILE_APPEND_DATA | SYNCHRONIZE | READ_CONTROL;
    // Another run may make the file between the two opens: then it is
    // judged like any existing one.
    for (int attempt = 0; attempt < 3; attempt++) {
        // The existing file is judged by its handle, so that it cannot be
        // swapped between the check and the writing.
        HANDLE file = CreateFileA(path, access, share, 0, OPEN_EXISTING, flags, 0);
        if (file != INVALID_HANDLE_VALUE) {
            if (PlainFileOfOurs(file))
                return file;
            CloseHandle(file);
            if (!UniqueNameBeside(path, movedTo) || !MoveFileA(path, movedTo)) {
                movedTo[0] = '\0';
                SetLastError(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
        } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return INVALID_HANDLE_VALUE;
        }
        // A new file, never one that appeared meanwhile.
        file = CreateFileA(path, access, share, 0, CREATE_NEW, flags, 0);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}
