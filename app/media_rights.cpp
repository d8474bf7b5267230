#include "app/media_rights.h"

#include <windows.h>

#include "app/accounts.h"
#include "app/log.h"
#include "app/state.h"
#include "app/text.h"
#include "deploy/names.h"
#include "remove/purge_names.h"

typedef DWORD (WINAPI *ModuleFileNameProc)(HMODULE, LPSTR, DWORD);

// Rights that let an account put, replace or delete a file in a folder, or
// give itself those rights.
static const DWORD kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC
                                  | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// 1 when an account we do not trust may write in folder, 0 when none may,
// -1 when its rights cannot be read (the last error says why). Denials are
// not weighed: a grant alone is reason enough to warn.
static int OthersMayWrite(const char *folder)
{
    HANDLE handle = CreateFileA(folder, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    DWORD descriptor[DESCRIPTOR_WORDS];
    int read = ReadObjectSecurity(handle, DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor);
    DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    if (!read)
        return -1;
    // Self-relative: control in the first word's high half, the DACL's offset in the fifth word.
    const BYTE *base = (const BYTE *)descriptor;
    DWORD offset = descriptor[4];
    if (!((descriptor[0] >> 16) & SE_DACL_PRESENT) || offset == 0)
        return 1;  // no DACL: everyone may do everything
    // The system wrote the descriptor: only its bounds are checked, against the buffer.
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    if (offset > sizeof descriptor - sizeof(ACL))
        return -1;
    const ACL *acl = (const ACL *)(base + offset);
    DWORD end = offset + acl->AclSize;
    if (end > sizeof descriptor)
        return -1;
    DWORD at = offset + sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; i++) {
        const ACCESS_ALLOWED_ACE *ace = (const ACCESS_ALLOWED_ACE *)(base + at);
        DWORD size = ace->Header.AceSize;
        if (at + sizeof(ACCESS_ALLOWED_ACE) > end || size < sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) || at + size > end)
            return -1;
        // An ACE only for what will be made below the folder says nothing of it.
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && !(ace->Header.AceFlags & INHERIT_ONLY_ACE)
            && (ace->Mask & kWriteRights)
            && !TrustedAccount((const BYTE *)&ace->SidStart, size - sizeof(ACE_HEADER) - sizeof(ACCESS_MASK)))
            return 1;
        at += size;
    }
    return 0;
}

static void WarnOf(const char *folder)
{
    int others = OthersMayWrite(folder);
    if (others > 0)
        LogLine("warning: non-administrators can write in %s", folder);
    else if (others < 0)
        LogLine("warning: the rights of %s are unknown, error %lu", folder, (unsigned long)GetLastError());
}

void WarnOfWritableMedia()
{
    char folder[PATH_CHARS];
    // Bound at run time: one import less, on every platform.
    ModuleFileNameProc moduleFileName = (ModuleFileNameProc)(void *)GetProcAddress(
        GetModuleHandleA("KERNEL32.DLL"), "GetModuleFileNameA");
    DWORD length = moduleFileName ? moduleFileName(0, folder, sizeof folder) : 0;
    if (length > 0 && length < sizeof folder) {
        char *name = (char *)PathFileName(folder, IsLeadByte);
        // "C:\Setup.exe" lies in "C:\", not in "C:".
        if (name > folder)
            name[name - folder > 2 && name[-2] == ':' ? 0 : -1] = '\0';
        WarnOf(folder);
    }
    length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length > 0 && length < sizeof folder && AppendSourceRoot(folder, sizeof folder))
        WarnOf(folder);
}
