// What a quiet setup checks before its first change, so that a failure it
// could have known about never leaves a machine half installed.
#include <windows.h>

#include <string.h>

#include "app/log.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/system_dlls.h"
#include "app/text.h"
#include "app/unattended.h"
#include "catalog/catalog.h"
#include "deploy/names.h"
#include "install/install.h"
#include "install/model_inf.h"
#include "remove/purge_names.h"

static const char kPendingKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

static int Refuse(const char *what, const char *path, DWORD error)
{
    LogLine("check before changes failed: %s %s, error %lu; nothing was changed", what, path, (unsigned long)error);
    SetQuietExit(QUIET_EXIT_FAILED);
    return 0;
}

static int Readable(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) {
        char shown[PATH_CHARS];
        return Refuse("cannot read", LogPath(path, shown, sizeof shown), GetLastError());
    }
    CloseHandle(file);
    return 1;
}

// An existing file the setup will overwrite: nobody else may hold it, and
// this run may write and delete it (a read-only one is made writable first).
static int Replaceable(const char *path, int mayBeHeld)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 1;
    DWORD access = attributes & FILE_ATTRIBUTE_READONLY ? FILE_WRITE_ATTRIBUTES : GENERIC_WRITE | DELETE;
    HANDLE file = CreateFileA(path, access, 0, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) {
        if (mayBeHeld && GetLastError() == ERROR_SHARING_VIOLATION)
            return 1;
        return Refuse("cannot replace", path, GetLastError());
    }
    CloseHandle(file);
    return 1;
}

static int FolderWritable(const char *folder)
{
    char probe[PATH_CHARS];
    if (!GetTempFileNameA(folder, "trv", 0, probe))
        return Refuse("cannot write in", folder, GetLastError());
    DeleteFileA(probe);
    return 1;
}

int MediaFilePath(char *path, size_t size, const char *sourceFolder, const char *name)
{
    return FormatText(path, size, "%s\\%s%s", SOURCE_ROOT_NAME, sourceFolder, name);
}

// The sources of a list on the media, and the targets (with their backups)
// the setup will replace in folder.
static int CheckList(const FileEntry *list, const char *folder)
{
    for (; list && list->name; list++) {
        char source[PATH_CHARS], target[PATH_CHARS], backup[BACKUP_NAME_CHARS], backupPath[PATH_CHARS];
        if (!MediaFilePath(source, sizeof source, list->sourceFolder, list->name)
            || !FormatText(target, sizeof target, "%s\\%s", folder, list->name)
            || !CopyText(backup, sizeof backup, list->name) || !MakeBackupName(backup, sizeof backup)
            || !FormatText(backupPath, sizeof backupPath, "%s\\%s", folder, backup))
            return Refuse("path does not fit:", list->name, ERROR_FILENAME_EXCED_RANGE);
        int replaced = list->replacePolicy == REPLACE_ALWAYS
                       || (list->replacePolicy == REPLACE_ASK && list->defaultAnswer == 1);
        if (!Readable(source) || (replaced && (!Replaceable(target, 0) || !Replaceable(backupPath, 0))))
            return 0;
    }
    return 1;
}

// 1 when path, as a pending rename names it ("\\??\\C:\\...", "!\\??\\C:\\..."),
// is a file this setup writes: a file of the product in the printer-driver
// folder (or one of its version folders) or in the system folder.
static int IsTarget(const char *path)
{
    if (path[0] == '!')
        path++;
    if (StartsWithIgnoringAsciiCase(path, "\\??\\"))
        path += 4;
    return IsProductFileName(PathFileName(path, IsLeadByte))
           && (StartsWithFolder(path, g_setup.driverFolder) || StartsWithFolder(path, g_setup.systemFolder));
}

int PendingProductFile(char *found, size_t size)
{
    found[0] = '\0';
    if (!RunsOnNtFamily())
        return 0;  // Windows 9x keeps them in WININIT.INI, and no run of ours writes them there
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPendingKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    DWORD bytes = 0, type = 0;
    int pending = 0;
    LONG status = RegQueryValueExA(key, "PendingFileRenameOperations", 0, &type, 0, &bytes);
    // Zeros after the value: its last text ends inside the block whatever it holds.
    char *names = status == ERROR_SUCCESS && bytes ? (char *)GlobalAlloc(GPTR, bytes + 2) : 0;
    if (status == ERROR_SUCCESS && bytes && !names)
        status = ERROR_NOT_ENOUGH_MEMORY;
    // A list that cannot be read (it grew between the two reads, say) may hold anything.
    if (names)
        status = RegQueryValueExA(key, "PendingFileRenameOperations", 0, &type, (BYTE *)names, &bytes);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        SetLastError((DWORD)status);
        pending = -1;
    }
    // Pairs of a source and a destination, the destination empty for a
    // deletion: every text counts, the empty ones do not end the list.
    for (const char *name = names; names && !pending && name < names + bytes; name += strlen(name) + 1)
        if (*name && IsTarget(name)) {
            CopyText(found, size, name);
            pending = 1;
        }
    if (names)
        GlobalFree(names);
    RegCloseKey(key);
    return pending;
}

// A deletion or rename due at the next restart would undo this setup's work.
static int NothingPending()
{
    char found[PATH_CHARS];
    int pending = PendingProductFile(found, sizeof found);
    if (pending < 0)
        return Refuse("cannot read", "the renames due at the next restart", GetLastError());
    if (pending) {
        LogLine("check before changes failed: %s is due to be renamed or deleted at the next restart; "
                "restart the computer first; nothing was changed", found);
        SetQuietExit(QUIET_EXIT_FAILED);
    }
    return !pending;
}

// A running hwbridge holds its file, and the setup stops it before the
// copy. A hwbridge service of another product is not ours to replace: the
// undo could bring back only ours.
static int KernelChecks(char *driverPath, size_t size)
{
    if (!BuildKernelDriverPath(driverPath, size))
        return Refuse("no path for", "the kernel driver", GetLastError());
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return Refuse("cannot open", "the service manager", GetLastError());
    SC_HANDLE service = OpenServiceA(manager, KERNEL_SERVICE_NAME, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    SERVICE_STATUS status;
    char binary[PATH_CHARS];
    int ours = service ? ServiceRunsFile(service, driverPath, binary, sizeof binary, 0) : 1;
    DWORD error = GetLastError();
    int running = service && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (ours < 0)
        return Refuse("cannot read", "the configuration of the service hwbridge", error);
    if (!ours) {
        LogLine("check before changes failed: the service %s runs %s, not %s; nothing was changed",
                KERNEL_SERVICE_NAME, binary, driverPath);
        SetQuietExit(QUIET_EXIT_FAILED);
        return 0;
    }
    char folder[PATH_CHARS], source[PATH_CHARS];
    PathFolder(folder, sizeof folder, driverPath, IsLeadByte);
    MediaFilePath(source, sizeof source, KERNEL_DRIVER_SOURCE, "");
    return Readable(source) && FolderWritable(folder) && Replaceable(driverPath, running);
}

int CheckBeforeChanges(int row, int complete)
{
    const PlatformEntry *platform = &g_platforms[row];
    char driverPath[PATH_CHARS], inf[PATH_CHARS];
    if (complete) {
        if (!FolderWritable(g_setup.driverFolder) || !FolderWritable(g_setup.systemFolder)
            || !CheckList(platform->systemFiles, g_setup.systemFolder)
            || !CheckList(platform->driverFiles, g_setup.driverFolder)
            || !CheckList(GetCommonFiles(row), g_setup.systemFolder))
            return 0;
        if (g_setup.copyOemInf && platform->driverFiles && platform->driverFiles->name) {
            if (!ModelInfMediaPath(row, inf, sizeof inf, 0))
                return Refuse("path does not fit:", "the INF", ERROR_FILENAME_EXCED_RANGE);
            if (!Readable(inf))
                return 0;
        }
        if (!IsNineXFamily(row) && !KernelChecks(driverPath, sizeof driverPath))
            return 0;
    }
    if (!NothingPending())
        return 0;
    LogLine("checks before changes passed");
    return 1;
}
