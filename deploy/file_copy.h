// Copying one file of a file-list entry, for a backup or an install, apart
// from the dialog that shows it (a quiet run shows none).
#ifndef TARV_FILE_COPY_H
#define TARV_FILE_COPY_H

#include <windows.h>

#include "base/paths.h"
#include "catalog/catalog.h"
#include "run/state.h"

enum CopyMode { COPY_BACKUP = 0, COPY_INSTALL = 1 };

struct CopyJob {
    int mode;                  // CopyMode
    const FileEntry *entry;
    const char *targetFolder;  // as the system returned it
};

struct CopyPaths {
    char source[PATH_CHARS];       // relative to the working folder for an install
    char destination[PATH_CHARS];
};

// Source and destination of a job; 0 when a path does not fit. The earlier
// backup of a backup job is made writable.
int BuildCopyPaths(const CopyJob *job, CopyPaths *paths);

// Called after each block with the bytes copied so far.
typedef void (*CopyProgress)(void *context, ULONGLONG copied);

// Copies the file byte for byte in blocks of 1 KiB. A failure is reported
// (messages 120 to 126, the entry's name as caption, owned by owner) and a
// destination created before it is deleted. Logs the step. 1 when the whole
// file was copied, 0 otherwise.
int CopyFileBlocks(HWND owner, const CopyJob *job, const CopyPaths *paths, CopyProgress progress, void *context);

// The copy of a quiet run: no dialog and no wait. Results as RunCopyDialog.
INT_PTR CopyWithoutDialog(const CopyJob *job);

// 1 when the file exists (also when another process holds it open); makes an
// existing file writable.
int TargetExists(const char *path);

#endif
