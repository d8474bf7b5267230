// Port selection (template 608): the user picks the port of the new queue.
#include <windows.h>
#include <winspool.h>

#include "base/text.h"
#include "install/install.h"
#include "install/port_line.h"
#include "machine/spooler_lists.h"
#include "res/resource.h"
#include "run/messages.h"
#include "run/state.h"

enum { PORT_LINE_CHARS = 80 };

// Fills the list with one line per port of the local spooler. Any failure
// leaves the list as it is, without a message.
static void FillPortList(HWND list)
{
    DWORD count = 0, error = 0;
    PORT_INFO_2A *ports = EnumLocalPorts(&count, &error);
    if (!ports)
        return;
    char line[PORT_LINE_CHARS];
    for (DWORD i = 0; i < count; i++) {
        // A port whose name does not fit a line is left out rather than
        // offered under a shortened name that would be another port.
        if (FormatPortLine(line, sizeof line, ports[i].pPortName, ports[i].pDescription, IsLeadByte))
            SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)line);
    }
    GlobalFree(ports);
}

// Takes the selected line's port as the chosen one; 0 when nothing usable is selected.
static int TakeSelectedPort(HWND list)
{
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return 0;
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)selected, 0);
    char line[PORT_LINE_CHARS];
    if (length == LB_ERR || length >= (LRESULT)sizeof line)
        return 0;
    if (SendMessageA(list, LB_GETTEXT, (WPARAM)selected, (LPARAM)line) == LB_ERR)
        return 0;
    return PortNameFromLine(g_setup.portName, sizeof g_setup.portName, line);
}

static INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        FillPortList(GetDlgItem(dialog, IDC_PORT_LIST));
        CenterWindow(dialog);
        SetActiveWindow(dialog);
        return TRUE;  // default focus: the first tab stop, OK
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (TakeSelectedPort(GetDlgItem(dialog, IDC_PORT_LIST)))
                EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:  // the button, Escape and the system menu's Close
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;  // list notifications such as a double-click confirm nothing
    }
    return FALSE;
}

int RunPortDialog(HWND owner)
{
    g_setup.portName[0] = '\0';
    INT_PTR result = DialogBoxParamA(g_setup.instance, MAKEINTRESOURCEA(IDD_PORT), owner,
                                     PortDialogProc, 0);
    if (result == -1)
        return -1;
    return result == 1 ? 1 : 0;
}
