// Entry point, the minimised main window and the dispatch of the one action.
#include <windows.h>

#include "app/actions.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/system_dlls.h"
#include "app/text.h"
#include "app/unattended.h"
#include "catalog/catalog.h"
#include "res/resource.h"

SetupState g_setup;

enum { DISPATCH_TIMER = 1, DISPATCH_DELAY_MS = 500 };

static void GreySystemMenu(HMENU menu)
{
    static const UINT kGreyed[] = { SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE };
    for (size_t i = 0; i < sizeof kGreyed / sizeof kGreyed[0]; i++)
        EnableMenuItem(menu, kGreyed[i], MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
}

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(1);
        return 0;
    case WM_QUERYOPEN:
        return 0;  // stays minimised
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam)) {
            GreySystemMenu((HMENU)wParam);
            return 0;
        }
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void ReleaseFolders()
{
    if (g_setup.systemFolder)
        GlobalFree(g_setup.systemFolder);
    if (g_setup.driverFolder)
        GlobalFree(g_setup.driverFolder);
    g_setup.systemFolder = 0;
    g_setup.driverFolder = 0;
    g_setup.targetFolder = 0;
}

// The setup library is optional; from the system folder only, never from the media.
static void LoadSetupLibrary()
{
    g_setup.setupLibrary = LoadSystemLibrary("SetupApi.DLL");
    if (g_setup.setupLibrary)
        g_setup.copyOemInf = (CopyOemInfProc)(void *)GetProcAddress(g_setup.setupLibrary, "SetupCopyOEMInfA");
}

static void RunRequestedAction(HWND owner)
{
    SetupRequest *request = &g_setup.request;
    if (!OpenRunLog(owner))
        return;
    PlatformReading reading;
    int detect = request->action != ACTION_USAGE && request->platform == PLATFORM_UNKNOWN;
    if (detect)
        ReadPlatform(&reading);
    LogRunStart(detect ? &reading : 0);
    if (request->action == ACTION_USAGE) {
        if (request->unknownToken)
            LogLine("not a switch on the command line: \"%s\"", request->unknownToken);
        ShowUsage(owner);
        return;
    }
    if (detect) {
        request->platform = DetectPlatform(owner, &reading);
        if (request->platform == PLATFORM_UNKNOWN)
            return;
    }
    if (!ConfirmAction(owner))
        return;
    int row = request->platform;
    if (!g_platforms[row].supported) {
        ShowMessageId(owner, 0, IDS_UNSUPPORTED);
        return;
    }
    // Bound only now: usage, detection and refusal need no spooler.
    BindFailure failure;
    if (!BindSpooler(&g_setup.spooler, &failure)) {
        int deletion = request->action == ACTION_SIMPLE_DELETION || request->action == ACTION_COMPLETE_DELETION;
        ReportBindFailure(owner, deletion ? IDS_DELETION_FAILURE : IDS_SETUP_FAILURE, &failure);
        return;
    }
    // A quiet run loads the setup library only where it is used.
    if (g_setup.quiet && request->action == ACTION_COMPLETE_SETUP)
        LoadSetupLibrary();
    switch (request->action) {
    case ACTION_COMPLETE_SETUP:    InstallPrinter(owner, row, 1); break;
    case ACTION_SIMPLE_DELETION:   RemovePrinter(owner, row, 0); break;
    case ACTION_SIMPLE_SETUP:      InstallPrinter(owner, row, 0); break;
    case ACTION_COMPLETE_DELETION: RemovePrinter(owner, row, 1); break;
    }
}

static void CALLBACK DispatchTimer(HWND window, UINT, UINT_PTR, DWORD)
{
    KillTimer(window, DISPATCH_TIMER);
    RunRequestedAction(window);
    ReleaseFolders();
    SendMessageA(window, WM_DESTROY, 0, 0);
}

static int RegisterMainClass()
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = g_setup.instance;
    windowClass.hIcon = LoadIconA(g_setup.instance, MAKEINTRESOURCEA(IDI_SETUP));
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = SETUP_WINDOW_CLASS;
    return RegisterClassA(&windowClass) != 0;
}

static void ReleaseSetupLibrary()
{
    if (g_setup.setupLibrary)
        FreeLibrary(g_setup.setupLibrary);
    g_setup.setupLibrary = 0;
    g_setup.copyOemInf = 0;
}

// An unattended run: no window, no wait, each question answered; the exit
// code tells what happened (QuietExit).
static int RunQuietly(char *commandLine)
{
    g_setup.quiet = 1;
    if (!ParseCommandLine(commandLine, &g_setup.request))
        return QUIET_EXIT_FAILED;
    RunRequestedAction(0);
    ReleaseFolders();
    ReleaseSetupLibrary();
    LogRunEnd(g_setup.exitCode);
    CloseRunLog();
    return g_setup.exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    g_setup.instance = instance;
    RestrictDllSearch();
    if (HasQuietSwitch(commandLine))
        return RunQuietly(commandLine);
    if (!RegisterMainClass()) {
        ShowMessageId(0, 0, IDS_NO_CLASS);
        return 0;
    }
    char title[CAPTION_CHARS];
    LoadMessage(IDS_APP_TITLE, title, sizeof title);
    g_setup.mainWindow = CreateWindowExA(0, SETUP_WINDOW_CLASS, title, WS_CAPTION | WS_SYSMENU,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                         0, 0, instance, 0);
    if (!g_setup.mainWindow) {
        ShowMessageId(0, 0, IDS_NO_WINDOW);
        return 0;
    }
    UpdateWindow(g_setup.mainWindow);
    ShowWindow(g_setup.mainWindow, SW_SHOWMINIMIZED);

    if (!ParseCommandLine(commandLine, &g_setup.request))
        return 0;
    BindFailure failure;
    if (!InitControls(&failure)) {
        ReportBindFailure(g_setup.mainWindow, IDS_SETUP_FAILURE, &failure);
        return 0;
    }
    LoadSetupLibrary();
    SetTimer(g_setup.mainWindow, DISPATCH_TIMER, DISPATCH_DELAY_MS, DispatchTimer);

    MSG message;
    while (GetMessageA(&message, 0, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ReleaseSetupLibrary();
    LogRunEnd((int)message.wParam);
    CloseRunLog();
    return (int)message.wParam;
}
