// The run log: written only when the command line asks for it ("/LOG=") or
// the run is quiet. UTF-8, one line per step, each line handed to the system
// as soon as it is written, so that a run that is killed leaves its log up to
// that point.
#ifndef TARV_LOG_H
#define TARV_LOG_H

#include <windows.h>

#include "base/system_dlls.h"
#include "run/request.h"

// Opens the log the request names, or a quiet run's default one
// ("TarvSetup.log" in the program's state folder, or in the temporary
// folder on Windows 9x), for appending. 1 when the run
// goes on: with a log, or with none asked for, or (interactive) after telling
// the user that it cannot be opened. 0 for a quiet run whose log cannot be
// opened: it must change nothing.
int OpenRunLog(HWND owner);
void CloseRunLog();

// One line: the local time to the millisecond, then the formatted text. The
// last-error value is kept, so that a step can be logged before it is reported.
void LogLine(const char *format, ...);

// The full path of a file for the log (a source on the media is named
// relative to the working folder); the path as given when that fails.
const char *LogPath(const char *path, char *buffer, size_t size);

// A message shown, or answered by a quiet run instead: its number (0 for a
// fixed text), caption, text and answer.
void LogMessageBox(UINT id, const char *caption, const char *text, int answer);

// The first line: program, version, command line, mode, action and platform.
// reading is null when the platform was not detected; commandLineRead is 0
// when the command line could not be parsed.
void LogRunStart(const PlatformReading *reading, int commandLineRead);

// The last line: the process exit code.
void LogRunEnd(int exitCode);

// "failed: error N" or "ok" for the result of a step.
const char *StepResult(BOOL ok, DWORD error, char *buffer, size_t size);

// Logs which DLL or function is missing, with the error.
void LogBindFailure(const BindFailure *failure);

#endif
