#include "base/accounts.h"

#include <string.h>

#include "base/descriptor.h"

typedef BOOL (WINAPI *GetSecurityProc)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
typedef BOOL (WINAPI *OpenTokenProc)(HANDLE, DWORD, PHANDLE);
typedef BOOL (WINAPI *TokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);

// As the bytes of a SID: revision, count, authority, sub-authorities.
static const BYTE kSystemSid[] = { 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0 };
static const BYTE kAdministratorsSid[] = { 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0 };
static const BYTE kEveryoneSid[] = { 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0 };

// Rights that let an account put, replace or delete a file in a folder, or
// give itself those rights.
static const DWORD kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC
                                  | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// known's bytes, its count of sub-authorities included, at sid (room bytes).
static int SameSid(const BYTE *known, const BYTE *sid, DWORD room)
{
    size_t bytes = SidBytes(known, SID_MAX_BYTES);
    return bytes && bytes <= room && memcmp(known, sid, bytes) == 0;
}

static FARPROC Advapi(const char *name)
{
    // ADVAPI32 is imported, so its handle is there.
    return GetProcAddress(GetModuleHandleA("ADVAPI32.DLL"), name);
}

int ReadObjectSecurity(HANDLE object, SECURITY_INFORMATION what, DWORD *descriptor, DWORD size)
{
    GetSecurityProc getSecurity = (GetSecurityProc)(void *)Advapi("GetKernelObjectSecurity");
    DWORD needed = 0;
    return getSecurity && getSecurity(object, what, descriptor, size, &needed);
}

int TrustedAccount(const BYTE *sid, DWORD room)
{
    if (SameSid(kSystemSid, sid, room) || SameSid(kAdministratorsSid, sid, room))
        return 1;
    OpenTokenProc openToken = (OpenTokenProc)(void *)Advapi("OpenProcessToken");
    TokenInformationProc tokenInformation = (TokenInformationProc)(void *)Advapi("GetTokenInformation");
    HANDLE token;
    DWORD user[128], needed;
    int ours = 0;
    // GetCurrentProcess's documented pseudo-handle, without one more import.
    if (openToken && tokenInformation && openToken((HANDLE)(LONG_PTR)-1, TOKEN_QUERY, &token)) {
        if (tokenInformation(token, TokenUser, user, sizeof user, &needed))
            ours = SameSid((const BYTE *)((const TOKEN_USER *)(void *)user)->User.Sid, sid, room);
        CloseHandle(token);
    }
    return ours;
}

// The owner and the DACL of the open object, within descriptor.
static int ReadParts(HANDLE object, SECURITY_INFORMATION what, DWORD *descriptor, DescriptorParts *parts)
{
    return ReadObjectSecurity(object, what, descriptor, DESCRIPTOR_WORDS * sizeof(DWORD))
           && ReadDescriptor((const BYTE *)descriptor, DESCRIPTOR_WORDS * sizeof(DWORD), parts);
}

int OwnedByUs(HANDLE object)
{
    DWORD descriptor[DESCRIPTOR_WORDS];
    DescriptorParts parts;
    if (!ReadParts(object, OWNER_SECURITY_INFORMATION, descriptor, &parts))
        return GetLastError() == ERROR_NOT_SUPPORTED;  // a file system without owners (FAT)
    return parts.owner && TrustedAccount(parts.owner, (DWORD)parts.ownerBytes);
}

int ReadFolderRights(const char *path, int flags)
{
    HANDLE handle = CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | (flags & RIGHTS_FOLLOW_LINK ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), 0);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FOLDER_MISSING : FOLDER_UNKNOWN;
    }
    DWORD descriptor[DESCRIPTOR_WORDS];
    DescriptorParts parts;
    BY_HANDLE_FILE_INFORMATION facts;
    int rights = FOLDER_OURS;
    if (!GetFileInformationByHandle(handle, &facts) || (facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        || !(facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != !!(flags & RIGHTS_OF_A_FILE)) {
        rights = FOLDER_OTHERS_WRITE;  // a link, or not of its kind: not the one we know
    } else if (!ReadParts(handle, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor, &parts)) {
        rights = FOLDER_UNKNOWN;
    } else if (!parts.dacl && parts.owner && SameSid(kEveryoneSid, parts.owner, (DWORD)parts.ownerBytes)) {
        // What the system says of a file system that keeps no rights (FAT);
        // no account can make a folder its own so elsewhere.
        rights = FOLDER_NO_RIGHTS;
        SetLastError(ERROR_NOT_SUPPORTED);
    } else if (!parts.owner || !TrustedAccount(parts.owner, (DWORD)parts.ownerBytes)) {
        rights = FOLDER_FOREIGN_OWNER;  // an owner may give itself any right
    } else if (!parts.dacl) {
        rights = FOLDER_OTHERS_WRITE;  // no DACL: everyone may do everything
    } else {
        // Denials are not weighed: a grant alone is reason enough, also one
        // that only the files made in the folder inherit (the journal, the
        // log). An entry of a kind not read here is taken for a grant, and so
        // is an ACL that ends before its last entry.
        AceView ace;
        size_t at = 0;
        unsigned index = 0;
        while (rights == FOLDER_OURS && NextAce(parts.dacl, &at, &index, &ace))
            if (ace.type != ACE_DENIED
                && (ace.type != ACE_ALLOWED
                    || ((!(ace.flags & INHERIT_ONLY_ACE) || (ace.flags & OBJECT_INHERIT_ACE)) && (ace.mask & kWriteRights)
                        && !TrustedAccount(ace.sid, (DWORD)ace.sidBytes))))
                rights = FOLDER_OTHERS_WRITE;
        if (rights == FOLDER_OURS && index < AceCount(parts.dacl))
            rights = FOLDER_OTHERS_WRITE;
    }
    DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return rights;
}
