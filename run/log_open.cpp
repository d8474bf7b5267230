// Where the run's log goes, and what a run does when it cannot be opened.
#include <string.h>

#include "base/paths.h"
#include "base/state_folder.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/log_file.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"

static const char kDefaultLogName[] = "TarvSetup.log";

// The default log: in a folder only administrators can write on the NT
// family; Windows 9x has no such folder, and keeps TEMP.
static int DefaultLogPath(char *path, size_t size, DWORD *error)
{
    DWORD length;
    *error = ERROR_FILENAME_EXCED_RANGE;
    if (RunsOnNtFamily()) {
        if (!GetStateFolder(path, size, 1)) {
            *error = GetLastError();
            return 0;
        }
        length = (DWORD)strlen(path);
    } else {
        length = GetTempPathA((DWORD)size, path);
        if (length == 0) {
            *error = GetLastError();
            return 0;
        }
    }
    if (length >= size)
        return 0;
    return FormatText(path + length, size - length, "%s%s", PathSeparatorAfter(path, IsLeadByte), kDefaultLogName);
}

// The full path of the log; a relative path counts from the working folder at
// start, which the run has not changed yet.
static int ResolveLogPath(char *path, size_t size, DWORD *error)
{
    const LogSwitch *asked = &g_setup.request.log;
    *error = ERROR_FILENAME_EXCED_RANGE;
    if (asked->pathTooLong)
        return 0;
    if (!asked->given)
        return DefaultLogPath(path, size, error);
    char *name = 0;
    DWORD length = GetFullPathNameA(asked->path, (DWORD)size, path, &name);
    if (length == 0)
        *error = GetLastError();
    return length != 0 && length < size;
}

int OpenRunLog(HWND owner)
{
    RunLog *log = &g_setup.log;
    const LogSwitch *asked = &g_setup.request.log;
    if (!g_setup.quiet && !asked->given && !asked->pathTooLong)
        return 1;
    DWORD error = 0;
    if (ResolveLogPath(log->path, sizeof log->path, &error)) {
        // A given path may lie in that folder too (the package's default):
        // it exists before the open. The default path made it already.
        char folder[PATH_CHARS];
        if (asked->given && RunsOnNtFamily())
            GetStateFolder(folder, sizeof folder, 1);
        int inTheWay;
        HANDLE file = OpenLogFile(log->path, &log->seekToEnd, log->movedAside, &inTheWay);
        // A quiet run whose log is there but can be neither appended to nor
        // moved aside (on a share, say) logs to its default log instead.
        if (file == INVALID_HANDLE_VALUE && inTheWay && g_setup.quiet && asked->given) {
            log->refusedError = GetLastError();
            CopyText(log->refused, sizeof log->refused, log->path);
            if (DefaultLogPath(log->path, sizeof log->path, &error))
                file = OpenLogFile(log->path, &log->seekToEnd, log->movedAside, &inTheWay);
            else
                SetLastError(error);
        }
        if (file != INVALID_HANDLE_VALUE) {
            log->file = file;
            return 1;
        }
        error = GetLastError();
    } else {
        CopyText(log->path, sizeof log->path, asked->path);  // its full path is unknown
    }
    if (g_setup.quiet) {
        SetQuietExit(QUIET_EXIT_FAILED);
        return 0;
    }
    ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_LOG_NOT_OPENED, log->path, (unsigned long)error);
    return 1;
}
