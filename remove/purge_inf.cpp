// The purge of the INF that the setup library registered for the model,
// found by its content (install/model_inf.cpp).
#include <windows.h>

#include <string.h>

#include "app/log.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "app/unattended.h"
#include "catalog/catalog.h"
#include "install/model_inf.h"
#include "remove/purge_run.h"

typedef BOOL (WINAPI *UninstallOemInfProc)(PCSTR, DWORD, PVOID);

// The precompiled form the setup library keeps beside an INF.
static void PurgePrecompiled(PurgeRun *run, const char *infPath)
{
    char path[PATH_CHARS];
    size_t length = strlen(infPath);
    if (length > 4 && CopyText(path, sizeof path, infPath)) {
        memcpy(path + length - 4, ".pnf", 4);
        PurgeFile(run, path);
    }
}

static void PurgeOneInf(void *context, const char *folder, const char *name)
{
    PurgeRun *run = (PurgeRun *)context;
    char path[PATH_CHARS];
    if (!FormatText(path, sizeof path, "%s\\%s", folder, name))
        return;
    UninstallOemInfProc uninstall = g_setup.setupLibrary
        ? (UninstallOemInfProc)(void *)GetProcAddress(g_setup.setupLibrary, "SetupUninstallOEMInfA") : 0;
    if (uninstall) {
        if (!uninstall(name, 0, 0)) {
            // Devices still use it, say: the library decides, and the INF stays.
            LogLine("setup library: SetupUninstallOEMInfA %s: failed, error %lu; the INF is kept", name,
                    (unsigned long)GetLastError());
            SetQuietExit(QUIET_EXIT_FAILED);
            return;
        }
        LogLine("setup library: SetupUninstallOEMInfA %s: ok", name);
    } else {
        LogLine("setup library: SetupUninstallOEMInfA not available");
    }
    // What counts is whether the files are gone.
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        PurgeFile(run, path);
    else
        LogLine("purged %s (by the setup library)", path);
    PurgePrecompiled(run, path);
}

void PurgeRegisteredInf(PurgeRun *run, int row)
{
    const FileEntry *first = g_platforms[row].driverFiles;
    char relative[PATH_CHARS];
    char media[PATH_CHARS];
    char shown[PATH_CHARS];
    // The media's INF, below the working folder of the start.
    if (!first || !first->name || !FormatText(relative, sizeof relative, MODEL_INF_FORMAT, first->sourceFolder)
        || !FormatText(media, sizeof media, "%s\\%s", SOURCE_ROOT_NAME, relative)) {
        LogLine("no INF of this model looked for: its path on the media does not fit");
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    int found = FindModelInfs(LogPath(media, shown, sizeof shown), PurgeOneInf, run);
    if (found < 0)
        SetQuietExit(QUIET_EXIT_FAILED);  // an INF of ours may be left
    else if (found == 0)
        LogLine("no INF of this model in the INF folder");
}
