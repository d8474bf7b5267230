#include "deploy/file_copy.h"

#include "base/paths.h"
#include "base/text.h"
#include "catalog/names.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"

int TargetExists(const char *path)
{
    HANDLE file = CreateFileA(path, 0, 0, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION)
        return 0;
    // Only the read-only bit goes; attributes that cannot be read stay untouched.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 1;
}

enum { COPY_BLOCK = 1024 };

int BuildCopyPaths(const CopyJob *job, CopyPaths *paths)
{
    const FileEntry *entry = job->entry;
    if (job->mode == COPY_INSTALL)
        return FormatText(paths->source, sizeof paths->source, "%s%s", entry->sourceFolder, entry->name)
            && FormatText(paths->destination, sizeof paths->destination, "%s\\%s", job->targetFolder, entry->name);
    char backupName[BACKUP_NAME_CHARS];
    if (!CopyText(backupName, sizeof backupName, entry->name) || !MakeBackupName(backupName, sizeof backupName)
        || !FormatText(paths->source, sizeof paths->source, "%s\\%s", job->targetFolder, entry->name)
        || !FormatText(paths->destination, sizeof paths->destination, "%s\\%s", job->targetFolder, backupName))
        return 0;
    TargetExists(paths->destination);  // a read-only earlier backup becomes writable
    return 1;
}

static const char *StepName(const CopyJob *job)
{
    return job->mode == COPY_INSTALL ? "copy" : "backup";
}

static void LogFailure(const CopyJob *job, const CopyPaths *paths, UINT message, DWORD error)
{
    char buffer[PATH_CHARS];
    LogLine("%s failed %s -> %s: error %lu (message %u)", StepName(job),
            LogPath(paths->source, buffer, sizeof buffer), paths->destination, (unsigned long)error, message);
}

static void Fail(HWND owner, const CopyJob *job, const CopyPaths *paths, UINT message, HANDLE source,
                 HANDLE destination)
{
    LogFailure(job, paths, message, GetLastError());
    ShowMessageId(owner, job->entry->name, message);
    CloseHandle(source);
    CloseHandle(destination);
    DeleteFileA(paths->destination);
}

int CopyFileBlocks(HWND owner, const CopyJob *job, const CopyPaths *paths, CopyProgress progress, void *context)
{
    const char *name = job->entry->name;
    HANDLE source = CreateFileA(paths->source, GENERIC_READ, 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (source == INVALID_HANDLE_VALUE) {
        LogFailure(job, paths, IDS_SOURCE_OPEN, GetLastError());
        ShowMessageId(owner, name, IDS_SOURCE_OPEN);
        return 0;
    }
    HANDLE destination = CreateFileA(paths->destination, GENERIC_READ | GENERIC_WRITE, 0, 0, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, 0);
    if (destination == INVALID_HANDLE_VALUE) {
        LogFailure(job, paths, IDS_TARGET_CREATE, GetLastError());
        ShowMessageId(owner, name, IDS_TARGET_CREATE);
        CloseHandle(source);
        return 0;
    }
    BYTE buffer[COPY_BLOCK];
    ULONGLONG copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer, sizeof buffer, &got, 0)) {
            Fail(owner, job, paths, IDS_READ_FAILED, source, destination);
            return 0;
        }
        if (got == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(destination, buffer, got, &written, 0) || written != got) {
            Fail(owner, job, paths, IDS_WRITE_FAILED, source, destination);
            return 0;
        }
        copied += got;
        if (progress)
            progress(context, copied);
    }
    CloseHandle(source);
    // Data a file system holds back can still fail to be written at closing.
    if (!CloseHandle(destination)) {
        LogFailure(job, paths, IDS_WRITE_FAILED, GetLastError());
        ShowMessageId(owner, name, IDS_WRITE_FAILED);
        DeleteFileA(paths->destination);
        return 0;
    }
    char shown[PATH_CHARS];
    LogLine("%s %s -> %s: %lu bytes", StepName(job), LogPath(paths->source, shown, sizeof shown),
            paths->destination, (unsigned long)copied);
    return 1;
}

INT_PTR CopyWithoutDialog(const CopyJob *job)
{
    CopyPaths paths;
    if (!BuildCopyPaths(job, &paths)) {
        LogLine("%s failed for %s: a path does not fit", StepName(job), job->entry->name);
        ShowMessageId(0, job->entry->name, IDS_PATH_TOO_LONG);
        return 0;
    }
    return CopyFileBlocks(0, job, &paths, 0, 0);
}
