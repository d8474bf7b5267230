// Undoing one record of the undo journal. Each step is logged, and so is a
// change that cannot be undone; the walk goes on either way.
#include <windows.h>
#include <winspool.h>

#include <stddef.h>
#include <string.h>

#include "app/log.h"
#include "app/state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "install/install.h"
#include "install/journal.h"
#include "install/model_inf.h"
#include "remove/purge_names.h"

enum { STOP_WAIT_MS = 3000, STOP_POLL_MS = 100 };

typedef BOOL (WINAPI *UninstallOemInfProc)(PCSTR, DWORD, PVOID);

static const unsigned short kQueuePointers[] = {
    offsetof(PRINTER_INFO_2A, pServerName), offsetof(PRINTER_INFO_2A, pPrinterName),
    offsetof(PRINTER_INFO_2A, pShareName), offsetof(PRINTER_INFO_2A, pPortName),
    offsetof(PRINTER_INFO_2A, pDriverName), offsetof(PRINTER_INFO_2A, pComment),
    offsetof(PRINTER_INFO_2A, pLocation), offsetof(PRINTER_INFO_2A, pDevMode),
    offsetof(PRINTER_INFO_2A, pSepFile), offsetof(PRINTER_INFO_2A, pPrintProcessor),
    offsetof(PRINTER_INFO_2A, pDatatype), offsetof(PRINTER_INFO_2A, pParameters),
    offsetof(PRINTER_INFO_2A, pSecurityDescriptor), 0 };
static const unsigned short kDriverPointers[] = {
    offsetof(DRIVER_INFO_3A, pName), offsetof(DRIVER_INFO_3A, pEnvironment),
    offsetof(DRIVER_INFO_3A, pDriverPath), offsetof(DRIVER_INFO_3A, pDataFile),
    offsetof(DRIVER_INFO_3A, pConfigFile), offsetof(DRIVER_INFO_3A, pHelpFile),
    offsetof(DRIVER_INFO_3A, pDependentFiles), offsetof(DRIVER_INFO_3A, pMonitorName),
    offsetof(DRIVER_INFO_3A, pDefaultDataType), 0 };
static const unsigned short kServicePointers[] = {
    offsetof(QUERY_SERVICE_CONFIGA, lpBinaryPathName), offsetof(QUERY_SERVICE_CONFIGA, lpLoadOrderGroup),
    offsetof(QUERY_SERVICE_CONFIGA, lpDependencies), offsetof(QUERY_SERVICE_CONFIGA, lpServiceStartName),
    offsetof(QUERY_SERVICE_CONFIGA, lpDisplayName), 0 };

// The structure of a block record moved to a new block: every pointer field
// that pointed into the old block points into the new one. pointers lists the
// fields' offsets (the first may be 0, the list ends at the next 0).
static const void *MoveBlock(const BYTE *data, DWORD size, size_t structureSize, const unsigned short *pointers,
                             HGLOBAL *memory, DWORD *flag)
{
    JournalBlock header;
    *memory = 0;
    if (size < sizeof header)
        return 0;
    memcpy(&header, data, sizeof header);
    if (header.size != size - sizeof header || header.offset > header.size
        || structureSize > header.size - header.offset)
        return 0;
    BYTE *block = (BYTE *)GlobalAlloc(GPTR, header.size + 2);  // texts end inside it
    if (!block)
        return 0;
    memcpy(block, data + sizeof header, header.size);
    for (size_t i = 0; i == 0 || pointers[i]; i++) {
        ULONG_PTR value;
        memcpy(&value, block + header.offset + pointers[i], sizeof value);
        if (!value)
            continue;
        if (value - header.base >= header.size) {
            GlobalFree(block);
            return 0;
        }
        value = (ULONG_PTR)block + (value - header.base);
        memcpy(block + header.offset + pointers[i], &value, sizeof value);
    }
    *memory = block;
    *flag = header.flag;
    return block + header.offset;
}

// A path the journal names must be a file of the product, or one of the
// journal's own copies, in the printer-driver or system folder, written in
// full (no "." or ".." segment, no forward slash).
int JournalPathAllowed(const char *path)
{
    const char *name = PathFileName(path, IsLeadByte);
    size_t length = strlen(name);
    int copy = StartsWithIgnoringAsciiCase(name, "trv") && length > 4 && SameTextIgnoringAsciiCase(name + length - 4, ".tmp");
    char full[PATH_CHARS];
    char *part = 0;
    DWORD fullLength = GetFullPathNameA(path, sizeof full, full, &part);
    if ((!copy && !IsProductFileName(name)) || fullLength == 0 || fullLength >= sizeof full
        || !SameTextIgnoringAsciiCase(full, path))
        return 0;
    const char *folders[] = { g_setup.driverFolder, g_setup.systemFolder };
    for (size_t i = 0; i < sizeof folders / sizeof folders[0]; i++) {
        size_t folderLength = folders[i] ? strlen(folders[i]) : 0;
        if (folderLength && StartsWithIgnoringAsciiCase(path, folders[i]) && path[folderLength] == '\\')
            return 1;
    }
    return 0;
}

static void MakeDeletable(const char *path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
}

static void UndoFile(int type, const char *path, const char *copy)
{
    if (!JournalPathAllowed(path) || (*copy && !JournalPathAllowed(copy))) {
        LogLine("undo: %s left, it is no file of the product", path);
        return;
    }
    if (type == JOURNAL_COPY) {
        MakeDeletable(copy);
        DeleteFileA(copy);  // already gone when it took the file's place again
        return;
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        MakeDeletable(path);
        if (!DeleteFileA(path)) {
            LogLine("undo: %s not put back, error %lu", path, (unsigned long)GetLastError());
            return;
        }
        if (!*copy)
            LogLine("undo: deleted %s", path);
    }
    if (!*copy)
        return;
    if (MoveFileA(copy, path))
        LogLine("undo: put back %s", path);
    else
        LogLine("undo: %s not put back from %s, error %lu", path, copy, (unsigned long)GetLastError());
}

static void UndoQueue(const PRINTER_INFO_2A *saved)
{
    HANDLE printer = 0;
    PRINTER_DEFAULTSA defaults = { 0, 0, PRINTER_ALL_ACCESS };
    int there = g_setup.spooler.OpenPrinterA((LPSTR)MODEL_QUEUE_NAME, &printer, &defaults);
    if (!saved) {
        BOOL deleted = there && g_setup.spooler.DeletePrinter(printer);
        LogLine(deleted ? "undo: printer \"%s\" deleted" : "undo: no printer \"%s\" to delete", MODEL_QUEUE_NAME);
    } else if (there) {
        LogLine("undo: earlier printer \"%s\" still there", MODEL_QUEUE_NAME);
    } else {
        PRINTER_INFO_2A info = *saved;
        info.pServerName = 0;
        HANDLE added = g_setup.spooler.AddPrinterA(0, 2, (LPBYTE)&info);
        if (added) {
            LogLine("undo: earlier printer \"%s\" added again on port %s", MODEL_QUEUE_NAME, info.pPortName);
            g_setup.spooler.ClosePrinter(added);
        } else {
            LogLine("undo: earlier printer \"%s\" not added again, error %lu", MODEL_QUEUE_NAME,
                    (unsigned long)GetLastError());
        }
    }
    if (there)
        g_setup.spooler.ClosePrinter(printer);
}

static void UndoDriver(const DRIVER_INFO_3A *saved)
{
    if (!saved) {
        // A driver the spooler never took is gone already.
        BOOL deleted = g_setup.spooler.DeletePrinterDriverA(0, 0, (LPSTR)MODEL_DRIVER_NAME) || !ModelDriverListed();
        char result[32];
        LogLine("undo: driver \"%s\" deleted: %s", MODEL_DRIVER_NAME,
                StepResult(deleted, GetLastError(), result, sizeof result));
        return;
    }
    BOOL added = g_setup.spooler.AddPrinterDriverA(0, 3, (LPBYTE)saved);
    char result[32];
    LogLine("undo: earlier driver \"%s\" registered again: %s", MODEL_DRIVER_NAME,
            StepResult(added, GetLastError(), result, sizeof result));
}

// Stops the service and waits for it, a few seconds at most.
static void StopAndWait(SC_HANDLE service)
{
    SERVICE_STATUS status;
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
        return;
    for (DWORD waited = 0; waited < STOP_WAIT_MS; waited += STOP_POLL_MS) {
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED)
            return;
        Sleep(STOP_POLL_MS);
    }
}

static void UndoService(const QUERY_SERVICE_CONFIGA *saved, DWORD wasRunning)
{
    char result[32];
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        LogLine("undo: service %s not put back, the service manager cannot be opened, error %lu",
                KERNEL_SERVICE_NAME, (unsigned long)GetLastError());
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (!saved) {
        // Already gone is what the undo wants.
        BOOL deleted = !service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        if (service) {
            StopAndWait(service);
            deleted = DeleteService(service) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
        }
        LogLine("undo: service %s deleted: %s", KERNEL_SERVICE_NAME,
                StepResult(deleted, GetLastError(), result, sizeof result));
    } else {
        if (!service) {
            const char *account = saved->lpServiceStartName && *saved->lpServiceStartName ? saved->lpServiceStartName : 0;
            service = CreateServiceA(manager, KERNEL_SERVICE_NAME, saved->lpDisplayName, SERVICE_ALL_ACCESS,
                                     saved->dwServiceType, saved->dwStartType, saved->dwErrorControl,
                                     saved->lpBinaryPathName, saved->lpLoadOrderGroup, 0, saved->lpDependencies,
                                     account, 0);
            LogLine("undo: earlier service %s created again: %s", KERNEL_SERVICE_NAME,
                    StepResult(service != 0, GetLastError(), result, sizeof result));
        }
        if (service && wasRunning) {
            BOOL started = StartServiceA(service, 0, 0) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
            LogLine("undo: earlier service %s started again: %s", KERNEL_SERVICE_NAME,
                    StepResult(started, GetLastError(), result, sizeof result));
        }
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// One copy of the media's INF in the INF folder: gone unless it was there
// before the setup (context: the names that were).
static void UndoInfCopy(void *context, const char *folder, const char *name)
{
    for (const char *before = (const char *)context; *before; before += strlen(before) + 1)
        if (SameTextIgnoringAsciiCase(before, name))
            return;
    UninstallOemInfProc uninstall = g_setup.setupLibrary
        ? (UninstallOemInfProc)(void *)GetProcAddress(g_setup.setupLibrary, "SetupUninstallOEMInfA") : 0;
    if (uninstall)
        uninstall(name, 0, 0);
    // The library may keep the files: what counts is that they go.
    char path[PATH_CHARS];
    if (!FormatText(path, sizeof path, "%s\\%s", folder, name))
        return;
    DeleteFileA(path);
    size_t length = strlen(path);
    memcpy(path + length - 4, ".pnf", 4);
    DeleteFileA(path);
    LogLine("undo: INF %s\\%s removed", folder, name);
}

// data: the media's INF, then the names of its copies before the setup.
static void UndoInf(const char *data)
{
    if (FindModelInfs(data, UndoInfCopy, (void *)(data + strlen(data) + 1)) < 0)
        LogLine("undo: the INF registered for %s cannot be looked for", data);
}

void UndoRecord(int type, const BYTE *data, DWORD size)
{
    HGLOBAL memory = 0;
    DWORD flag = 0;
    const char *text = (const char *)data;
    // Texts must end inside the record.
    int texts = size > 0 && data[size - 1] == '\0';
    switch (type) {
    case JOURNAL_COPY:
    case JOURNAL_CHANGE:
        if (texts && strlen(text) + 1 < size)  // two texts
            UndoFile(type, text, text + strlen(text) + 1);
        break;
    case JOURNAL_QUEUE_DELETED: {
        const void *saved = MoveBlock(data, size, sizeof(PRINTER_INFO_2A), kQueuePointers, &memory, &flag);
        if (saved)
            UndoQueue((const PRINTER_INFO_2A *)saved);
        break;
    }
    case JOURNAL_QUEUE_ADDED:
        UndoQueue(0);
        break;
    case JOURNAL_DRIVER_DELETED: {
        const void *saved = MoveBlock(data, size, sizeof(DRIVER_INFO_3A), kDriverPointers, &memory, &flag);
        if (saved)
            UndoDriver((const DRIVER_INFO_3A *)saved);
        break;
    }
    case JOURNAL_DRIVER_ADDED:
        UndoDriver(0);
        break;
    case JOURNAL_SERVICE_DELETED: {
        const void *saved = MoveBlock(data, size, sizeof(QUERY_SERVICE_CONFIGA), kServicePointers, &memory, &flag);
        if (saved)
            UndoService((const QUERY_SERVICE_CONFIGA *)saved, flag);
        break;
    }
    case JOURNAL_SERVICE_CREATED:
        UndoService(0, 0);
        break;
    case JOURNAL_INF_ADDED:
        // The media's path, then names, then the end of the names.
        if (size >= 2 && data[size - 1] == '\0' && data[size - 2] == '\0')
            UndoInf(text);
        break;
    }
    if (memory)
        GlobalFree(memory);
    else if (type == JOURNAL_QUEUE_DELETED || type == JOURNAL_DRIVER_DELETED || type == JOURNAL_SERVICE_DELETED)
        LogLine("undo: a record of the journal is damaged (type %d); its change is not undone", type);
}
