#include "app/log_file.h"

#include <string.h>

#include "app/state.h"
#include "app/system_dlls.h"
#include "app/unique_name.h"

typedef BOOL (WINAPI *GetSecurityProc)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
typedef BOOL (WINAPI *OpenTokenProc)(HANDLE, DWORD, PHANDLE);
typedef BOOL (WINAPI *TokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);

// S-1-5-18 (the system account) and S-1-5-32-544 (Administrators), as the
// bytes of a SID: revision, count, authority 5, sub-authorities.
static const BYTE kSystemSid[] = { 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0 };
static const BYTE kAdministratorsSid[] = { 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0 };

static DWORD SidBytes(const BYTE *sid)
{
    return 8 + 4 * (DWORD)sid[1];
}

// known's bytes, its count of sub-authorities included, at owner (room bytes).
static int SameSid(const BYTE *known, const BYTE *owner, DWORD room)
{
    return SidBytes(known) <= room && memcmp(known, owner, SidBytes(known)) == 0;
}

// The owner of the open file is the system account, the Administrators or
// this run's own account. Bound at run time: Windows 9x has none of it.
static int OwnedByUs(HANDLE file)
{
    // ADVAPI32 is imported, so its handle is there.
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    GetSecurityProc getSecurity = (GetSecurityProc)(void *)GetProcAddress(advapi, "GetKernelObjectSecurity");
    OpenTokenProc openToken = (OpenTokenProc)(void *)GetProcAddress(advapi, "OpenProcessToken");
    TokenInformationProc tokenInformation = (TokenInformationProc)(void *)GetProcAddress(advapi, "GetTokenInformation");
    if (!getSecurity || !openToken || !tokenInformation)
        return 0;
    // A self-relative descriptor: the owner's offset follows revision and control.
    DWORD descriptor[256], needed = 0;
    if (!getSecurity(file, OWNER_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed))
        return GetLastError() == ERROR_NOT_SUPPORTED;  // a file system without owners (FAT)
    const BYTE *base = (const BYTE *)descriptor;
    DWORD offset = descriptor[1];
    if (offset == 0 || offset + 8 > sizeof descriptor)
        return 0;
    const BYTE *owner = base + offset;
    DWORD room = (DWORD)sizeof descriptor - offset;
    if (SameSid(kSystemSid, owner, room) || SameSid(kAdministratorsSid, owner, room))
        return 1;
    HANDLE token;
    DWORD user[128];
    int ours = 0;
    // GetCurrentProcess's documented pseudo-handle, without one more import.
    if (openToken((HANDLE)(LONG_PTR)-1, TOKEN_QUERY, &token)) {
        if (tokenInformation(token, TokenUser, user, sizeof user, &needed)) {
            const BYTE *sid = (const BYTE *)((const TOKEN_USER *)(void *)user)->User.Sid;
            ours = SameSid(sid, owner, room);
        }
        CloseHandle(token);
    }
    return ours;
}

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
