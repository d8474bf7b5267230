#include "deploy/copy_dialog.h"

#include <commctrl.h>
#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "res/resource.h"
#include "run/messages.h"
#include "run/state.h"

enum { COPY_TIMER = 2, COPY_DELAY_MS = 500, TITLE_CHARS = 32 };

// Kept by the dialog between its creation and the timer step.
struct CopyDialogState {
    const CopyJob *job;
    CopyPaths paths;
    HWND bar;
    int progressShift;  // keeps the bar's range within its 32-bit signed limit
};

static int PreparePaths(HWND dialog, CopyDialogState *context)
{
    const CopyJob *job = context->job;
    const FileEntry *entry = job->entry;
    char title[TITLE_CHARS];
    LoadMessage(job->mode == COPY_INSTALL ? IDS_COPY_INSTALL : IDS_COPY_BACKUP, title, sizeof title);
    SetWindowTextA(dialog, title);
    SetDlgItemTextA(dialog, IDC_FILE_NAME, entry->name);
    if (job->mode == COPY_INSTALL) {
        SetDlgItemTextA(dialog, IDC_COPY_FROM, entry->sourceFolder);
        SetDlgItemTextA(dialog, IDC_COPY_TO, job->targetFolder);
        return BuildCopyPaths(job, &context->paths);
    }
    SetDlgItemTextA(dialog, IDC_COPY_FROM, job->targetFolder);
    if (!BuildCopyPaths(job, &context->paths))
        return 0;
    SetDlgItemTextA(dialog, IDC_COPY_TO, PathFileName(context->paths.destination, IsLeadByte));
    return 1;
}

static void PrepareProgress(HWND dialog, CopyDialogState *context)
{
    context->bar = GetDlgItem(dialog, IDC_COPY_PROGRESS);
    HANDLE file = CreateFileA(context->paths.source, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
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
    SendMessageA(context->bar, PBM_SETRANGE32, 0, (LPARAM)(size >> shift));
    SendMessageA(context->bar, PBM_SETSTEP, 1, 0);
    SendMessageA(context->bar, PBM_SETPOS, 0, 0);
}

static void ShowProgress(void *state, ULONGLONG copied)
{
    const CopyDialogState *context = (const CopyDialogState *)state;
    SendMessageA(context->bar, PBM_SETPOS, (WPARAM)(copied >> context->progressShift), 0);
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
    case WM_TIMER: {
        if (wParam != COPY_TIMER)
            return FALSE;
        KillTimer(dialog, COPY_TIMER);
        CopyDialogState *context = (CopyDialogState *)GetWindowLongPtrA(dialog, DWLP_USER);
        EndDialog(dialog, CopyFileBlocks(dialog, context->job, &context->paths, ShowProgress, context));
        return TRUE;
    }
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
