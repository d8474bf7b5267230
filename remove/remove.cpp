// Removal sequence: simple deletion (queue and driver registration) and
// complete deletion (also the driver files marked for removal).
#include <windows.h>

#include "base/paths.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "machine/folders.h"
#include "remove/purge.h"
#include "remove/remove.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"

enum { DELETION_CAPTION_CHARS = 128 };

// Deletes every marked entry from folder. File attributes are left as they
// are: a read-only or locked file is reported and the walk goes on. A quiet
// run takes a file already gone for what it wants.
static void DeleteMarkedFiles(HWND owner, const char *folder, const FileEntry *list)
{
    g_setup.targetFolder = folder;
    for (const FileEntry *entry = list; entry && entry->name; entry++) {
        char path[PATH_CHARS];
        // A cut path would name another file, so it counts as not deleted.
        int fits = FormatText(path, sizeof path, "%s\\%s", folder, entry->name);
        if (!entry->removeOnDeletion) {
            LogLine("skipped %s: not removed by a deletion", path);
            continue;
        }
        if (fits && DeleteFileA(path)) {
            LogLine("deleted %s", path);
            continue;
        }
        DWORD error = fits ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        if (g_setup.quiet && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            LogLine("already gone %s", path);
            continue;
        }
        LogLine("delete failed %s: error %lu", path, (unsigned long)error);
        ShowMessageId(owner, folder, IDS_FILE_NOT_DELETED);
    }
}

int RemovePrinter(HWND owner, int row, int complete)
{
    char title[CAPTION_CHARS];
    LoadMessage(IDS_DELETION_TITLE, title, sizeof title);
    if (g_setup.mainWindow)
        SetWindowTextA(g_setup.mainWindow, title);

    if (!GetTargetFolders()) {
        char caption[DELETION_CAPTION_CHARS];
        LoadMessage(IDS_DELETION_FAILURE, caption, sizeof caption);
        ShowMessageId(owner, caption, IDS_NO_FOLDERS);
        return 0;
    }
    LogLine("folders: system %s, printer drivers %s", g_setup.systemFolder, g_setup.driverFolder);
    char dataPath[PATH_CHARS];
    dataPath[0] = '\0';
    // A purge, and a quiet complete deletion, go on from any state: a queue
    // or driver that is not there (an earlier deletion, say) is reported as
    // ever, then the rest goes.
    int purge = complete && g_setup.request.purge;
    int queue = DeletePrinterQueue(owner, dataPath, row);
    // A quiet one goes on only past a queue that is not there, never past one that stays.
    int onward = purge || (complete && g_setup.quiet && queue < 0);
    int done = queue > 0;
    if (!done && !onward)
        return 0;
    // The spooler names the files of its copies only while the driver is registered.
    ModelDriverFiles ours = { 0, 0 };
    if (purge)
        ReadModelDriverFiles(&ours);
    done = DeleteDriver(owner, complete, dataPath) && done;
    if (purge) {
        // Its own walk deletes the driver files too, without reporting those already gone.
        PurgeLeftovers(owner, row, &ours);
    } else if ((done || onward) && complete) {
        const PlatformEntry *platform = &g_platforms[row];
        DeleteMarkedFiles(owner, g_setup.systemFolder, platform->systemFiles);
        DeleteMarkedFiles(owner, g_setup.driverFolder, platform->driverFiles);
    }
    ReleaseModelDriverFiles(&ours);
    if (done)
        LogLine("%s done", complete ? "complete deletion" : "simple deletion");
    else if (onward)
        LogLine(purge ? "purge done" : "complete deletion done from what was left");
    return done;
}
