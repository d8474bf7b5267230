// The run state: one instance for the whole run.
#ifndef TARV_STATE_H
#define TARV_STATE_H

#include <windows.h>

#include "app/request.h"
#include "app/system_dlls.h"

enum { PATH_CHARS = 512, PORT_NAME_CHARS = 80 };

typedef BOOL (WINAPI *CopyOemInfProc)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR *);

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
};

extern SetupState g_setup;

#endif
