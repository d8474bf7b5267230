#include "app/accounts.h"

#include <string.h>

typedef BOOL (WINAPI *GetSecurityProc)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
typedef BOOL (WINAPI *OpenTokenProc)(HANDLE, DWORD, PHANDLE);
typedef BOOL (WINAPI *TokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);

// As the bytes of a SID: revision, count, authority, sub-authorities.
static const BYTE kSystemSid[] = { 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0 };
static const BYTE kAdministratorsSid[] = { 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0 };
static DWORD SidBytes(const BYTE *sid)
{
    return 8 + 4 * (DWORD)sid[1];
}

// known's bytes, its count of sub-authorities included, at sid (room bytes).
static int SameSid(const BYTE *known, const BYTE *sid, DWORD room)
{
    return SidBytes(known) <= room && memcmp(known, sid, SidBytes(known)) == 0;
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
