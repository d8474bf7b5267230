// The purge of the INF that the setup library registered for the model,
// found by its content (machine/model_inf.cpp).
#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "machine/model_inf.h"
#include "remove/purge_run.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"

static void PurgeOneInf(void *context, const char *folder, const char *name)
{
    PurgeRun *run = (PurgeRun *)context;
    char path[PATH_CHARS];
    if (!FormatText(path, sizeof path, "%s\\%s", folder, name))
        return;
    int uninstalled = UninstallOemInf(name);
    if (!uninstalled) {
        // Devices still use it, say: the library decides, and the INF stays.
        LogLine("setup library: SetupUninstallOEMInfA %s: failed, error %lu; the INF is kept", name,
                (unsigned long)GetLastError());
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    LogLine(uninstalled > 0 ? "setup library: SetupUninstallOEMInfA %s: ok"
                            : "setup library: SetupUninstallOEMInfA not available (%s)", name);
    // What counts is whether the files are gone.
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        PurgeFile(run, path);
    else
        LogLine("purged %s (by the setup library)", path);
    if (PrecompiledInfPath(path, sizeof path))
        PurgeFile(run, path);
}

void PurgeRegisteredInf(PurgeRun *run, int row)
{
    char media[PATH_CHARS];
    char shown[PATH_CHARS];
    if (!ModelInfMediaPath(row, media, sizeof media, 0)) {
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
