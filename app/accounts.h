// The accounts a run as the system account may trust, and the security of
// the objects it reads (NT family; bound at run time: Windows 9x has none).
#ifndef TARV_ACCOUNTS_H
#define TARV_ACCOUNTS_H

#include <windows.h>

enum { DESCRIPTOR_WORDS = 256 };

// The self-relative security descriptor of an open object, what parts of it
// (OWNER_SECURITY_INFORMATION, say); 0 with the last error when it cannot be read.
int ReadObjectSecurity(HANDLE object, SECURITY_INFORMATION what, DWORD *descriptor, DWORD size);

// 1 when the SID at sid (room bytes readable) is the system account, the
// Administrators or this run's own account.
int TrustedAccount(const BYTE *sid, DWORD room);

#endif
