// The accounts a run as the system account may trust, and the security of
// the objects it reads (NT family; bound at run time: Windows 9x has none).
#ifndef TARV_ACCOUNTS_H
#define TARV_ACCOUNTS_H

#include <windows.h>

enum { DESCRIPTOR_WORDS = 1024 };

// The self-relative security descriptor of an open object, what parts of it
// (OWNER_SECURITY_INFORMATION, say); 0 with the last error when it cannot be read.
int ReadObjectSecurity(HANDLE object, SECURITY_INFORMATION what, DWORD *descriptor, DWORD size);

// 1 when the SID at sid (room bytes readable) is the system account, the
// Administrators or this run's own account.
int TrustedAccount(const BYTE *sid, DWORD room);

// 1 when the owner of the open object is an account we trust, or its file
// system keeps no owners.
int OwnedByUs(HANDLE object);

// Who may change what a folder holds (NT family): FOLDER_OURS when only
// trusted accounts own it and may put, replace or delete files in it, or
// change its rights; otherwise why not. FOLDER_NO_RIGHTS (a volume that
// keeps none, FAT) and FOLDER_UNKNOWN set the last error. Without
// RIGHTS_FOLLOW_LINK, a link in the folder's place is not the folder:
// FOLDER_OTHERS_WRITE. With RIGHTS_OF_A_FILE, the same of a file: who may
// write it, delete it or change its rights.
enum { FOLDER_OURS, FOLDER_MISSING, FOLDER_FOREIGN_OWNER, FOLDER_OTHERS_WRITE, FOLDER_NO_RIGHTS, FOLDER_UNKNOWN };
enum { RIGHTS_FOLLOW_LINK = 1, RIGHTS_OF_A_FILE = 2 };
int ReadFolderRights(const char *path, int flags);

#endif
