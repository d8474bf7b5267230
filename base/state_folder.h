// The folder of the program's own files on the machine: "LogFiles\TarvSetup"
// below the system folder, which only administrators and the system account
// can write on the NT family. The undo journal of a quiet setup lives there.
#ifndef TARV_STATE_FOLDER_H
#define TARV_STATE_FOLDER_H

#include <windows.h>

// Its names, and the undo journal's, shared with the package's custom
// actions, which find the journal and keep a copy of Setup.exe beside it.
#define STATE_FOLDER_PARENT "LogFiles"
#define STATE_FOLDER_NAME "TarvSetup"
#define JOURNAL_FILE_NAME "TarvSetup.jnl"

// Its path, created when missing and create is set; 0 with the last error set
// when it cannot be had (or the path does not fit).
int GetStateFolder(char *path, size_t size, int create);

// Security attributes that give the system account and the Administrators
// alone every right, in descriptor (OWN_RIGHTS_BYTES); null on Windows 9x.
enum { OWN_RIGHTS_BYTES = 72 };
SECURITY_ATTRIBUTES *OwnRights(SECURITY_ATTRIBUTES *security, BYTE *descriptor);

#endif
