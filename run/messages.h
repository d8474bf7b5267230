// Message catalogue access and the message-box conventions.
#ifndef TARV_MESSAGES_H
#define TARV_MESSAGES_H

#include <windows.h>

#include "base/system_dlls.h"

enum { CAPTION_CHARS = 64, MESSAGE_CHARS = 256 };

// Every message box goes through here: it shows text with the buttons of
// type (MB_OK or MB_YESNO) and returns the answer; in a quiet run it shows
// nothing, answers Yes to the confirmation only (No to every other question,
// OK to every report) and takes the exit code the message gives such a run.
// Both log the message and its answer. id is the catalogue number, 0 for a
// fixed text.
int ShowBox(HWND owner, UINT id, const char *text, const char *caption, UINT type);

// A quiet run's exit code becomes code unless it already holds a failure;
// nothing in an interactive run. A failure stops a quiet setup.
void SetQuietExit(int code);

// Whether a setup goes on is decided here alone: it stops once a quiet run
// has failed or a person declined to go on (StopSetup), and its sequence
// and file lists ask SetupStopped before each step.
void StopSetup();
int SetupStopped();

// Loads message id into buffer (size in bytes); an empty text if it is missing.
void LoadMessage(UINT id, char *buffer, int size);

// OK box without icon. A null caption means message 100; a caption longer
// than the caption buffer is shortened, keeping its end.
void ShowMessage(HWND owner, const char *caption, const char *text);
void ShowMessageId(HWND owner, const char *caption, UINT id);

// Formats message textId with the arguments and shows it with caption message
// captionId (100 or 160).
void ReportFormatted(HWND owner, UINT captionId, UINT textId, ...);

// Asks message textId with Yes and No; returns 1 for Yes.
int AskMessage(HWND owner, const char *caption, UINT textId);

void CenterWindow(HWND window);

// Tells the user which DLL or function is missing, with caption message captionId.
void ReportBindFailure(HWND owner, UINT captionId, const BindFailure *failure);

#endif
