#include "deploy/replace_dialog.h"

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "catalog/names.h"
#include "res/resource.h"
#include "run/messages.h"
#include "run/state.h"

enum { CLASS_NAME_CHARS = 256, MAX_TAB_STOPS = 256, DEFAULT_BIT = BS_DEFPUSHBUTTON };

int ReadFileFacts(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BOOL known = GetFileInformationByHandle(file, info);
    CloseHandle(file);
    return known != 0;
}

int ShowFileFacts(HWND dialog, const char *path, int sizeItem, int timeItem)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!ReadFileFacts(path, &info))
        return 0;

    char text[FACT_CHARS];
    FormatFileSize(text, sizeof text, info.nFileSizeLow);
    SetDlgItemTextA(dialog, sizeItem, text);

    // A failed conversion leaves zeros rather than stopping the question.
    FILETIME local;
    SYSTEMTIME time;
    ZeroMemory(&local, sizeof local);
    ZeroMemory(&time, sizeof time);
    FileTimeToLocalFileTime(&info.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &time);
    FormatFileTime(text, sizeof text, time.wDay, time.wMonth, time.wYear, time.wHour,
                   time.wMinute, time.wSecond);
    SetDlgItemTextA(dialog, timeItem, text);
    return 1;
}

static void SetButtonStyle(HWND control, LONG style)
{
    SendMessageA(control, BM_SETSTYLE, (WPARAM)(style & 0xFFFF), TRUE);
}

void ClearDefaultButtons(HWND dialog)
{
    HWND first = GetNextDlgTabItem(dialog, 0, FALSE);
    HWND control = first;
    // The bound guards against a tab order that never comes back to its start.
    for (int visited = 0; control && visited < MAX_TAB_STOPS; visited++) {
        char className[CLASS_NAME_CHARS];
        if (GetClassNameA(control, className, sizeof className) > 0) {
            UpperCaseAscii(className);
            LONG style = GetWindowLongA(control, GWL_STYLE);
            if (strcmp(className, "BUTTON") == 0 && (style & 0x0F) == DEFAULT_BIT)
                SetButtonStyle(control, style & ~(LONG)DEFAULT_BIT);
        }
        control = GetNextDlgTabItem(dialog, control, FALSE);
        if (control == first)
            break;
    }
}

void SetDefaultButton(HWND dialog, int id)
{
    ClearDefaultButtons(dialog);
    HWND control = GetDlgItem(dialog, id);
    if (control)
        SetButtonStyle(control, GetWindowLongA(control, GWL_STYLE) | DEFAULT_BIT);
}

static INT_PTR InitReplaceDialog(HWND dialog, const FileEntry *entry)
{
    if (!entry) {
        EndDialog(dialog, -1);
        return TRUE;
    }
    SetDlgItemTextA(dialog, IDC_FILE_NAME, entry->name);
    char path[PATH_CHARS];
    if (!FormatText(path, sizeof path, "%s\\%s", g_setup.targetFolder, entry->name)
        || !ShowFileFacts(dialog, path, IDC_OLD_SIZE, IDC_OLD_TIME)
        || !FormatText(path, sizeof path, "%s%s", entry->sourceFolder, entry->name)
        || !ShowFileFacts(dialog, path, IDC_NEW_SIZE, IDC_NEW_TIME)) {
        EndDialog(dialog, -1);
        return TRUE;
    }
    CenterWindow(dialog);
    int button;
    switch (entry->defaultAnswer) {
    case 0:
        ClearDefaultButtons(dialog);
        return TRUE;  // the focus goes to the first tab stop
    case 1:
        button = IDC_REPLACE_YES;
        break;
    case 2:
        button = IDC_REPLACE_NO;
        break;
    default:
        return TRUE;
    }
    SetDefaultButton(dialog, button);
    SetFocus(GetDlgItem(dialog, button));
    return FALSE;
}

static INT_PTR CALLBACK ReplaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return InitReplaceDialog(dialog, (const FileEntry *)lParam);
    case WM_COMMAND:
        // Only the two buttons answer: Escape and Enter without a default do nothing.
        if (LOWORD(wParam) == IDC_REPLACE_YES) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_REPLACE_NO) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR RunReplaceDialog(HWND owner, const FileEntry *entry)
{
    return DialogBoxParamA(g_setup.instance, MAKEINTRESOURCEA(IDD_REPLACE), owner, ReplaceDialogProc,
                           (LPARAM)entry);
}
