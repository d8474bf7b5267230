// Test-only DLL that the robot loads into Setup.exe (through a message hook)
// to make chosen system calls fail where Wine never fails them, and to read
// the main window's system menu from inside the process.
//
// TARV_FAULTS="Function=error[@n][:text],..." makes each Function fail with
// that last-error value, on every call or only on the n-th one; with ":text",
// only calls whose first (path or name) argument contains text count (for
// GetProcAddress, the function name). For CreateFileA, ":>text" counts only
// the calls that create the file (CREATE_ALWAYS, CREATE_NEW): a copy's
// destination, not the checks that open it first. For WriteFile the text is
// looked for in the bytes written, and ":#n" counts only writes of n bytes (an
// undo journal's mark is 12); for RegQueryValueExA it is the value's name.
// Imported functions are patched in
// Setup.exe's import table; functions it binds at run time (the spooler's)
// are replaced in what its GetProcAddress returns, so the DLL has to be in
// place before the program binds them.
// TARV_PAUSE_AT=Function[@n][:text] makes the first (or n-th) call of
// Function (whose first argument contains text) wait, without failing, until the file
// TARV_PAUSE_UNTIL exists (at most a minute), after creating the file
// TARV_PAUSE_READY: a test can act while the program stands at that point
// (end the whole Wine session, say).
// TARV_TORN_WRITES=1 makes a WriteFile that fails write the first half of its
// bytes first, as a write cut short by a power loss may leave it.
// TARV_RECORD_OPENS=text:path appends access, disposition and flags of each
// CreateFileA whose path contains text to path.
// GetDriveTypeA is faked rather than failed: its "error" is the drive type
// it returns.
// TARV_ERRORMODE_OUT=path writes the process's error mode (SetErrorMode) to
// path when the program binds its first spooler function.
// TARV_DENY_WINDOW_CLASS=name makes the creation of windows of that class fail
// (the robot then hooks window creation system-wide before the program starts,
// which also loads this DLL early enough for start-up faults).
// TARV_SYSMENU_OUT=path writes the state of the system-menu items after the
// window has been asked to prepare the menu.
#include <windows.h>
#include <winspool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum FaultId {
    F_DeletePrinter, F_DeletePrinterDriverA, F_DeleteFormA, F_AddPrinterDriverA, F_AddPrinterA,
    F_OpenPrinterA, F_GetPrinterDriverA, F_EnumPortsA, F_GetPrinterDriverDirectoryA,
    F_ReadFile, F_WriteFile, F_CreateFileA, F_DeleteFileA, F_CopyFileA, F_GetSystemDirectoryA,
    F_GetWindowsDirectoryA, F_GetVersionExA, F_GetFileInformationByHandle, F_GlobalAlloc,
    F_OpenSCManagerA, F_OpenServiceA, F_CreateServiceA, F_StartServiceA, F_ControlService, F_DeleteService,
    F_LoadLibraryExA, F_GetProcAddress, F_GetTempFileNameA, F_EnumPrinterDriversA, F_SetupUninstallOEMInfA,
    F_Sleep, F_GetDriveTypeA, F_QueryServiceStatus, F_RegQueryValueExA, F_GetKernelObjectSecurity,
    F_Count
};

struct Fault {
    const char *name;
    void *stub;
    void *original;
    int active;
    DWORD error;
    int nth;      // 0: every call
    int calls;
    char match[128];
    int pause;    // waits at the first call instead of failing
};

void PauseHere()
{
    char ready[MAX_PATH], until[MAX_PATH];
    if (!GetEnvironmentVariableA("TARV_PAUSE_READY", ready, sizeof ready)
        || !GetEnvironmentVariableA("TARV_PAUSE_UNTIL", until, sizeof until))
        return;
    HANDLE marker = CreateFileA(ready, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    for (int waited = 0; waited < 60000 && GetFileAttributesA(until) == INVALID_FILE_ATTRIBUTES; waited += 20)
        Sleep(20);
}

Fault g_faults[F_Count];

// Counts a call and decides whether it fails; sets the last error when it does.
bool Fails(FaultId id, const char *argument = 0, bool creating = false)
{
    Fault &fault = g_faults[id];
    if (!fault.active)
        return false;
    const char *match = fault.match;
    if (*match == '>') {
        if (!creating)
            return false;
        match++;
    }
    if (*match && (!argument || !strstr(argument, match)))
        return false;
    fault.calls++;
    if (fault.pause) {
        if (fault.calls == (fault.nth ? fault.nth : 1))
            PauseHere();
        return false;
    }
    if (fault.nth && fault.calls != fault.nth)
        return false;
    SetLastError(fault.error);
    return true;
}

template <typename T> T Real(FaultId id) { return (T)g_faults[id].original; }

BOOL WINAPI Fake_DeletePrinter(HANDLE printer)
{
    return Fails(F_DeletePrinter) ? FALSE : Real<BOOL (WINAPI *)(HANDLE)>(F_DeletePrinter)(printer);
}
BOOL WINAPI Fake_DeletePrinterDriverA(LPSTR server, LPSTR environment, LPSTR name)
{
    return Fails(F_DeletePrinterDriverA, name) ? FALSE
        : Real<BOOL (WINAPI *)(LPSTR, LPSTR, LPSTR)>(F_DeletePrinterDriverA)(server, environment, name);
}
BOOL WINAPI Fake_DeleteFormA(HANDLE printer, LPSTR name)
{
    return Fails(F_DeleteFormA, name) ? FALSE : Real<BOOL (WINAPI *)(HANDLE, LPSTR)>(F_DeleteFormA)(printer, name);
}
BOOL WINAPI Fake_AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info)
{
    return Fails(F_AddPrinterDriverA) ? FALSE
        : Real<BOOL (WINAPI *)(LPSTR, DWORD, LPBYTE)>(F_AddPrinterDriverA)(server, level, info);
}
HANDLE WINAPI Fake_AddPrinterA(LPSTR server, DWORD level, LPBYTE info)
{
    return Fails(F_AddPrinterA) ? (HANDLE)0
        : Real<HANDLE (WINAPI *)(LPSTR, DWORD, LPBYTE)>(F_AddPrinterA)(server, level, info);
}
BOOL WINAPI Fake_OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    return Fails(F_OpenPrinterA, name) ? FALSE
        : Real<BOOL (WINAPI *)(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA)>(F_OpenPrinterA)(name, printer, defaults);
}
BOOL WINAPI Fake_GetPrinterDriverA(HANDLE printer, LPSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                   LPDWORD needed)
{
    return Fails(F_GetPrinterDriverA) ? FALSE
        : Real<BOOL (WINAPI *)(HANDLE, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD)>(F_GetPrinterDriverA)(
              printer, environment, level, buffer, size, needed);
}
BOOL WINAPI Fake_EnumPortsA(LPSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD count)
{
    return Fails(F_EnumPortsA) ? FALSE
        : Real<BOOL (WINAPI *)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)>(F_EnumPortsA)(
              server, level, buffer, size, needed, count);
}
BOOL WINAPI Fake_GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                            DWORD size, LPDWORD needed)
{
    return Fails(F_GetPrinterDriverDirectoryA) ? FALSE
        : Real<BOOL (WINAPI *)(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD)>(F_GetPrinterDriverDirectoryA)(
              server, environment, level, buffer, size, needed);
}
BOOL WINAPI Fake_ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    return Fails(F_ReadFile) ? FALSE
        : Real<BOOL (WINAPI *)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)>(F_ReadFile)(
              file, buffer, size, done, overlapped);
}
// The bytes written, as far as they are text, are its first argument.
bool WriteFails(LPCVOID buffer, DWORD size)
{
    const char *match = g_faults[F_WriteFile].match;
    size_t length = strlen(match);
    const char *bytes = (const char *)buffer;
    if (!length)
        return Fails(F_WriteFile);
    if (*match == '#')
        return size == strtoul(match + 1, 0, 10) && Fails(F_WriteFile, match);
    for (DWORD at = 0; at + length <= size; at++)
        if (memcmp(bytes + at, match, length) == 0)
            return Fails(F_WriteFile, match);
    return false;
}

int g_tornWrites;

BOOL WINAPI Fake_WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    auto real = Real<BOOL (WINAPI *)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)>(F_WriteFile);
    if (!WriteFails(buffer, size))
        return real(file, buffer, size, done, overlapped);
    DWORD error = GetLastError(), half = 0;
    if (g_tornWrites)
        real(file, buffer, size / 2, &half, overlapped);
    SetLastError(error);
    return FALSE;
}
// TARV_RECORD_OPENS=text:path appends the access, disposition and flags of
// every CreateFileA whose path contains text to the file path.
char g_recordOpens[MAX_PATH];

void RecordOpen(LPCSTR path, DWORD access, DWORD disposition, DWORD flags)
{
    char *out = strchr(g_recordOpens, ':');
    if (!out || !path)
        return;
    *out = '\0';
    bool match = strstr(path, g_recordOpens) != 0;
    *out = ':';
    if (!match)
        return;
    char line[128];
    _snprintf(line, sizeof line, "access=0x%08lx disposition=%lu flags=0x%08lx\r\n", access, disposition, flags);
    line[sizeof line - 1] = '\0';
    // This DLL's own imports: the program's are the ones patched.
    DWORD error = GetLastError(), written;
    HANDLE file = CreateFileA(out + 1, FILE_APPEND_DATA, FILE_SHARE_READ, 0, OPEN_ALWAYS, 0, 0);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line, (DWORD)strlen(line), &written, 0);
        CloseHandle(file);
    }
    SetLastError(error);
}

HANDLE WINAPI Fake_CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile)
{
    RecordOpen(path, access, disposition, flags);
    bool creating = disposition == CREATE_ALWAYS || disposition == CREATE_NEW;
    return Fails(F_CreateFileA, path, creating) ? INVALID_HANDLE_VALUE
        : Real<HANDLE (WINAPI *)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)>(F_CreateFileA)(
              path, access, share, security, disposition, flags, templateFile);
}
BOOL WINAPI Fake_DeleteFileA(LPCSTR path)
{
    return Fails(F_DeleteFileA, path) ? FALSE : Real<BOOL (WINAPI *)(LPCSTR)>(F_DeleteFileA)(path);
}
BOOL WINAPI Fake_CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    return Fails(F_CopyFileA, from) ? FALSE
        : Real<BOOL (WINAPI *)(LPCSTR, LPCSTR, BOOL)>(F_CopyFileA)(from, to, failIfExists);
}
UINT WINAPI Fake_GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    return Fails(F_GetSystemDirectoryA) ? 0 : Real<UINT (WINAPI *)(LPSTR, UINT)>(F_GetSystemDirectoryA)(buffer, size);
}
UINT WINAPI Fake_GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return Fails(F_GetWindowsDirectoryA) ? 0
        : Real<UINT (WINAPI *)(LPSTR, UINT)>(F_GetWindowsDirectoryA)(buffer, size);
}
BOOL WINAPI Fake_GetVersionExA(LPOSVERSIONINFOA info)
{
    return Fails(F_GetVersionExA) ? FALSE : Real<BOOL (WINAPI *)(LPOSVERSIONINFOA)>(F_GetVersionExA)(info);
}
BOOL WINAPI Fake_GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info)
{
    return Fails(F_GetFileInformationByHandle) ? FALSE
        : Real<BOOL (WINAPI *)(HANDLE, LPBY_HANDLE_FILE_INFORMATION)>(F_GetFileInformationByHandle)(file, info);
}
HGLOBAL WINAPI Fake_GlobalAlloc(UINT flags, SIZE_T size)
{
    return Fails(F_GlobalAlloc) ? (HGLOBAL)0 : Real<HGLOBAL (WINAPI *)(UINT, SIZE_T)>(F_GlobalAlloc)(flags, size);
}
SC_HANDLE WINAPI Fake_OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access)
{
    return Fails(F_OpenSCManagerA) ? (SC_HANDLE)0
        : Real<SC_HANDLE (WINAPI *)(LPCSTR, LPCSTR, DWORD)>(F_OpenSCManagerA)(machine, database, access);
}
SC_HANDLE WINAPI Fake_OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    return Fails(F_OpenServiceA, name) ? (SC_HANDLE)0
        : Real<SC_HANDLE (WINAPI *)(SC_HANDLE, LPCSTR, DWORD)>(F_OpenServiceA)(manager, name, access);
}
SC_HANDLE WINAPI Fake_CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access, DWORD type,
                                     DWORD start, DWORD errorControl, LPCSTR path, LPCSTR group, LPDWORD tag,
                                     LPCSTR dependencies, LPCSTR account, LPCSTR password)
{
    return Fails(F_CreateServiceA, name) ? (SC_HANDLE)0
        : Real<SC_HANDLE (WINAPI *)(SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, LPDWORD,
                                    LPCSTR, LPCSTR, LPCSTR)>(F_CreateServiceA)(
              manager, name, display, access, type, start, errorControl, path, group, tag, dependencies, account,
              password);
}
BOOL WINAPI Fake_StartServiceA(SC_HANDLE service, DWORD count, LPCSTR *args)
{
    return Fails(F_StartServiceA) ? FALSE
        : Real<BOOL (WINAPI *)(SC_HANDLE, DWORD, LPCSTR *)>(F_StartServiceA)(service, count, args);
}
BOOL WINAPI Fake_ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    return Fails(F_ControlService) ? FALSE
        : Real<BOOL (WINAPI *)(SC_HANDLE, DWORD, LPSERVICE_STATUS)>(F_ControlService)(service, control, status);
}
// Not a failure: "QueryServiceStatus=4" reports every service in that state
// (SERVICE_RUNNING), whatever it is in.
BOOL WINAPI Fake_QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status)
{
    BOOL read = Real<BOOL (WINAPI *)(SC_HANDLE, LPSERVICE_STATUS)>(F_QueryServiceStatus)(service, status);
    if (read && Fails(F_QueryServiceStatus))
        status->dwCurrentState = g_faults[F_QueryServiceStatus].error;
    return read;
}
BOOL WINAPI Fake_DeleteService(SC_HANDLE service)
{
    return Fails(F_DeleteService) ? FALSE : Real<BOOL (WINAPI *)(SC_HANDLE)>(F_DeleteService)(service);
}
// Not a failure either: "GetKernelObjectSecurity=1" gives the first entry of
// the DACL read a type the program does not read (an allowed-callback entry),
// "=2" makes the DACL count one entry more than it holds.
BOOL WINAPI Fake_GetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor,
                                         DWORD size, LPDWORD needed)
{
    BOOL read = Real<BOOL (WINAPI *)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD)>(
        F_GetKernelObjectSecurity)(object, what, descriptor, size, needed);
    DWORD at = read && (what & DACL_SECURITY_INFORMATION) ? ((SECURITY_DESCRIPTOR_RELATIVE *)descriptor)->Dacl : 0;
    ACL *dacl = (ACL *)((BYTE *)descriptor + at);
    if (at && dacl->AceCount && Fails(F_GetKernelObjectSecurity)) {
        if (g_faults[F_GetKernelObjectSecurity].error == 1)
            ((ACE_HEADER *)(dacl + 1))->AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        else
            dacl->AceCount++;
    }
    return read;
}
LONG WINAPI Fake_RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    return Fails(F_RegQueryValueExA, name) ? (LONG)g_faults[F_RegQueryValueExA].error
        : Real<LONG (WINAPI *)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)>(F_RegQueryValueExA)(
              key, name, reserved, type, data, size);
}

BOOL WINAPI Fake_EnumPrinterDriversA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                     LPDWORD needed, LPDWORD count)
{
    return Fails(F_EnumPrinterDriversA) ? FALSE
        : Real<BOOL (WINAPI *)(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)>(F_EnumPrinterDriversA)(
              server, environment, level, buffer, size, needed, count);
}
BOOL WINAPI Fake_SetupUninstallOEMInfA(PCSTR name, DWORD flags, PVOID reserved)
{
    return Fails(F_SetupUninstallOEMInfA, name) ? FALSE
        : Real<BOOL (WINAPI *)(PCSTR, DWORD, PVOID)>(F_SetupUninstallOEMInfA)(name, flags, reserved);
}
// Never fails: TARV_PAUSE_AT=Sleep tells a test that the program waits for something.
void WINAPI Fake_Sleep(DWORD milliseconds)
{
    Fails(F_Sleep);
    Real<void (WINAPI *)(DWORD)>(F_Sleep)(milliseconds);
}

// Not a failure: "GetDriveTypeA=4:Z:" makes the drives whose root contains
// "Z:" network drives (DRIVE_REMOTE), the value standing for the type.
UINT WINAPI Fake_GetDriveTypeA(LPCSTR root)
{
    return Fails(F_GetDriveTypeA, root) ? g_faults[F_GetDriveTypeA].error
                                        : Real<UINT (WINAPI *)(LPCSTR)>(F_GetDriveTypeA)(root);
}

UINT WINAPI Fake_GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name)
{
    return Fails(F_GetTempFileNameA, folder) ? 0
        : Real<UINT (WINAPI *)(LPCSTR, LPCSTR, UINT, LPSTR)>(F_GetTempFileNameA)(folder, prefix, unique, name);
}

HMODULE WINAPI Fake_LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags)
{
    return Fails(F_LoadLibraryExA, path) ? (HMODULE)0
        : Real<HMODULE (WINAPI *)(LPCSTR, HANDLE, DWORD)>(F_LoadLibraryExA)(path, file, flags);
}

// TARV_ERRORMODE_OUT=path: the process's error mode, written when the
// program binds the spooler (by then its start-up is done).
char g_errorModeOut[MAX_PATH];

void RecordErrorMode(HMODULE module)
{
    if (!g_errorModeOut[0] || module != GetModuleHandleA("winspool.drv"))
        return;
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    char text[32];
    _snprintf(text, sizeof text, "%u", mode);
    text[sizeof text - 1] = '\0';
    HANDLE out = CreateFileA(g_errorModeOut, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD written;
    if (out != INVALID_HANDLE_VALUE) {
        WriteFile(out, text, (DWORD)strlen(text), &written, 0);
        CloseHandle(out);
    }
    g_errorModeOut[0] = '\0';
}

// Also hands out the stub of a faulted function that the program binds itself.
FARPROC WINAPI Fake_GetProcAddress(HMODULE module, LPCSTR name)
{
    RecordErrorMode(module);
    int byName = !IS_INTRESOURCE(name);
    if (Fails(F_GetProcAddress, byName ? name : 0))
        return 0;
    FARPROC proc = Real<FARPROC (WINAPI *)(HMODULE, LPCSTR)>(F_GetProcAddress)(module, name);
    if (!proc || !byName)
        return proc;
    for (int id = 0; id < F_Count; id++) {
        Fault &fault = g_faults[id];
        if (fault.active && id != F_GetProcAddress && strcmp(fault.name, name) == 0) {
            fault.original = (void *)proc;
            return (FARPROC)fault.stub;
        }
    }
    return proc;
}

void Describe(FaultId id, const char *name, void *stub)
{
    g_faults[id].name = name;
    g_faults[id].stub = stub;
}

void DescribeAll()
{
#define FAULT(fn) Describe(F_##fn, #fn, (void *)Fake_##fn)
    FAULT(DeletePrinter); FAULT(DeletePrinterDriverA); FAULT(DeleteFormA); FAULT(AddPrinterDriverA);
    FAULT(AddPrinterA); FAULT(OpenPrinterA); FAULT(GetPrinterDriverA); FAULT(EnumPortsA);
    FAULT(GetPrinterDriverDirectoryA); FAULT(ReadFile); FAULT(WriteFile); FAULT(CreateFileA);
    FAULT(DeleteFileA); FAULT(CopyFileA); FAULT(GetSystemDirectoryA); FAULT(GetWindowsDirectoryA);
    FAULT(GetVersionExA); FAULT(GetFileInformationByHandle); FAULT(GlobalAlloc); FAULT(OpenSCManagerA);
    FAULT(OpenServiceA); FAULT(CreateServiceA); FAULT(StartServiceA); FAULT(ControlService); FAULT(DeleteService);
    FAULT(LoadLibraryExA); FAULT(GetProcAddress); FAULT(GetTempFileNameA); FAULT(EnumPrinterDriversA);
    FAULT(SetupUninstallOEMInfA); FAULT(Sleep); FAULT(GetDriveTypeA);
    FAULT(QueryServiceStatus); FAULT(RegQueryValueExA); FAULT(GetKernelObjectSecurity);
#undef FAULT
}

// Parses "Name=error[@n][:text]" items separated by commas.
void ParseFaults(const char *faults)
{
    char copy[1024];
    _snprintf(copy, sizeof copy, "%s", faults);
    copy[sizeof copy - 1] = '\0';
    char *context = 0;
    for (char *item = strtok_s(copy, ",", &context); item; item = strtok_s(0, ",", &context)) {
        char *value = strchr(item, '=');
        if (!value)
            continue;
        *value++ = '\0';
        char *match = strchr(value, ':');
        if (match)
            *match++ = '\0';
        char *nth = strchr(value, '@');
        if (nth)
            *nth++ = '\0';
        for (int id = 0; id < F_Count; id++) {
            Fault &fault = g_faults[id];
            if (strcmp(fault.name, item) != 0)
                continue;
            fault.active = 1;
            fault.error = (DWORD)strtoul(value, 0, 10);
            fault.nth = nth ? atoi(nth) : 0;
            _snprintf(fault.match, sizeof fault.match, "%s", match ? match : "");
            fault.match[sizeof fault.match - 1] = '\0';
        }
    }
}

// GetProcAddress is patched whenever any fault is set: it hands out the stubs.
bool Patched(int id)
{
    if (g_faults[id].active || (id == F_CreateFileA && g_recordOpens[0]))
        return true;
    if (id != F_GetProcAddress)
        return false;
    if (g_errorModeOut[0])
        return true;
    for (int other = 0; other < F_Count; other++)
        if (g_faults[other].active)
            return true;
    return false;
}

void PatchImports(HMODULE module)
{
    BYTE *base = (BYTE *)module;
    IMAGE_DOS_HEADER *dos = (IMAGE_DOS_HEADER *)base;
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return;
    for (IMAGE_IMPORT_DESCRIPTOR *import = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress);
         import->Name; import++) {
        if (!import->OriginalFirstThunk)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + import->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char *name = (const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name;
            for (int id = 0; id < F_Count; id++) {
                Fault &fault = g_faults[id];
                if (!Patched(id) || strcmp(fault.name, name) != 0)
                    continue;
                DWORD oldProtect;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &oldProtect);
                fault.original = (void *)slots->u1.Function;
                slots->u1.Function = (ULONG_PTR)fault.stub;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, oldProtect, &oldProtect);
            }
        }
    }
}

int IsRobot()
{
    char path[MAX_PATH];
    GetModuleFileNameA(0, path, sizeof path);
    const char *base = strrchr(path, '\\');
    base = base ? base + 1 : path;
    return _stricmp(base, "robot.exe") == 0;
}

void WriteSystemMenuState()
{
    char path[MAX_PATH];
    if (!GetEnvironmentVariableA("TARV_SYSMENU_OUT", path, sizeof path))
        return;
    HWND main = 0;
    for (HWND window = FindWindowA("SetupTarvClass", 0); window; window = FindWindowExA(0, window, "SetupTarvClass", 0)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId == GetCurrentProcessId()) {
            main = window;
            break;
        }
    }
    if (!main)
        return;
    HMENU menu = GetSystemMenu(main, FALSE);
    if (!menu)
        return;
    SendMessageA(main, WM_INITMENUPOPUP, (WPARAM)menu, MAKELPARAM(0, TRUE));
    static const struct { UINT command; const char *name; } kItems[] = {
        { SC_RESTORE, "restore" }, { SC_MOVE, "move" }, { SC_SIZE, "size" },
        { SC_MINIMIZE, "minimize" }, { SC_MAXIMIZE, "maximize" }, { SC_CLOSE, "close" },
    };
    FILE *out = fopen(path, "wb");
    if (!out)
        return;
    fputs("SYSMENU", out);
    for (size_t i = 0; i < sizeof kItems / sizeof kItems[0]; i++) {
        UINT state = GetMenuState(menu, kItems[i].command, MF_BYCOMMAND);
        fprintf(out, " %s=%s", kItems[i].name,
                state == (UINT)-1 ? "absent" : (state & (MF_GRAYED | MF_DISABLED)) ? "grey" : "enabled");
    }
    fclose(out);
}

int g_inTarget;
int g_probed;

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK InjectHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (g_inTarget && !g_probed) {
        g_probed = 1;
        WriteSystemMenuState();
    }
    return CallNextHookEx(0, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK InjectCbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (g_inTarget && code == HCBT_CREATEWND) {
        char denied[256];
        char className[256];
        CBT_CREATEWNDA *create = (CBT_CREATEWNDA *)lParam;
        if (GetEnvironmentVariableA("TARV_DENY_WINDOW_CLASS", denied, sizeof denied) && create && create->lpcs
            && !IS_INTRESOURCE(create->lpcs->lpszClass)) {
            GetClassNameA((HWND)wParam, className, sizeof className);
            if (_stricmp(className, denied) == 0)
                return 1;
        }
    }
    return CallNextHookEx(0, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH || IsRobot())
        return TRUE;
    g_inTarget = 1;
    DescribeAll();
    char faults[1024];
    if (GetEnvironmentVariableA("TARV_FAULTS", faults, sizeof faults))
        ParseFaults(faults);
    if (!GetEnvironmentVariableA("TARV_ERRORMODE_OUT", g_errorModeOut, sizeof g_errorModeOut))
        g_errorModeOut[0] = '\0';
    if (!GetEnvironmentVariableA("TARV_RECORD_OPENS", g_recordOpens, sizeof g_recordOpens))
        g_recordOpens[0] = '\0';
    char torn[8];
    g_tornWrites = GetEnvironmentVariableA("TARV_TORN_WRITES", torn, sizeof torn) != 0;
    char pauseAt[192];
    if (GetEnvironmentVariableA("TARV_PAUSE_AT", pauseAt, sizeof pauseAt)) {
        char *match = strchr(pauseAt, ':');
        if (match)
            *match++ = '\0';
        char *nth = strchr(pauseAt, '@');
        if (nth)
            *nth++ = '\0';
        for (int id = 0; id < F_Count; id++)
            if (strcmp(g_faults[id].name, pauseAt) == 0) {
                g_faults[id].active = g_faults[id].pause = 1;
                g_faults[id].nth = nth ? atoi(nth) : 0;
                _snprintf(g_faults[id].match, sizeof g_faults[id].match, "%s", match ? match : "");
                g_faults[id].match[sizeof g_faults[id].match - 1] = '\0';
            }
    }
    PatchImports(GetModuleHandleA(0));
    char name[64];
    _snprintf(name, sizeof name, "TarvInjected-%lu", GetCurrentProcessId());
    name[sizeof name - 1] = '\0';
    HANDLE ready = CreateEventA(0, TRUE, FALSE, name);
    if (ready)
        SetEvent(ready);  // kept open: the robot waits on it
    return TRUE;
}
