// Test helper: reads and prepares the state that Setup.exe works on (spooler,
// services, folders). Each argument group is one command; output is one line
// per item.
//
//   folders                      SYSDIR, DRIVERDIR, WINDIR, TEMPDIR
//   printers                     PRINTER lines (level 2)
//   drivers                      DRIVER lines (level 3)
//   ports                        PORT lines (level 2)
//   service NAME                 SERVICE line
//   device NAME                  DEVICE line (\\.\NAME opened read/write)
//   add-driver NAME DRIVER DATA CONFIG HELP DEPS   (HELP "-" for none, DEPS '|'-separated)
//   add-printer NAME PORT DRIVER
//   add-form NAME
//   delete-printer NAME | delete-driver NAME
//   delete-service NAME          stops and deletes a service
//   create-service NAME BINPATH  a demand-start kernel-driver service
//   stop-service NAME            stops a service
//   set-start-type NAME TYPE     changes a service's start type (2: automatic)
//   pending-renames              PENDING lines: the renames and deletions due at the next restart
//   clear-pending-renames        forgets them
//   load-library NAME            LoadLibraryA through the default search order
//   add-port NAME | delete-port NAME   a port value under HKLM\...\Windows NT\CurrentVersion\Ports
//   hold-service NAME MS         keeps a handle to the service open for MS milliseconds
//   hold-mutex NAME MS           holds the named mutex for MS milliseconds
//   hold-locked-mutex NAME MS    as hold-mutex, the mutex made with an empty DACL
//   hold-event NAME MS           keeps an event of that name for MS milliseconds
//   schedule-delete PATH         MoveFileEx(PATH, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)
//   hard-link TARGET LINK        a second name LINK for the file TARGET
//   hold-library PATH READY UNTIL   as hold-file, with PATH loaded as a DLL instead
//   hold-file PATH READY UNTIL   opens PATH with no sharing, creates the file READY, and
//                                keeps PATH open until the file UNTIL exists (at most 2 min)
#include <windows.h>
#include <winspool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char *Text(const char *text)
{
    return text ? text : "(null)";
}

void *Fetch(BOOL (*call)(void *, BYTE *, DWORD, DWORD *, DWORD *, DWORD), void *context, DWORD level,
            DWORD *count)
{
    DWORD needed = 0;
    *count = 0;
    call(context, 0, 0, &needed, count, level);
    if (needed == 0)
        return 0;
    BYTE *buffer = (BYTE *)calloc(needed, 1);
    if (!call(context, buffer, needed, &needed, count, level)) {
        printf("ERROR fetch %lu\n", GetLastError());
        free(buffer);
        return 0;
    }
    return buffer;
}

BOOL CallEnumPrinters(void *, BYTE *buffer, DWORD size, DWORD *needed, DWORD *count, DWORD level)
{
    return EnumPrintersA(PRINTER_ENUM_LOCAL, 0, level, buffer, size, needed, count);
}

BOOL CallEnumDrivers(void *, BYTE *buffer, DWORD size, DWORD *needed, DWORD *count, DWORD level)
{
    return EnumPrinterDriversA(0, 0, level, buffer, size, needed, count);
}

BOOL CallEnumPorts(void *, BYTE *buffer, DWORD size, DWORD *needed, DWORD *count, DWORD level)
{
    return EnumPortsA(0, level, buffer, size, needed, count);
}

void ListPrinters()
{
    DWORD count;
    PRINTER_INFO_2A *printers = (PRINTER_INFO_2A *)Fetch(CallEnumPrinters, 0, 2, &count);
    for (DWORD i = 0; printers && i < count; i++) {
        PRINTER_INFO_2A *p = &printers[i];
        printf("PRINTER name=\"%s\" port=\"%s\" driver=\"%s\" comment=\"%s\" processor=\"%s\" datatype=\"%s\" "
               "attributes=0x%lx\n", Text(p->pPrinterName), Text(p->pPortName), Text(p->pDriverName),
               Text(p->pComment), Text(p->pPrintProcessor), Text(p->pDatatype), p->Attributes);
    }
    free(printers);
}

void ListDrivers()
{
    DWORD count;
    DRIVER_INFO_3A *drivers = (DRIVER_INFO_3A *)Fetch(CallEnumDrivers, 0, 3, &count);
    for (DWORD i = 0; drivers && i < count; i++) {
        DRIVER_INFO_3A *d = &drivers[i];
        printf("DRIVER name=\"%s\" version=%lu env=\"%s\" driver=\"%s\" data=\"%s\" config=\"%s\" help=\"%s\" "
               "monitor=\"%s\" datatype=\"%s\" dependent=\"", Text(d->pName), d->cVersion, Text(d->pEnvironment),
               Text(d->pDriverPath), Text(d->pDataFile), Text(d->pConfigFile), Text(d->pHelpFile),
               Text(d->pMonitorName), Text(d->pDefaultDataType));
        for (const char *dep = d->pDependentFiles; dep && *dep; dep += strlen(dep) + 1)
            printf("%s%s", dep == d->pDependentFiles ? "" : "|", dep);
        printf("\"\n");
    }
    free(drivers);
}

void ListPorts()
{
    DWORD count;
    PORT_INFO_2A *ports = (PORT_INFO_2A *)Fetch(CallEnumPorts, 0, 2, &count);
    for (DWORD i = 0; ports && i < count; i++)
        printf("PORT name=\"%s\" description=\"%s\"\n", Text(ports[i].pPortName), Text(ports[i].pDescription));
    free(ports);
}

void ShowFolders()
{
    char path[MAX_PATH];
    GetSystemDirectoryA(path, sizeof path);
    printf("SYSDIR %s\n", path);
    DWORD needed = 0;
    if (GetPrinterDriverDirectoryA(0, 0, 1, (BYTE *)path, sizeof path, &needed))
        printf("DRIVERDIR %s\n", path);
    GetWindowsDirectoryA(path, sizeof path);
    printf("WINDIR %s\n", path);
    DWORD length = GetTempPathA(sizeof path, path);
    if (length > 1 && length < sizeof path && path[length - 1] == '\\')
        path[length - 1] = '\0';
    printf("TEMPDIR %s\n", path);
    // Where a package of the probe's own architecture installs.
    if (GetEnvironmentVariableA("ProgramFiles", path, sizeof path))
        printf("PROGRAMFILES %s\n", path);
}

void ShowService(const char *name)
{
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_ALL_ACCESS) : 0;
    if (!service) {
        printf("SERVICE name=\"%s\" exists=0 error=%lu\n", name, GetLastError());
    } else {
        DWORD needed = 0;
        QueryServiceConfigA(service, 0, 0, &needed);
        QUERY_SERVICE_CONFIGA *config = (QUERY_SERVICE_CONFIGA *)calloc(needed + 1, 1);
        SERVICE_STATUS status;
        ZeroMemory(&status, sizeof status);
        QueryServiceStatus(service, &status);
        if (QueryServiceConfigA(service, config, needed, &needed))
            printf("SERVICE name=\"%s\" exists=1 type=%lu start=%lu error=%lu binpath=\"%s\" display=\"%s\" "
                   "state=%lu\n", name, config->dwServiceType, config->dwStartType, config->dwErrorControl,
                   Text(config->lpBinaryPathName), Text(config->lpDisplayName), status.dwCurrentState);
        free(config);
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
}

void StopOrDeleteService(const char *name, bool remove)
{
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_ALL_ACCESS) : 0;
    if (service) {
        SERVICE_STATUS status;
        BOOL stopped = ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (remove) {
            BOOL deleted = DeleteService(service);
            printf("DELETE-SERVICE %d error=%lu\n", deleted ? 1 : 0, deleted ? 0 : GetLastError());
        }
        else
            printf("STOP-SERVICE %d\n", stopped ? 1 : 0);
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
}

void OpenDevice(const char *name)
{
    char path[300];
    _snprintf(path, sizeof path, "\\\\.\\%s", name);
    path[sizeof path - 1] = '\0';
    HANDLE device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    printf("DEVICE name=\"%s\" open=%d error=%lu\n", name, device != INVALID_HANDLE_VALUE,
           device == INVALID_HANDLE_VALUE ? GetLastError() : 0);
    if (device != INVALID_HANDLE_VALUE)
        CloseHandle(device);
}

void DoAddDriver(char **args)
{
    char dependent[1024];
    size_t used = 0;
    for (const char *p = args[5]; *p && used < sizeof dependent - 2; p++)
        dependent[used++] = *p == '|' ? '\0' : *p;
    dependent[used++] = '\0';
    dependent[used] = '\0';
    DRIVER_INFO_3A info;
    ZeroMemory(&info, sizeof info);
    info.cVersion = 1120;
    info.pName = args[0];
    info.pDriverPath = args[1];
    info.pDataFile = args[2];
    info.pConfigFile = args[3];
    info.pHelpFile = strcmp(args[4], "-") == 0 ? 0 : args[4];
    info.pDependentFiles = dependent;
    info.pDefaultDataType = (char *)"RAW";
    BOOL ok = AddPrinterDriverA(0, 3, (BYTE *)&info);
    printf("ADD-DRIVER %d %lu\n", ok ? 1 : 0, ok ? 0 : GetLastError());
}

void DoAddPrinter(char **args)
{
    PRINTER_INFO_2A info;
    ZeroMemory(&info, sizeof info);
    info.pPrinterName = args[0];
    info.pPortName = args[1];
    info.pDriverName = args[2];
    info.pPrintProcessor = (char *)"winprint";
    info.pDatatype = (char *)"RAW";
    info.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterA(0, 2, (BYTE *)&info);
    printf("ADD-PRINTER %d %lu\n", printer ? 1 : 0, printer ? 0 : GetLastError());
    if (printer)
        ClosePrinter(printer);
}

void DoAddForm(const char *name)
{
    FORM_INFO_1A form;
    ZeroMemory(&form, sizeof form);
    form.pName = (char *)name;
    form.Size.cx = 85600;
    form.Size.cy = 53980;
    form.ImageableArea.right = form.Size.cx;
    form.ImageableArea.bottom = form.Size.cy;
    BOOL ok = AddFormA(0, 1, (BYTE *)&form);
    printf("ADD-FORM %d %lu\n", ok ? 1 : 0, ok ? 0 : GetLastError());
}

void DeletePrinterNamed(const char *name)
{
    HANDLE printer = 0;
    PRINTER_DEFAULTSA defaults = { 0, 0, PRINTER_ALL_ACCESS };
    if (!OpenPrinterA((char *)name, &printer, &defaults)) {
        printf("DELETE-PRINTER 0 %lu\n", GetLastError());
        return;
    }
    BOOL ok = DeletePrinter(printer);
    printf("DELETE-PRINTER %d\n", ok ? 1 : 0);
    ClosePrinter(printer);
}

const char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

void ChangePort(const char *name, int add)
{
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_SET_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
        rc = add ? RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)"", 1) : RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    printf("%s %d %ld\n", add ? "ADD-PORT" : "DELETE-PORT", rc == ERROR_SUCCESS, rc);
}

const char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";

// The renames and deletions the system carries out at the next restart: one
// PENDING line per entry (a deletion's target is empty).
void ListPendingRenames()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    char data[8192];
    DWORD size = sizeof data - 2, type = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", 0, &type, (BYTE *)data, &size) == ERROR_SUCCESS) {
        data[size] = data[size + 1] = '\0';
        for (const char *entry = data; entry < data + size && *entry; entry += strlen(entry) + 1) {
            const char *target = entry + strlen(entry) + 1;
            printf("PENDING from=\"%s\" to=\"%s\"\n", entry, target < data + size ? target : "");
            entry = target;
        }
    }
    RegCloseKey(key);
}

void ClearPendingRenames()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

// Holds the mutex NAME for MS milliseconds, as a run of Setup.exe holds its own.
// locked: with an empty DACL, which lets no one else open it.
void HoldMutex(const char *name, DWORD ms, bool locked)
{
    SECURITY_DESCRIPTOR descriptor;
    ACL acl;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof acl, ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
    SECURITY_ATTRIBUTES attributes = { sizeof attributes, &descriptor, FALSE };
    HANDLE mutex = CreateMutexA(locked ? &attributes : 0, TRUE, name);
    printf("HOLD-MUTEX %d\n", mutex != 0);
    fflush(stdout);
    Sleep(ms);
    if (mutex)
        CloseHandle(mutex);
}

// A demand-start kernel-driver service of another product's.
void CreateKernelService(const char *name, const char *binaryPath)
{
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binaryPath, 0, 0, 0, 0, 0)
                                : 0;
    printf("CREATE-SERVICE %d error=%lu\n", service != 0, service ? 0 : GetLastError());
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

void SetStartType(const char *name, DWORD start)
{
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_ALL_ACCESS) : 0;
    BOOL changed = service && ChangeServiceConfigA(service, SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, 0, 0, 0, 0, 0, 0, 0);
    printf("SET-START-TYPE %d error=%lu\n", changed ? 1 : 0, changed ? 0 : GetLastError());
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

void HoldService(const char *name, DWORD ms)
{
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_ALL_ACCESS) : 0;
    printf("HOLD-SERVICE %d\n", service != 0);
    fflush(stdout);
    Sleep(ms);
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

// Keeps PATH open with no sharing, or loaded as a DLL (a driver's module the
// spooler has loaded: it can be renamed but not deleted), until UNTIL exists.
void HoldFile(const char *path, const char *ready, const char *until, bool asLibrary)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    HMODULE library = 0;
    if (asLibrary)
        library = LoadLibraryA(path);
    else
        file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    printf("%s %d\n", asLibrary ? "HOLD-LIBRARY" : "HOLD-FILE", library != 0 || file != INVALID_HANDLE_VALUE);
    fflush(stdout);
    HANDLE flag = CreateFileA(ready, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    if (flag != INVALID_HANDLE_VALUE)
        CloseHandle(flag);
    for (int waited = 0; waited < 120000 && GetFileAttributesA(until) == INVALID_FILE_ATTRIBUTES; waited += 50)
        Sleep(50);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (library)
        FreeLibrary(library);
}

int Needs(int argc, int i, int count)
{
    if (i + count >= argc) {
        printf("ERROR missing arguments\n");
        exit(2);
    }
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const char *command = argv[i];
        if (strcmp(command, "folders") == 0) ShowFolders();
        else if (strcmp(command, "printers") == 0) ListPrinters();
        else if (strcmp(command, "drivers") == 0) ListDrivers();
        else if (strcmp(command, "ports") == 0) ListPorts();
        else if (strcmp(command, "service") == 0 && Needs(argc, i, 1)) ShowService(argv[++i]);
        else if (strcmp(command, "create-service") == 0 && Needs(argc, i, 2)) {
            CreateKernelService(argv[i + 1], argv[i + 2]);
            i += 2;
        }
        else if (strcmp(command, "delete-service") == 0 && Needs(argc, i, 1)) StopOrDeleteService(argv[++i], true);
        else if (strcmp(command, "stop-service") == 0 && Needs(argc, i, 1)) StopOrDeleteService(argv[++i], false);
        else if (strcmp(command, "set-start-type") == 0 && Needs(argc, i, 2)) {
            SetStartType(argv[i + 1], (DWORD)atol(argv[i + 2]));
            i += 2;
        }
        else if (strcmp(command, "hold-service") == 0 && Needs(argc, i, 2)) {
            HoldService(argv[i + 1], (DWORD)atol(argv[i + 2]));
            i += 2;
        }
        else if (strcmp(command, "hold-event") == 0 && Needs(argc, i, 2)) {
            HANDLE event = CreateEventA(0, TRUE, FALSE, argv[i + 1]);
            printf("HOLD-EVENT %d\n", event != 0);
            fflush(stdout);
            Sleep((DWORD)atol(argv[i + 2]));
            if (event)
                CloseHandle(event);
            i += 2;
        }
        else if ((strcmp(command, "hold-mutex") == 0 || strcmp(command, "hold-locked-mutex") == 0)
                 && Needs(argc, i, 2)) {
            HoldMutex(argv[i + 1], (DWORD)atol(argv[i + 2]), strcmp(command, "hold-locked-mutex") == 0);
            i += 2;
        }
        else if ((strcmp(command, "hold-file") == 0 || strcmp(command, "hold-library") == 0) && Needs(argc, i, 3)) {
            HoldFile(argv[i + 1], argv[i + 2], argv[i + 3], strcmp(command, "hold-library") == 0);
            i += 3;
        }
        else if (strcmp(command, "add-port") == 0 && Needs(argc, i, 1)) ChangePort(argv[++i], 1);
        else if (strcmp(command, "delete-port") == 0 && Needs(argc, i, 1)) ChangePort(argv[++i], 0);
        else if (strcmp(command, "device") == 0 && Needs(argc, i, 1)) OpenDevice(argv[++i]);
        else if (strcmp(command, "pending-renames") == 0) ListPendingRenames();
        else if (strcmp(command, "clear-pending-renames") == 0) ClearPendingRenames();
        else if (strcmp(command, "schedule-delete") == 0 && Needs(argc, i, 1))
            printf("SCHEDULE-DELETE %d\n", MoveFileExA(argv[++i], 0, MOVEFILE_DELAY_UNTIL_REBOOT));
        else if (strcmp(command, "hard-link") == 0 && Needs(argc, i, 2)) {
            printf("HARD-LINK %d %lu\n", CreateHardLinkA(argv[i + 2], argv[i + 1], 0), GetLastError());
            i += 2;
        }
        else if (strcmp(command, "load-library") == 0 && Needs(argc, i, 1)) {
            HMODULE module = LoadLibraryA(argv[++i]);
            char path[MAX_PATH] = "";
            if (module)
                GetModuleFileNameA(module, path, sizeof path);
            printf("LOADED %d %s\n", module ? 1 : 0, path);
        }
        else if (strcmp(command, "add-driver") == 0 && Needs(argc, i, 6)) { DoAddDriver(argv + i + 1); i += 6; }
        else if (strcmp(command, "add-printer") == 0 && Needs(argc, i, 3)) { DoAddPrinter(argv + i + 1); i += 3; }
        else if (strcmp(command, "add-form") == 0 && Needs(argc, i, 1)) DoAddForm(argv[++i]);
        else if (strcmp(command, "delete-printer") == 0 && Needs(argc, i, 1)) DeletePrinterNamed(argv[++i]);
        else if (strcmp(command, "delete-driver") == 0 && Needs(argc, i, 1)) {
            BOOL ok = DeletePrinterDriverA(0, 0, argv[++i]);
            printf("DELETE-DRIVER %d\n", ok ? 1 : 0);
        } else {
            printf("ERROR unknown command %s\n", command);
            return 2;
        }
    }
    fflush(stdout);
    return 0;
}
