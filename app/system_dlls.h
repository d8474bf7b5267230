#ifndef TARV_SYSTEM_DLLS_H
#define TARV_SYSTEM_DLLS_H

#include <windows.h>

// Loads a DLL from the system folder by its full path; 0 when it cannot.
HMODULE LoadSystemLibrary(const char *name);

// Makes every later DLL load come from the system folder (first thing at start).
void RestrictDllSearch();

#endif
