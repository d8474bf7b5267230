// Test program: deploys a file list given on its command line through the
// real deployment code and dialogs, so that the robot can drive every replace
// policy and default answer. Its main window has the setup's window class.
//
//   deploytest TARGET LOG ITEM...
//     TARGET   target folder of the deployment
//     LOG      file that receives "BAR title=... low=N high=N pos=N" for each
//              copy dialog's progress bar as the dialog is destroyed, then "CWD folder" and
//              "RESULT n" (DeployFileList's result)
//     ITEM     POLICY,FOLDER,NAME   a list entry; POLICY is always, never,
//                                   or askN (ask, default answer N)
//              hold,PATH            another process holds PATH open without
//                                   sharing while the list is deployed
//              common,ROW           deploys the row's common files instead,
//                                   with TARGET as the system folder
//   deploytest --quiet RUNLOG TARGET LOG ITEM...
//            as a quiet run: no window at all, each question answered as a
//            quiet Setup.exe answers it, the run logged to RUNLOG; LOG also
//            receives "EXIT n", the quiet run's exit code
//   deploytest --hold PATH EVENT    (the holding process) opens PATH, signals
//                                   EVENT and waits to be ended
// Exit code: 10 + the result; 2 for a bad command line, 3 when PATH cannot be held.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/text.h"
#include "catalog/catalog.h"
#include "deploy/deploy.h"
#include "run/log.h"
#include "run/state.h"

SetupState g_setup;

namespace {

enum { MAX_ENTRIES = 32, RUN_TIMER = 1, ITEM_CHARS = 600, PROGRESS_ID = 1017 };

struct TestRun {
    FileEntry entries[MAX_ENTRIES + 1];
    char items[MAX_ENTRIES][ITEM_CHARS];
    int count;
    const char *holdPath;
    int commonRow;  // -1: deploy the entries
    const char *logPath;
    FILE *log;
    int result;
};

TestRun run;

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_DESTROYWND && run.log) {
        // Child windows are not announced on every system: look from the dialog.
        HWND dialog = (HWND)wParam;
        HWND window = GetDlgItem(dialog, PROGRESS_ID);
        char className[64];
        if (window && GetClassNameA(window, className, sizeof className)
            && lstrcmpiA(className, PROGRESS_CLASSA) == 0) {
            char title[64];
            GetWindowTextA(dialog, title, sizeof title);
            fprintf(run.log, "BAR title=\"%s\" low=%ld high=%ld pos=%ld\n", title,
                    (long)SendMessageA(window, PBM_GETRANGE, TRUE, 0),
                    (long)SendMessageA(window, PBM_GETRANGE, FALSE, 0),
                    (long)SendMessageA(window, PBM_GETPOS, 0, 0));
            fflush(run.log);
        }
    }
    return CallNextHookEx(0, code, wParam, lParam);
}

int ParseEntry(const char *text, FileEntry *entry, char *storage)
{
    if (strlen(text) >= ITEM_CHARS)
        return 0;
    strcpy(storage, text);
    char *folder = strchr(storage, ',');
    char *name = folder ? strchr(folder + 1, ',') : 0;
    if (!name)
        return 0;
    *folder++ = '\0';
    *name++ = '\0';
    ZeroMemory(entry, sizeof *entry);
    entry->sourceFolder = folder;
    entry->name = name;
    if (strcmp(storage, "always") == 0)
        entry->replacePolicy = REPLACE_ALWAYS;
    else if (strcmp(storage, "never") == 0)
        entry->replacePolicy = REPLACE_NEVER;
    else if (strncmp(storage, "ask", 3) == 0 && storage[3]) {
        entry->replacePolicy = REPLACE_ASK;
        entry->defaultAnswer = atoi(storage + 3);
    } else
        return 0;
    return 1;
}

int HoldFile(const char *path, const char *eventName)
{
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    if (file == INVALID_HANDLE_VALUE || !ready)
        return 3;
    SetEvent(ready);
    Sleep(INFINITE);
    return 0;
}

// Starts this program again as the holding process; 0 when it cannot hold the file.
HANDLE StartHolder(const char *path)
{
    char eventName[64];
    wsprintfA(eventName, "TarvDeployTestHold-%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventA(0, TRUE, FALSE, eventName);
    char self[MAX_PATH];
    char command[MAX_PATH * 2 + 100];
    if (!ready || !GetModuleFileNameA(0, self, sizeof self)
        || _snprintf(command, sizeof command, "\"%s\" --hold \"%s\" %s", self, path, eventName) < 0)
        return 0;
    command[sizeof command - 1] = '\0';
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(self, command, 0, 0, FALSE, 0, 0, 0, &startup, &info))
        return 0;
    CloseHandle(info.hThread);
    HANDLE waits[2] = { ready, info.hProcess };
    if (WaitForMultipleObjects(2, waits, FALSE, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 0);
        CloseHandle(info.hProcess);
        return 0;
    }
    CloseHandle(ready);
    return info.hProcess;
}

// Deploys the list (or the common files) and writes the result to the log.
void Deploy(HWND owner)
{
    HANDLE holder = 0;
    if (run.holdPath) {
        holder = StartHolder(run.holdPath);
        if (!holder) {
            run.result = -7;
            return;
        }
    }
    if (run.commonRow >= 0) {
        g_setup.systemFolder = (char *)g_setup.targetFolder;
        g_setup.targetFolder = 0;
        run.result = DeployCommonFiles(owner, run.commonRow);
    } else {
        run.result = DeployFileList(owner, run.entries);
    }
    if (holder) {
        TerminateProcess(holder, 0);
        WaitForSingleObject(holder, 5000);
        CloseHandle(holder);
    }
    char folder[MAX_PATH];
    if (GetCurrentDirectoryA(sizeof folder, folder))
        fprintf(run.log, "CWD %s\n", folder);
    fprintf(run.log, "RESULT %d\n", run.result);
    fflush(run.log);
}

void CALLBACK RunTimer(HWND window, UINT, UINT_PTR, DWORD)
{
    KillTimer(window, RUN_TIMER);
    Deploy(window);
    DestroyWindow(window);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc == 4 && strcmp(__argv[1], "--hold") == 0)
        return HoldFile(__argv[2], __argv[3]);
    int first = 1;
    if (__argc > 2 && strcmp(__argv[1], "--quiet") == 0) {
        g_setup.quiet = 1;
        g_setup.request.log.given = CopyText(g_setup.request.log.path, sizeof g_setup.request.log.path, __argv[2]);
        first = 3;
    }
    if (__argc < first + 3)
        return 2;
    g_setup.instance = instance;
    g_setup.targetFolder = __argv[first];
    run.logPath = __argv[first + 1];
    run.commonRow = -1;
    for (int i = first + 2; i < __argc; i++) {
        if (strncmp(__argv[i], "hold,", 5) == 0)
            run.holdPath = __argv[i] + 5;
        else if (strncmp(__argv[i], "common,", 7) == 0)
            run.commonRow = atoi(__argv[i] + 7);
        else if (run.count >= MAX_ENTRIES || !ParseEntry(__argv[i], &run.entries[run.count], run.items[run.count]))
            return 2;
        else
            run.count++;
    }
    run.log = fopen(run.logPath, "w");
    if (!run.log)
        return 2;
    if (g_setup.quiet) {
        if (!OpenRunLog(0))
            return 2;
        Deploy(0);
        fprintf(run.log, "EXIT %d\n", g_setup.exitCode);
        fclose(run.log);
        CloseRunLog();
        return 10 + run.result;
    }

    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = MainProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = SETUP_WINDOW_CLASS;
    if (!RegisterClassA(&windowClass))
        return 2;
    g_setup.mainWindow = CreateWindowExA(0, SETUP_WINDOW_CLASS, "Deploy test", WS_CAPTION | WS_SYSMENU,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                         0, 0, instance, 0);
    if (!g_setup.mainWindow)
        return 2;
    ShowWindow(g_setup.mainWindow, SW_SHOWMINIMIZED);
    InitCommonControls();
    SetWindowsHookExA(WH_CBT, CbtProc, 0, GetCurrentThreadId());
    run.result = -1;
    SetTimer(g_setup.mainWindow, RUN_TIMER, 500, RunTimer);

    MSG message;
    while (GetMessageA(&message, 0, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    fclose(run.log);
    return 10 + run.result;
}
