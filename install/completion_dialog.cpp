// Completion dialog (template 604): the last window of a setup.
#include <windows.h>

#include "install/install.h"
#include "res/resource.h"
#include "run/messages.h"
#include "run/state.h"

static INT_PTR CALLBACK CompletionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(dialog);
        SetForegroundWindow(dialog);
        SetActiveWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        // Only Quit (or Enter) ends it; Escape arrives as IDCANCEL and is ignored.
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

int RunCompletionDialog(HWND owner)
{
    DialogBoxParamA(g_setup.instance, MAKEINTRESOURCEA(IDD_COMPLETE), owner, CompletionDialogProc, 0);
    return 1;
}
