#include "deploy/deploy.h"

#include "base/paths.h"
#include "base/text.h"
#include "catalog/names.h"
#include "deploy/copy_dialog.h"
#include "deploy/replace_dialog.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

// Enters the source root below the working folder. From the second entry on
// the folder named this way normally does not exist, so the working folder
// stays at the source root. A path that does not fit is refused, never cut.
static int EnterSourceRoot()
{
    char folder[PATH_CHARS];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder || !AppendSourceRoot(folder, sizeof folder))
        return 0;
    SetCurrentDirectoryA(folder);
    return 1;
}

// The user decides whether the setup goes on without this file.
static int AskAfterFailedCopy(HWND owner, const FileEntry *entry)
{
    return AskMessage(owner, entry->name, IDS_COPY_FAILED);
}

// A quiet run copies at once, without the dialog and its pause.
static INT_PTR Copy(HWND owner, const CopyJob *job)
{
    return g_setup.quiet ? CopyWithoutDialog(job) : RunCopyDialog(owner, job);
}

static int ReplaceTarget(HWND owner, const FileEntry *entry, const char *destination)
{
    if (TargetExists(destination)) {
        CopyJob backup = { COPY_BACKUP, entry, g_setup.targetFolder };
        // A backup dialog that could not even be shown made no backup either.
        if (Copy(owner, &backup) != 1 && !AskMessage(owner, entry->name, IDS_BACKUP_FAILED))
            return 0;
    }
    CopyJob install = { COPY_INSTALL, entry, g_setup.targetFolder };
    if (Copy(owner, &install) != 1)
        return AskAfterFailedCopy(owner, entry);
    return 1;
}

// The replace question: 1 replace, 0 keep, -1 the facts of a file cannot be
// read. A quiet run takes the entry's default answer, once it knows the facts
// the question would have shown.
static INT_PTR AskToReplace(HWND owner, const FileEntry *entry)
{
    if (!g_setup.quiet)
        return RunReplaceDialog(owner, entry);
    char existing[PATH_CHARS];
    char offered[PATH_CHARS];
    BY_HANDLE_FILE_INFORMATION info;
    if (!FormatText(existing, sizeof existing, "%s\\%s", g_setup.targetFolder, entry->name)
        || !FormatText(offered, sizeof offered, "%s%s", entry->sourceFolder, entry->name)
        || !ReadFileFacts(existing, &info) || !ReadFileFacts(offered, &info))
        return -1;
    return entry->defaultAnswer == 1 ? 1 : 0;
}

// A quiet setup keeps the target and its backup for the undo before either
// changes (even a read-only bit); 1 when there is no journal.
static int KeepForUndo(const FileEntry *entry, const char *destination)
{
    char backup[BACKUP_NAME_CHARS];
    char backupPath[PATH_CHARS];
    if (!g_setup.journal.file)
        return 1;
    // Only a file that is there gets a backup: without one, the .bku stays as it is.
    int present = GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES;
    if (CopyText(backup, sizeof backup, entry->name) && MakeBackupName(backup, sizeof backup)
        && FormatText(backupPath, sizeof backupPath, "%s\\%s", g_setup.targetFolder, backup)
        && JournalSaveFile(destination) && (!present || JournalSaveFile(backupPath)))
        return 1;
    SetQuietExit(QUIET_EXIT_FAILED);
    return 0;
}

int DeployFileEntry(HWND owner, const FileEntry *entry)
{
    char destination[PATH_CHARS];
    if (!EnterSourceRoot()
        || !FormatText(destination, sizeof destination, "%s\\%s", g_setup.targetFolder, entry->name)) {
        LogLine("copy failed for %s: a path does not fit", entry->name);
        ShowMessageId(owner, entry->name, IDS_PATH_TOO_LONG);
        return AskAfterFailedCopy(owner, entry);
    }
    if (!KeepForUndo(entry, destination))
        return 0;
    if (TargetExists(destination)) {
        switch (entry->replacePolicy) {
        case REPLACE_ALWAYS:
            break;
        case REPLACE_ASK: {
            INT_PTR answer = AskToReplace(owner, entry);
            if (answer == -1) {
                LogLine("kept %s: the facts of a file cannot be read", destination);
                ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_FACTS_UNKNOWN, entry->name);
                return 1;
            }
            LogLine("replace question for %s: %s %s%s", destination, g_setup.quiet ? "answered" : "shown, answer",
                    answer == 1 ? "Yes" : "No", g_setup.quiet ? " (the entry's default answer)" : "");
            if (answer != 1) {
                LogLine("kept %s", destination);
                return 1;
            }
            break;
        }
        default:  // REPLACE_NEVER; an unknown policy keeps the file as well
            LogLine("kept %s: it is never replaced", destination);
            return 1;
        }
    }
    return ReplaceTarget(owner, entry, destination);
}

int DeployFileList(HWND owner, const FileEntry *list)
{
    for (; list && list->name && !SetupStopped(); list++)
        if (!DeployFileEntry(owner, list))
            StopSetup();
    return !SetupStopped();
}

int DeployCommonFiles(HWND owner, int row)
{
    g_setup.targetFolder = g_setup.systemFolder;
    return DeployFileList(owner, GetCommonFiles(row));
}
