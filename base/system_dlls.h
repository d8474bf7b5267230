// DLLs that are not known DLLs (winspool.drv, comctl32.dll, SetupApi.DLL):
// the default search order would find a copy planted on the media or in the
// working folder first, so they are loaded from the system folder by full path
// and their functions are bound through tables of typed pointers.
#ifndef TARV_SYSTEM_DLLS_H
#define TARV_SYSTEM_DLLS_H

#include <windows.h>
#include <winspool.h>
#include <commctrl.h>

// Each pointer has the type of the SDK's own declaration, so that every call
// uses the function's calling convention. Bound all at once or not at all,
// but for the optional ones at the end.
struct SpoolerCalls {
    decltype(&::AddPrinterA) AddPrinterA;
    decltype(&::AddPrinterDriverA) AddPrinterDriverA;
    decltype(&::ClosePrinter) ClosePrinter;
    decltype(&::DeleteFormA) DeleteFormA;
    decltype(&::DeletePrinter) DeletePrinter;
    decltype(&::DeletePrinterDriverA) DeletePrinterDriverA;
    decltype(&::EnumPortsA) EnumPortsA;
    decltype(&::EnumPrinterDriversA) EnumPrinterDriversA;
    decltype(&::GetPrinterA) GetPrinterA;
    decltype(&::GetPrinterDriverA) GetPrinterDriverA;
    decltype(&::GetPrinterDriverDirectoryA) GetPrinterDriverDirectoryA;
    decltype(&::OpenPrinterA) OpenPrinterA;
    decltype(&::DeletePrinterDriverExA) DeletePrinterDriverExA;  // optional: NT 4.0 and older lack it
};

// What a failed binding could not find: the DLL, or a function in it.
struct BindFailure {
    const char *dll;
    const char *function;  // null when the DLL itself did not load
    DWORD error;           // the last-error value of the failed call
};

// 1 on the NT family: GetVersion's high bit is set on Windows 9x and Win32s only.
int RunsOnNtFamily();

// Loads a DLL from the system folder by its full path; 0 when it cannot.
HMODULE LoadSystemLibrary(const char *name);

// Makes every later DLL load come from the system folder (first thing at start).
void RestrictDllSearch();

// Binds the spooler table; on failure the table stays empty and *failure says why.
int BindSpooler(SpoolerCalls *calls, BindFailure *failure);

// Binds InitCommonControls and calls it.
int InitControls(BindFailure *failure);

#endif
