// The run state: one instance for the whole run.
#ifndef TARV_STATE_H
#define TARV_STATE_H

#include <windows.h>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "run/request.h"

enum { PORT_NAME_CHARS = 80, LOG_LINE_CHARS = 2048 };

typedef BOOL (WINAPI *CopyOemInfProc)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR *);

// Buffers of one log line, in the run state rather than on the stack of every
// step that logs, and never allocated: a run that cannot allocate memory
// still logs why it ends.
struct LogBuffers {
    char text[LOG_LINE_CHARS];  // the formatted text, before escaping
    char line[LOG_LINE_CHARS];  // time stamp, escaped text and line end
    WCHAR wide[LOG_LINE_CHARS];
    char utf8[3 * LOG_LINE_CHARS];
};

// The log of a run that asked for one (run/log.cpp).
struct RunLog {
    HANDLE file;               // 0: this run keeps no log
    int seekToEnd;             // opened for writing anywhere (Windows 9x): each line goes to the end first
    char path[PATH_CHARS];
    char movedAside[PATH_CHARS];  // where a file not ours to append to went, or ""
    char refused[PATH_CHARS];     // the log asked for, when it was in the way and this one is the default
    DWORD refusedError;
    LogBuffers buffers;
};

// The undo journal of a quiet setup (undo/journal.cpp).
struct UndoJournal {
    HANDLE file;               // 0: this run keeps none
    int broken;                // a write failed: nothing more is written
    char path[PATH_CHARS];
};

struct SetupState {
    HINSTANCE instance;
    HWND mainWindow;
    SetupRequest request;
    char *systemFolder;        // global block from GetTargetFolders, freed by the cleanup
    char *driverFolder;        // likewise
    const char *targetFolder;  // one of the two above
    char portName[PORT_NAME_CHARS];
    HMODULE setupLibrary;
    CopyOemInfProc copyOemInf;
    SpoolerCalls spooler;      // bound when an action is about to run
    int controlsMissing;       // comctl32 could not be bound at start: controlsFailure says why
    BindFailure controlsFailure;
    HANDLE runMutex;           // held for the whole run: one run at a time (Windows 9x)
    HANDLE runLock;            // the same on the NT family: a file opened without sharing
    int quiet;                 // "/QUIET": nothing on the screen, each question answered
    int exitCode;              // a quiet run's QuietExit
    int setupStopped;          // a setup goes no further: a quiet run failed, or a person declined to go on
    RunLog log;
    UndoJournal journal;
};

extern SetupState g_setup;

#endif
