// One file of the purge: kept when another driver lists its name, deleted,
// or, in use, deleted at the next restart.
#include <windows.h>
#include <winspool.h>

#include <string.h>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "base/unique_name.h"
#include "remove/purge_run.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/unattended.h"

// The other driver whose files include one of this name, or null.
static const char *ListingDriver(const PurgeRun *run, const char *name)
{
    for (DWORD i = 0; i < run->otherCount; i++) {
        const DRIVER_INFO_3A *driver = &run->others[i];
        const char *files[] = { driver->pDriverPath, driver->pDataFile, driver->pConfigFile, driver->pHelpFile };
        for (size_t f = 0; f < sizeof files / sizeof files[0]; f++)
            if (files[f] && SameTextIgnoringAsciiCase(PathFileName(files[f], IsLeadByte), name))
                return driver->pName;
        for (const char *file = driver->pDependentFiles; file && *file; file += strlen(file) + 1)
            if (SameTextIgnoringAsciiCase(PathFileName(file, IsLeadByte), name))
                return driver->pName;
    }
    return 0;
}

// Marks path for deletion at the next restart (NT family only); 1 when done.
// aside receives (PATH_CHARS) the name it was renamed to first, or "".
static int DeleteAtRestart(const char *path, char *aside)
{
    aside[0] = '\0';
    if (!RunsOnNtFamily())
        return 0;
    // Renamed first, so that the restart deletes this file and never a later
    // setup's file of the same name; where the rename fails, the name itself.
    if (UniqueNameBeside(path, aside) && MoveFileExA(path, aside, 0)) {
        if (MoveFileExA(aside, 0, MOVEFILE_DELAY_UNTIL_REBOOT))
            return 1;
        MoveFileExA(aside, path, 0);
    }
    aside[0] = '\0';
    return MoveFileExA(path, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void PurgeFile(PurgeRun *run, const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    DWORD error = GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
        return;
    const char *name = PathFileName(path, IsLeadByte);
    const char *other = ListingDriver(run, name);
    if (run->othersUnknown) {
        LogLine("kept %s: another driver may list it", path);
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    if (other) {
        LogLine("kept %s: driver \"%s\" lists a file of that name", path, other);
        return;
    }
    if (DeleteFileA(path)) {
        LogLine("purged %s", path);
        return;
    }
    error = GetLastError();
    // As in the complete deletion, a read-only file is not made writable: it
    // is reported. A file in use goes at the next restart.
    int inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                || (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
                    && !(attributes & FILE_ATTRIBUTE_READONLY));
    char aside[PATH_CHARS];
    if (inUse && DeleteAtRestart(path, aside)) {
        LogLine("scheduled %s for deletion at the next restart: in use, error %lu%s%s", path, (unsigned long)error,
                aside[0] ? "; renamed to " : "", aside);
        run->restartNeeded = 1;
        return;
    }
    LogLine("purge failed %s: error %lu", path, (unsigned long)error);
    // The caption is the file's folder.
    char folder[PATH_CHARS];
    PathFolder(folder, sizeof folder, path, IsLeadByte);
    ShowMessageId(run->owner, folder, IDS_FILE_NOT_DELETED);
}
