#include <windows.h>

#include <type_traits>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "base/text.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

typedef BOOL (WINAPI *SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL (WINAPI *SetDllDirectoryProc)(LPCSTR);

static const char kSpoolerDll[] = "winspool.drv";
static const char kControlsDll[] = "comctl32.dll";

int RunsOnNtFamily()
{
    return (GetVersion() & 0x80000000) == 0;
}

HMODULE LoadSystemLibrary(const char *name)
{
    char path[PATH_CHARS];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0)
        return 0;
    if (length >= sizeof path
        || !FormatText(path + length, sizeof path - length, "%s%s", PathSeparatorAfter(path, IsLeadByte), name)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    // The altered search path resolves the DLL's own imports from its folder too.
    return LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearch()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Windows 8, or Vista and 7 with the update that added it.
    SetDefaultDllDirectoriesProc setDefault =
        (SetDefaultDllDirectoriesProc)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows XP SP1 and later: takes the working folder out of the search order.
    SetDllDirectoryProc setDirectory = (SetDllDirectoryProc)(void *)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDirectory)
        setDirectory("");
}

// The tables rely on decltype keeping the declaration's calling convention
// (stdcall on i686): a pointer that lost it would unbalance the stack at every call.
static_assert(std::is_same<decltype(&::ClosePrinter), BOOL (WINAPI *)(HANDLE)>::value,
              "decltype must keep the calling convention");

template <typename Proc>
static void Bind(HMODULE module, const char *name, Proc *slot, BindFailure *failure)
{
    *slot = (Proc)(void *)GetProcAddress(module, name);
    if (!*slot && !failure->function) {
        failure->function = name;
        failure->error = GetLastError();
    }
}

#define BIND(calls, module, name, failure) Bind(module, #name, &(calls)->name, failure)

// The DLL from the system folder, its failure recorded as the binding's.
static HMODULE LoadForBinding(const char *dll, BindFailure *failure)
{
    failure->dll = dll;
    failure->function = 0;
    HMODULE module = LoadSystemLibrary(dll);
    failure->error = GetLastError();
    return module;
}

int BindSpooler(SpoolerCalls *calls, BindFailure *failure)
{
    ZeroMemory(calls, sizeof *calls);
    HMODULE module = LoadForBinding(kSpoolerDll, failure);
    if (!module)
        return 0;
    SpoolerCalls bound;
    BIND(&bound, module, AddPrinterA, failure);
    BIND(&bound, module, AddPrinterDriverA, failure);
    BIND(&bound, module, ClosePrinter, failure);
    BIND(&bound, module, DeleteFormA, failure);
    BIND(&bound, module, DeletePrinter, failure);
    BIND(&bound, module, DeletePrinterDriverA, failure);
    BIND(&bound, module, EnumPortsA, failure);
    BIND(&bound, module, EnumPrinterDriversA, failure);
    BIND(&bound, module, GetPrinterA, failure);
    BIND(&bound, module, GetPrinterDriverA, failure);
    BIND(&bound, module, GetPrinterDriverDirectoryA, failure);
    BIND(&bound, module, OpenPrinterA, failure);
    if (failure->function)
        return 0;
    bound.DeletePrinterDriverExA =
        (decltype(&::DeletePrinterDriverExA))(void *)GetProcAddress(module, "DeletePrinterDriverExA");
    *calls = bound;
    return 1;
}

int InitControls(BindFailure *failure)
{
    HMODULE module = LoadForBinding(kControlsDll, failure);
    if (!module)
        return 0;
    decltype(&::InitCommonControls) initCommonControls = 0;
    Bind(module, "InitCommonControls", &initCommonControls, failure);
    if (!initCommonControls)
        return 0;
    initCommonControls();
    return 1;
}
