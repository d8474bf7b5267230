#include "deploy/copy_dialog.h"

#include <commctrl.h>

#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "deploy/deploy.h"
#include "deploy/names.h"
#include "res/resource.h"

enum { COPY_TIMER = 2, COPY_DELAY_MS = 500, COPY_BLOCK = 1024, TITLE_CHARS = 32 };

// Kept by the dialog between its creation and the timer step.
struct CopyDialogState {
    const CopyJob *job;
    char source[PATH_CHARS];
    char destination[PATH_CHARS];
    int progressShift;  // keeps the bar's range within its 32-bit signed limit
};

static int PreparePaths(HWND dialog, CopyDialogState *context)
{
    const CopyJob *job = context->job;
    const FileEntry *entry = job->entry;
    char title[TITLE_CHARS];
    if (job->mode == COPY_INSTALL) {
        LoadMessage(IDS_COPY_INSTALL, title, sizeof title);
        SetWindowTextA(dialog, title);
        SetDlgItemTextA(dialog, IDC_FILE_NAME, entry->name);
        SetDlgItemTextA(dialog, IDC_COPY_FROM, entry->sourceFolder);
        SetDlgItemTextA(dialog, IDC_COPY_TO, job->targetFolder);
        return FormatText(context->source, PATH_CHARS, "%s%s", entry->sourceFolder, entry->name)
            && FormatText(context->destination, PATH_CHARS, "%s\\%s", job->targetFolder, entry->name);
    }
    char backupName[BACKUP_NAME_CHARS];
    LoadMessage(IDS_COPY_BACKUP, title, sizeof title);
    SetWindowTextA(dialog, title);
    if (!CopyText(backupName, sizeof backupName, entry->name)
        || !MakeBackupName(backupName, sizeof backupName))
        return 0;
    SetDlgItemTextA(dialog, IDC_FILE_NAME, entry->name);
    SetDlgItemTextA(dialog, IDC_COPY_FROM, job->targetFolder);
    SetDlgItemTextA(dialog, IDC_COPY_TO, backupName);
    if (!FormatText(context->source, PATH_CHARS, "%s\\%s", job->targetFolder, entry->name)
        || !FormatText(context->destination, PATH_CHARS, "%s\\%s", job->targetFolder, backupName))
        return 0;
    TargetExists(context->destination);  // a read-only earlier backup becomes writable
    return 1;
}

static void PrepareProgress(HWND dialog, CopyDialogState *context)
{
    HANDLE file = CreateFileA(context->source, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                              OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!known)
        return;
    ULONGLONG size = ((ULONGLONG)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    int shift = 0;
    while ((size >> shift) > 0x7FFFFFFF)
        shift++;
    context->progressShift = shift;
    HWND bar = GetDlgItem(dialog, IDC_COPY_PROGRESS);
    SendMessageA(bar, PBM_SETRANGE32, 0, (LPARAM)(size >> shift));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
}

static void Fail(HWND dialog, const CopyDialogState *context, UINT message, HANDLE source,
                 HANDLE destination)
{
    ShowMessageId(dialog, context->job->entry->name, message);
    CloseHandle(source);
    CloseHandle(destination);
    DeleteFileA(context->destination);
}

static int CopyFileBytes(HWND dialog, const CopyDialogState *context)
{
    const char *name = context->job->entry->name;
    HANDLE source = CreateFileA(context->source, GENERIC_READ, 0, 0, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, 0);
    if (source == INVALID_HANDLE_VALUE) {
        ShowMessageId(dialog, name, IDS_SOURCE_OPEN);
        return 0;
    }
    HANDLE destination = CreateFileA(context->destination, GENERIC_READ | GENERIC_WRITE, 0, 0,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (destination == INVALID_HANDLE_VALUE) {
        ShowMessageId(dialog, name, IDS_TARGET_CREATE);
        CloseHandle(source);
        return 0;
    }
    HWND bar = GetDlgItem(dialog, IDC_COPY_PROGRESS);
    BYTE buffer[COPY_BLOCK];
    ULONGLONG copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer, sizeof buffer, &got, 0)) {
            Fail(dialog, context, IDS_READ_FAILED, source, destination);
            return 0;
        }
        if (got == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(destination, buffer, got, &written, 0) || written != got) {
            Fail(dialog, context, IDS_WRITE_FAILED, source, destination);
            return 0;
        }
        copied += got;
        SendMessageA(bar, PBM_SETPOS, (WPARAM)(copied >> context->progressShift), 0);
    }
    CloseHandle(source);
    // Data a file system holds back can still fail to be written at closing.
    if (!CloseHandle(destination)) {
        ShowMessageId(dialog, name, IDS_WRITE_FAILED);
        DeleteFileA(context->destination);
        return 0;
    }
    return 1;
}

static INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        CopyDialogState *context = (CopyDialogState *)lParam;
        SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)context);
        if (!context || !context->job || !context->job->entry) {
            ShowMessageId(dialog, 0, IDS_INVALID_DATA);
            EndDialog(dialog, 0);
            return TRUE;
        }
        const CopyJob *job = context->job;
        if (job->mode != COPY_INSTALL && job->mode != COPY_BACKUP) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        if (!PreparePaths(dialog, context)) {
            ShowMessageId(dialog, job->entry->name, IDS_PATH_TOO_LONG);
            EndDialog(dialog, 0);
            return TRUE;
        }
        CenterWindow(dialog);
        PrepareProgress(dialog, context);
        SetTimer(dialog, COPY_TIMER, COPY_DELAY_MS, 0);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam != COPY_TIMER)
            return FALSE;
        KillTimer(dialog, COPY_TIMER);
        EndDialog(dialog, CopyFileBytes(dialog, (CopyDialogState *)GetWindowLongPtrA(dialog, DWLP_USER)));
        return TRUE;
    }
    return FALSE;
}

INT_PTR RunCopyDialog(HWND owner, const CopyJob *job)
{
    CopyDialogState context;
    ZeroMemory(&context, sizeof context);
    context.job = job;
    return DialogBoxParamA(g_setup.instance, MAKEINTRESOURCEA(IDD_COPY), owner, CopyDialogProc,
                           (LPARAM)&context);
}
