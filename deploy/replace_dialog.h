// Replace confirmation: shows size and time of the existing and the new file
// and asks whether the existing one is replaced.
#ifndef TARV_REPLACE_DIALOG_H
#define TARV_REPLACE_DIALOG_H

#include <windows.h>

#include "catalog/catalog.h"

// 1: replace, 0: keep, -1: no entry, the facts of a file cannot be read, or the
// dialog cannot be created. The existing file lies in the run state's target
// folder, the new one below the working folder.
INT_PTR RunReplaceDialog(HWND owner, const FileEntry *entry);

// Reads the facts the question shows of a file; 0 when they cannot be read.
int ReadFileFacts(const char *path, BY_HANDLE_FILE_INFORMATION *info);

// Writes the file's size and last-write time into two items; 0 when the file's
// facts cannot be read.
int ShowFileFacts(HWND dialog, const char *path, int sizeItem, int timeItem);

// Turns every default push button of the dialog into an ordinary one.
void ClearDefaultButtons(HWND dialog);

// Makes control id the dialog's only default push button.
void SetDefaultButton(HWND dialog, int id);

#endif
