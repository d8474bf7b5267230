// Copy dialog: copies one file with a progress bar, for a backup or an install.
#ifndef TARV_COPY_DIALOG_H
#define TARV_COPY_DIALOG_H

#include <windows.h>

#include "deploy/file_copy.h"

// 1 when the whole file was copied, 0 when the copy failed (already reported),
// -1 when the dialog cannot be created.
INT_PTR RunCopyDialog(HWND owner, const CopyJob *job);

#endif
