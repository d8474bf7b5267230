// Entry point, the minimised main window and the dispatch of the one action.
#include <windows.h>

#include "app/actions.h"
#include "app/switches.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "check/media_rights.h"
#include "check/verify.h"
#include "install/install.h"
#include "remove/remove.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/run_lock.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

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

typedef BOOL (WINAPI *IsWow64Proc)(HANDLE, PBOOL);

// A 32-bit Setup.exe on 64-bit Windows (WOW64) would write the kernel driver
// through the redirected system folder and register a driver the 64-bit
// spooler cannot use: no row of the catalogue is that platform, whatever
// /OS= says. Bound at run time, since Windows 95 lacks it.
static int RunsUnderWow64()
{
    IsWow64Proc isWow64 = (IsWow64Proc)(void *)GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "IsWow64Process");
    BOOL wow64 = FALSE;
    // GetCurrentProcess's documented pseudo-handle, without one more import.
    if (!isWow64 || !isWow64((HANDLE)(LONG_PTR)-1, &wow64) || !wow64)
        return 0;
    LogLine("platform: 64-bit Windows (a 32-bit program under WOW64), which these media do not support");
    return 1;
}

static int EndsKeptJournal(int action)
{
    return action == ACTION_ROLLBACK || action == ACTION_COMMIT;
}

// Reads the running Windows version when the action needs it, and writes the
// log's first line. Returns the reading, or null when none was needed.
static const PlatformReading *StartRunLog(PlatformReading *reading, int commandLineRead)
{
    const SetupRequest *request = &g_setup.request;
    int detect = commandLineRead && request->action != ACTION_USAGE && request->platform == PLATFORM_UNKNOWN
                 && !EndsKeptJournal(request->action);
    if (detect)
        ReadPlatform(reading);
    LogRunStart(detect ? reading : 0, commandLineRead);
    if (g_setup.controlsMissing) {
        LogBindFailure(&g_setup.controlsFailure);
        LogLine("the common controls are missing: only an interactive complete setup needs them");
    }
    return detect ? reading : 0;
}

// The run lock; when another run holds it, or it cannot be had, the run
// changes nothing (a quiet one ends with 1618 or 1603).
static int TakeLock(HWND owner)
{
    int result = TakeRunLock();
    if (result == RUN_LOCK_TAKEN)
        return 1;
    // One that cannot be had (logged) is a failure of a quiet run; a person
    // is told what an interactive run can tell, that it cannot go on now.
    if (result == RUN_LOCK_FAILED && g_setup.quiet)
        SetQuietExit(QUIET_EXIT_FAILED);
    else
        ShowMessageId(owner, 0, IDS_ALREADY_RUNNING);
    return 0;
}

// The spooler for the actions that use it; 0 (reported) when it cannot be bound.
static int BindSpoolerFor(HWND owner, int deletion)
{
    BindFailure failure;
    if (BindSpooler(&g_setup.spooler, &failure))
        return 1;
    LogBindFailure(&failure);
    ReportBindFailure(owner, deletion ? IDS_DELETION_FAILURE : IDS_SETUP_FAILURE, &failure);
    return 0;
}

// A journal an earlier run left is finished or undone before anything
// else changes (rollback: undone); 0 (reported) when that cannot all be
// done, and the run changes nothing more.
static int Recover(HWND owner, int rollback)
{
    if (!g_setup.setupLibrary)
        LoadSetupLibrary();
    if (RecoverJournal(rollback))
        return 1;
    ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_UNDO_PENDING, (unsigned long)GetLastError());
    return 0;
}

static void RunRequestedAction(HWND owner, const PlatformReading *reading)
{
    SetupRequest *request = &g_setup.request;
    // An installer's rollback or commit: what a kept journal asks, no question first.
    if (EndsKeptJournal(request->action)) {
        if ((g_setup.quiet || TakeLock(owner)) && BindSpoolerFor(owner, 0))
            Recover(owner, request->action == ACTION_ROLLBACK);
        return;
    }
    if (request->action == ACTION_USAGE) {
        if (request->unknownToken)
            LogLine("not a switch on the command line: \"%s\"", request->unknownToken);
        ShowUsage(owner);
        return;
    }
    if (reading) {
        request->platform = DetectPlatform(owner, reading);
        if (request->platform == PLATFORM_UNKNOWN)
            return;
    }
    // A verification changes nothing: no question first.
    int verify = request->action == ACTION_VERIFY;
    if (!verify && !ConfirmAction(owner))
        return;
    // An interactive run takes the lock only now, so that a confirmation left
    // unanswered keeps no one out; still before its first change.
    if (!g_setup.quiet && !TakeLock(owner))
        return;
    int row = request->platform;
    if (!g_platforms[row].supported || RunsUnderWow64()) {
        ShowMessageId(owner, 0, IDS_UNSUPPORTED);
        return;
    }
    // The copy dialog's progress bar is the only use of the common controls,
    // and a quiet run shows no dialog.
    if (request->action == ACTION_COMPLETE_SETUP && g_setup.controlsMissing && !g_setup.quiet) {
        ReportBindFailure(owner, IDS_SETUP_FAILURE, &g_setup.controlsFailure);
        return;
    }
    // Bound only now: usage, detection and refusal need no spooler.
    if (!BindSpoolerFor(owner, request->action == ACTION_SIMPLE_DELETION || request->action == ACTION_COMPLETE_DELETION))
        return;
    // A quiet run loads the setup library only where it is used.
    if (g_setup.quiet && (request->action == ACTION_COMPLETE_SETUP || request->purge))
        LoadSetupLibrary();
    if (!verify && JournalLeft() && !Recover(owner, 0))
        return;
    switch (request->action) {
    case ACTION_COMPLETE_SETUP:    InstallPrinter(owner, row, 1); break;
    case ACTION_SIMPLE_DELETION:   RemovePrinter(owner, row, 0); break;
    case ACTION_SIMPLE_SETUP:      InstallPrinter(owner, row, 0); break;
    case ACTION_COMPLETE_DELETION: RemovePrinter(owner, row, 1); break;
    case ACTION_VERIFY:            VerifyInstallation(owner, row); break;
    }
}

static void CALLBACK DispatchTimer(HWND window, UINT, UINT_PTR, DWORD)
{
    KillTimer(window, DISPATCH_TIMER);
    if (OpenRunLog(window)) {
        PlatformReading reading;
        RunRequestedAction(window, StartRunLog(&reading, 1));
    }
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

// The end of every run: the log's last line with the exit code, then the log
// and the lock, the lock last, so that the next run's lines follow this one's.
static void EndRunLog(int exitCode)
{
    LogRunEnd(exitCode);
    CloseRunLog();
    ReleaseRunLock();
}

// An unattended run: no window, no wait, each question answered; the exit
// code tells what happened (QuietExit). The log comes first, so that every
// way the run can end is logged: it is named wherever "/LOG=" stands.
static int RunQuietly(char *commandLine)
{
    FindLogSwitch(commandLine, &g_setup.request.log);
    if (!OpenRunLog(0))
        return g_setup.exitCode;
    int parsed = ParseCommandLine(commandLine, &g_setup.request);
    PlatformReading reading;
    const PlatformReading *detected = StartRunLog(&reading, parsed);
    if (!parsed)
        ShowMessageId(0, 0, IDS_NO_MEMORY);
    else if (TakeLock(0)) {
        // Run as the system account, it loads and installs what others may have put there.
        if (g_setup.request.action != ACTION_USAGE && RunsOnNtFamily())
            WarnOfWritableMedia();
        RunRequestedAction(0, detected);
    }
    ReleaseFolders();
    ReleaseSetupLibrary();
    EndRunLog(g_setup.exitCode);
    return g_setup.exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    g_setup.instance = instance;
    g_setup.quiet = HasQuietSwitch(commandLine);
    // Before any file or DLL is touched: no critical-error, open-file or crash
    // box may wait for a person.
    if (g_setup.quiet)
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    RestrictDllSearch();
    if (g_setup.quiet)
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

    if (!ParseCommandLine(commandLine, &g_setup.request)) {
        ShowMessageId(g_setup.mainWindow, 0, IDS_NO_MEMORY);
        return 0;
    }
    // Without the common controls (Win32s may keep its own copy elsewhere)
    // everything but the interactive complete setup still works.
    g_setup.controlsMissing = !InitControls(&g_setup.controlsFailure);
    LoadSetupLibrary();
    SetTimer(g_setup.mainWindow, DISPATCH_TIMER, DISPATCH_DELAY_MS, DispatchTimer);

    MSG message;
    while (GetMessageA(&message, 0, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ReleaseSetupLibrary();
    EndRunLog((int)message.wParam);
    return (int)message.wParam;
}
