#include "run/log_file.h"

#include <string.h>

#include "base/accounts.h"
#include "base/system_dlls.h"
#include "base/unique_name.h"
#include "run/state.h"

// A local user can plant a file only on a local disk: on a share, a log
// that another computer's account made is the rule.
static int OnLocalDisk(const char *path)
{
    char root[4] = { path[0], ':', '\\', '\0' };
    if (path[0] == '\\' && path[1] == '\\')
        return path[2] == '?' || path[2] == '.';  // "\\?\" and "\\.\" name local things too
    return path[1] != ':' || GetDriveTypeA(root) != DRIVE_REMOTE;
}

static int PlainFileOfOurs(HANDLE file, int local)
{
    BY_HANDLE_FILE_INFORMATION facts;
    return GetFileType(file) == FILE_TYPE_DISK
           && (!local || (GetFileInformationByHandle(file, &facts) && facts.nNumberOfLinks <= 1 && OwnedByUs(file)));
}

// FILE_APPEND_DATA puts every line at the end of the file, also while other
// runs (on other machines, say) append to the same file. Windows 9x and
// Win32s know only GENERIC_WRITE; there each line is put at the end by hand.
HANDLE OpenLogFile(const char *path, int *seekToEnd, char *movedTo, int *inTheWay)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH;
    movedTo[0] = '\0';
    *inTheWay = 0;
    *seekToEnd = !RunsOnNtFamily();
    if (*seekToEnd)
        return CreateFileA(path, GENERIC_WRITE, share, 0, OPEN_ALWAYS, flags, 0);
    int local = OnLocalDisk(path);
    const DWORD access = FILE_APPEND_DATA | SYNCHRONIZE | (local ? READ_CONTROL : 0);
    // Another run may make the file between the two opens: then it is
    // judged like any existing one.
    for (int attempt = 0; attempt < 3; attempt++) {
        // The existing file is judged by its handle, so that it cannot be
        // swapped between the check and the writing.
        HANDLE file = CreateFileA(path, access, share, 0, OPEN_EXISTING, flags, 0);
        DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE && PlainFileOfOurs(file, local))
            return file;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        DWORD attributes = GetFileAttributesA(path);
        if (file == INVALID_HANDLE_VALUE
            && (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)
                || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))) {
            // Nothing there to be had, or no file: only a new one may be made.
            if (error != ERROR_FILE_NOT_FOUND) {
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
        } else {
            // Not ours, or a file of ours not to append to: aside, and a new one.
            if (!UniqueNameBeside(path, movedTo) || !MoveFileA(path, movedTo)) {
                movedTo[0] = '\0';
                *inTheWay = 1;
                SetLastError(file != INVALID_HANDLE_VALUE ? ERROR_ACCESS_DENIED : error);
                return INVALID_HANDLE_VALUE;
            }
        }
        // A new file, never one that appeared meanwhile.
        file = CreateFileA(path, access, share, 0, CREATE_NEW, flags, 0);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}
