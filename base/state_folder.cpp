#include <windows.h>

#include <string.h>

#include "base/accounts.h"
#include "base/paths.h"
#include "base/state_folder.h"
#include "base/system_dlls.h"
#include "base/text.h"

// Rights for the system account and the Administrators only, full control
// for both, inherited by what is made in a folder and not from above: a
// self-relative descriptor, so that no function builds it (Windows NT 3.51
// has none that sets the protection).
static const BYTE kOwnRights[OWN_RIGHTS_BYTES] = {
    1, 0, 0x04, 0x90,             // revision; control: DACL present, protected, self-relative
    0, 0, 0, 0, 0, 0, 0, 0,       // no owner, no group: the creator's
    0, 0, 0, 0, 20, 0, 0, 0,      // no SACL; the DACL follows
    2, 0, 52, 0, 2, 0, 0, 0,      // ACL: revision 2, 52 bytes, 2 entries
    0, 3, 20, 0, 0xFF, 0x01, 0x1F, 0x00,  // allowed, to files and folders below, FILE_ALL_ACCESS:
    1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,  // SYSTEM
    0, 3, 24, 0, 0xFF, 0x01, 0x1F, 0x00,
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,  // Administrators
};

SECURITY_ATTRIBUTES *OwnRights(SECURITY_ATTRIBUTES *security, BYTE *descriptor)
{
    if (!RunsOnNtFamily())
        return 0;
    memcpy(descriptor, kOwnRights, OWN_RIGHTS_BYTES);
    // Windows NT 4.0 and older know no protection: there an explicit DACL
    // is all the object gets anyway.
    if ((GetVersion() & 0xFF) < 5)
        descriptor[3] &= ~0x10;
    // Filled field by field: an initialiser with an address would cost the
    // image a data section of its own.
    security->nLength = sizeof *security;
    security->lpSecurityDescriptor = descriptor;
    security->bInheritHandle = FALSE;
    return security;
}

int GetStateFolder(char *path, size_t size, int create)
{
    UINT length = GetSystemDirectoryA(path, (UINT)size);
    if (length == 0)
        return 0;
    if (length >= size || !FormatText(path + length, size - length, "%s" STATE_FOLDER_PARENT, PathSeparatorAfter(path, IsLeadByte))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (create && !CreateDirectoryA(path, 0) && GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    length += (UINT)strlen(path + length);
    if (!FormatText(path + length, size - length, "\\" STATE_FOLDER_NAME)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    SECURITY_ATTRIBUTES security;
    BYTE descriptor[OWN_RIGHTS_BYTES];
    if (create && CreateDirectoryA(path, OwnRights(&security, descriptor)))
        return 1;
    if (create && GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    // One that was there may have been made by anyone who could write in
    // LogFiles: it is used only when it is as ours, never through a link.
    int rights = RunsOnNtFamily() ? ReadFolderRights(path, 0) : FOLDER_OURS;
    // A volume without rights (FAT) has no better folder to offer.
    if (rights == FOLDER_MISSING || rights == FOLDER_OURS || rights == FOLDER_NO_RIGHTS)
        return 1;
    SetLastError(rights == FOLDER_FOREIGN_OWNER ? ERROR_INVALID_OWNER : ERROR_INVALID_ACL);
    return 0;
}
