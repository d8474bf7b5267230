// What a quiet setup checks before its first change, so that a failure it
// could have known about never leaves a machine half installed.
#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "catalog/product_names.h"
#include "check/preflight.h"
#include "machine/kernel_service.h"
#include "machine/model_inf.h"
#include "machine/pending.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"

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
