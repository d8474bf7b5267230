#include "deploy/deploy.h"

#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "deploy/copy_dialog.h"
#include "deploy/names.h"
#include "deploy/replace_dialog.h"
#include "res/resource.h"

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

static int ReplaceTarget(HWND owner, const FileEntry *entry, const char *destination)
{
    if (TargetExists(destination)) {
        CopyJob backup = { COPY_BACKUP, entry, g_setup.targetFolder };
        // A backup dialog that could not even be shown made no backup either.
        if (RunCopyDialog(owner, &backup) != 1 && !AskMessage(owner, entry->name, IDS_BACKUP_FAILED))
            return 0;
    }
    CopyJob install = { COPY_INSTALL, entry, g_setup.targetFolder };
    if (RunCopyDialog(owner, &install) != 1)
        return AskAfterFailedCopy(owner, entry);
    return 1;
}

int DeployFileEntry(HWND owner, const FileEntry *entry)
{
    char destination[PATH_CHARS];
    if (!EnterSourceRoot()
        || !FormatText(destination, sizeof destination, "%s\\%s", g_setup.targetFolder, entry->name)) {
        ShowMessageId(owner, entry->name, IDS_PATH_TOO_LONG);
        return AskAfterFailedCopy(owner, entry);
    }
    if (TargetExists(destination)) {
        switch (entry->replacePolicy) {
        case REPLACE_ALWAYS:
            break;
        case REPLACE_ASK: {
            INT_PTR answer = RunReplaceDialog(owner, entry);
            if (answer == -1) {
                ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_FACTS_UNKNOWN, entry->name);
                return 1;
            }
            if (answer != 1)
                return 1;
            break;
        }
        default:  // REPLACE_NEVER; an unknown policy keeps the file as well
            return 1;
        }
    }
    return ReplaceTarget(owner, entry, destination);
}

int DeployFileList(HWND owner, const FileEntry *list)
{
    for (; list && list->name; list++)
        if (!DeployFileEntry(owner, list))
            return 0;
    return 1;
}

int DeployCommonFiles(HWND owner, int row)
{
    g_setup.targetFolder = g_setup.systemFolder;
    return DeployFileList(owner, GetCommonFiles(row));
}
