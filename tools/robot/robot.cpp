// Test robot: starts a program, records every window it shows and answers
// its dialogs and message boxes from a script. The transcript is UTF-8.
//
//   robot [options] -- PROGRAM
//     --cwd DIR          working folder of the program
//     --tail TEXT        command-line tail after the quoted program name
//     --tail-file FILE   the tail, read raw from a file (blanks, tabs, quotes kept)
//     --answers FILE     one line per window that has buttons, taken in order;
//                        actions separated by ';':
//                          click ID | select TEXT | select-index N | dblclick ID
//                          escape | enter | close | wait MS | none | kill
//     --version V        sets Wine's reported Windows version for the program
//     --timeout MS       ends the program after this long (default 60000)
//     --close-main-early closes the main window as soon as it exists
//     --probe-main       before the first answer, tries to restore and maximise the
//                        main window and reads its system menu (needs --inject)
//     --inject-early     hooks window creation system-wide with inject.dll before
//                        the program starts (for start-up faults)
//     --inject           loads inject.dll (beside the robot) into the program as
//                        soon as its main window exists; it applies TARV_FAULTS
//     --inject-at-start  loads inject.dll into the program before its first
//                        instruction (for programs that show no window at all)
//     --twice            starts a second copy with the same command line at the
//                        same moment (both created suspended, then resumed);
//                        its windows are not answered, its exit code is
//                        printed as EXIT2 (for runs that show no window)
//     --out FILE         transcript file (default standard output)
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

const wchar_t kMainClass[] = L"SetupTarvClass";
const int kMaxWindows = 256;
const int kMaxAnswers = 128;

struct Tracked {
    HWND window;
    int index;
    int open;
    int isMain;
    int progressPos;
    int progressHigh;
    wchar_t title[512];
    int iconic;
};

struct Robot {
    FILE *out;
    DWORD processId;
    DWORD threadId;
    HANDLE process;
    DWORD start;
    Tracked windows[kMaxWindows];
    int windowCount;
    int nextIndex;
    char *answers[kMaxAnswers];
    int answerCount;
    int nextAnswer;
    int closeMainEarly;
    int probeMain;
    int probed;
    int inject;
    int injectEarly;
    int injectAtStart;
    int injected;
    char sysmenuPath[MAX_PATH];
    int failed;
};

Robot robot;

DWORD Now() { return GetTickCount() - robot.start; }

void WriteEscaped(const wchar_t *text)
{
    char utf8[8192];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, 0, 0);
    if (length <= 0)
        utf8[0] = '\0';
    fputc('"', robot.out);
    for (const unsigned char *p = (const unsigned char *)utf8; *p; p++) {
        switch (*p) {
        case '\r': fputs("\\r", robot.out); break;
        case '\n': fputs("\\n", robot.out); break;
        case '\t': fputs("\\t", robot.out); break;
        case '\\': fputs("\\\\", robot.out); break;
        case '"':  fputs("\\\"", robot.out); break;
        default:
            if (*p < 0x20)
                fprintf(robot.out, "\\x%02x", *p);
            else
                fputc(*p, robot.out);
        }
    }
    fputc('"', robot.out);
}

int IdOf(HWND control)
{
    return (int)(GetWindowLongPtrW(control, GWLP_ID) & 0xFFFF);
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result))
        return -1;
    return (LRESULT)result;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, 0), &info))
        return 0;
    return info.hwndFocus;
}

struct ChildList {
    HWND items[128];
    int count;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    ChildList *list = (ChildList *)param;
    if (GetParent(child) && list->count < 128)
        list->items[list->count++] = child;
    return TRUE;
}

const char *OwnerName(HWND window, char *buffer, size_t size)
{
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner)
        return "none";
    for (int i = 0; i < robot.windowCount; i++) {
        if (robot.windows[i].window == owner) {
            if (robot.windows[i].isMain)
                return "main";
            _snprintf(buffer, size, "%d", robot.windows[i].index);
            buffer[size - 1] = '\0';
            return buffer;
        }
    }
    return "other";
}

void DumpWindow(Tracked *tracked)
{
    HWND window = tracked->window;
    wchar_t text[4096];
    wchar_t className[256];
    char ownerBuffer[16];
    RECT rect;
    GetWindowRect(window, &rect);
    GetClassNameW(window, className, 256);
    GetWindowTextW(window, text, 4096);
    HWND focus = FocusOf(window);
    LRESULT defId = Ask(window, DM_GETDEFID, 0, 0);
    fprintf(robot.out, "@%lu WINDOW %d class=", Now(), tracked->index);
    WriteEscaped(className);
    fputs(" title=", robot.out);
    WriteEscaped(text);
    fprintf(robot.out, " style=0x%08lx exstyle=0x%08lx rect=%ld,%ld,%ld,%ld owner=%s fg=%d defid=%d focus=%d\n",
            (unsigned long)GetWindowLongW(window, GWL_STYLE), (unsigned long)GetWindowLongW(window, GWL_EXSTYLE),
            rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
            OwnerName(window, ownerBuffer, sizeof ownerBuffer), GetForegroundWindow() == window,
            HIWORD(defId) == DC_HASDEFID ? (int)LOWORD(defId) : 0,
            focus && focus != window ? IdOf(focus) : 0);

    ChildList children;
    children.count = 0;
    EnumChildWindows(window, CollectChild, (LPARAM)&children);
    for (int i = 0; i < children.count; i++) {
        HWND child = children.items[i];
        GetClassNameW(child, className, 256);
        text[0] = 0;
        GetWindowTextW(child, text, 4096);
        RECT childRect;
        GetWindowRect(child, &childRect);
        POINT topLeft = { childRect.left, childRect.top };
        ScreenToClient(window, &topLeft);
        fprintf(robot.out, "  CONTROL id=%d class=", IdOf(child));
        WriteEscaped(className);
        fprintf(robot.out, " style=0x%08lx rect=%ld,%ld,%ld,%ld text=",
                (unsigned long)GetWindowLongW(child, GWL_STYLE), topLeft.x, topLeft.y,
                childRect.right - childRect.left, childRect.bottom - childRect.top);
        WriteEscaped(text);
        if (_wcsicmp(className, L"msctls_progress32") == 0) {
            fprintf(robot.out, " range=%ld..%ld pos=%ld", (long)Ask(child, PBM_GETRANGE, TRUE, 0),
                    (long)Ask(child, PBM_GETRANGE, FALSE, 0), (long)Ask(child, PBM_GETPOS, 0, 0));
        }
        fputc('\n', robot.out);
        if (_wcsicmp(className, L"ListBox") == 0) {
            int count = (int)Ask(child, LB_GETCOUNT, 0, 0);
            for (int line = 0; line < count; line++) {
                int length = (int)Ask(child, LB_GETTEXTLEN, line, 0);
                if (length < 0 || length >= 4096)
                    continue;
                Ask(child, LB_GETTEXT, line, (LPARAM)text);
                fputs("    LINE ", robot.out);
                WriteEscaped(text);
                fputc('\n', robot.out);
            }
            fprintf(robot.out, "    SELECTED %d\n", (int)Ask(child, LB_GETCURSEL, 0, 0));
        }
    }
    fflush(robot.out);
}

HWND FindControl(HWND window, int id)
{
    ChildList children;
    children.count = 0;
    EnumChildWindows(window, CollectChild, (LPARAM)&children);
    for (int i = 0; i < children.count; i++)
        if (IdOf(children.items[i]) == id)
            return children.items[i];
    return 0;
}

int HasButtons(HWND window)
{
    ChildList children;
    children.count = 0;
    EnumChildWindows(window, CollectChild, (LPARAM)&children);
    for (int i = 0; i < children.count; i++) {
        wchar_t className[64];
        GetClassNameW(children.items[i], className, 64);
        LONG style = GetWindowLongW(children.items[i], GWL_STYLE);
        if (_wcsicmp(className, L"Button") == 0 && (style & 0x0F) <= BS_DEFPUSHBUTTON
            && (style & WS_VISIBLE))
            return 1;
    }
    return 0;
}

void PressKey(HWND window, WPARAM key)
{
    HWND target = FocusOf(window);
    if (!target)
        target = window;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void SelectLine(HWND window, const char *text)
{
    wchar_t wanted[512];
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wanted, 512);
    HWND list = FindControl(window, 1018);
    if (!list)
        return;
    int count = (int)Ask(list, LB_GETCOUNT, 0, 0);
    for (int line = 0; line < count; line++) {
        wchar_t lineText[4096];
        int length = (int)Ask(list, LB_GETTEXTLEN, line, 0);
        if (length < 0 || length >= 4096)
            continue;
        Ask(list, LB_GETTEXT, line, (LPARAM)lineText);
        if (wcscmp(lineText, wanted) == 0 || wcsncmp(lineText, wanted, wcslen(wanted)) == 0) {
            Ask(list, LB_SETCURSEL, line, 0);
            return;
        }
    }
    fprintf(robot.out, "@%lu NOTFOUND %s\n", Now(), text);
}

void ApplyAction(HWND window, char *action)
{
    while (*action == ' ')
        action++;
    char *argument = strchr(action, ' ');
    if (argument)
        *argument++ = '\0';
    else
        argument = action + strlen(action);
    if (strcmp(action, "click") == 0) {
        int id = atoi(argument);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)FindControl(window, id));
    } else if (strcmp(action, "select") == 0) {
        SelectLine(window, argument);
    } else if (strcmp(action, "select-index") == 0) {
        HWND list = FindControl(window, 1018);
        if (list)
            Ask(list, LB_SETCURSEL, atoi(argument), 0);
    } else if (strcmp(action, "dblclick") == 0) {
        int id = atoi(argument);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), (LPARAM)FindControl(window, id));
    } else if (strcmp(action, "escape") == 0) {
        PressKey(window, VK_ESCAPE);
    } else if (strcmp(action, "enter") == 0) {
        PressKey(window, VK_RETURN);
    } else if (strcmp(action, "close") == 0) {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (strcmp(action, "wait") == 0) {
        Sleep(atoi(argument));
        fprintf(robot.out, "@%lu %s\n", Now(), IsWindow(window) && IsWindowVisible(window) ? "STILL-OPEN" : "GONE");
    } else if (strcmp(action, "kill") == 0) {
        TerminateProcess(robot.process, 99);
    }
}

void Answer(Tracked *tracked)
{
    if (robot.nextAnswer >= robot.answerCount) {
        fprintf(robot.out, "@%lu UNANSWERED %d\n", Now(), tracked->index);
        fflush(robot.out);
        robot.failed = 1;
        TerminateProcess(robot.process, 98);
        return;
    }
    const char *line = robot.answers[robot.nextAnswer++];
    fprintf(robot.out, "@%lu ANSWER %d: %s\n", Now(), tracked->index, line);
    fflush(robot.out);
    char copy[1024];
    _snprintf(copy, sizeof copy, "%s", line);
    copy[sizeof copy - 1] = '\0';
    char *context = 0;
    for (char *action = strtok_s(copy, ";", &context); action; action = strtok_s(0, ";", &context))
        ApplyAction(tracked->window, action);
    fflush(robot.out);
}

void RecordMain(Tracked *tracked)
{
    wchar_t title[512];
    GetWindowTextW(tracked->window, title, 512);
    int iconic = IsIconic(tracked->window) ? 1 : 0;
    if (tracked->index && wcscmp(title, tracked->title) == 0 && iconic == tracked->iconic)
        return;
    wcscpy(tracked->title, title);
    tracked->iconic = iconic;
    tracked->index = -1;
    fprintf(robot.out, "@%lu MAIN title=", Now());
    WriteEscaped(title);
    fprintf(robot.out, " iconic=%d visible=%d\n", iconic, IsWindowVisible(tracked->window) ? 1 : 0);
    fflush(robot.out);
}

char *ReadFileText(const char *path);

void ProbeMain(HWND main)
{
    char *state = robot.sysmenuPath[0] ? ReadFileText(robot.sysmenuPath) : 0;
    fprintf(robot.out, "@%lu %s\n", Now(), state && *state ? state : "SYSMENU unavailable");
    free(state);
    PostMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    Sleep(200);
    fprintf(robot.out, "@%lu AFTER-RESTORE iconic=%d\n", Now(), IsIconic(main) ? 1 : 0);
    PostMessageW(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    Sleep(200);
    fprintf(robot.out, "@%lu AFTER-MAXIMIZE iconic=%d\n", Now(), IsIconic(main) ? 1 : 0);
    ShowWindowAsync(main, SW_RESTORE);
    Sleep(200);
    fprintf(robot.out, "@%lu AFTER-SHOWRESTORE iconic=%d\n", Now(), IsIconic(main) ? 1 : 0);
    fflush(robot.out);
}

// inject.dll lies beside the robot; 0 when its path does not fit.
int InjectDllPath(char *path, DWORD size)
{
    DWORD length = GetModuleFileNameA(0, path, size);
    char *slash = strrchr(path, '\\');
    if (!length || length >= size || !slash || slash - path + 12 >= (long)size)
        return 0;
    strcpy(slash + 1, "inject.dll");
    return 1;
}

HMODULE LoadInjectDll()
{
    char path[MAX_PATH];
    return InjectDllPath(path, sizeof path) ? LoadLibraryA(path) : 0;
}

// Loads inject.dll into a process created suspended, through a thread of its
// own that calls LoadLibraryA: the DLL patches the imports before the
// program's entry point runs.
int InjectAtStart(HANDLE process)
{
    char path[MAX_PATH];
    if (!InjectDllPath(path, sizeof path))
        return 0;
    SIZE_T size = strlen(path) + 1;
    void *remote = VirtualAllocEx(process, 0, size, MEM_COMMIT, PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(process, remote, path, size, 0))
        return 0;
    // kernel32 lies at the same address in every process of the architecture.
    LPTHREAD_START_ROUTINE load =
        (LPTHREAD_START_ROUTINE)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA");
    HANDLE thread = CreateRemoteThread(process, 0, 0, load, remote, 0, 0);
    if (!thread)
        return 0;
    DWORD module = 0;
    int loaded = WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &module)
                 && module != 0;
    CloseHandle(thread);
    return loaded;
}

// Hooks the program's GUI thread with inject.dll, which the system then loads
// into the program; waits until the DLL says it has patched the imports.
void Inject(HWND main)
{
    robot.injected = 1;
    HMODULE module = LoadInjectDll();
    HOOKPROC proc = module ? (HOOKPROC)(void *)GetProcAddress(module, "InjectHookProc") : 0;
    DWORD thread = GetWindowThreadProcessId(main, 0);
    if (!proc || !SetWindowsHookExA(WH_GETMESSAGE, proc, module, thread)) {
        fprintf(robot.out, "@%lu INJECT-FAILED %lu\n", Now(), GetLastError());
        return;
    }
    char name[64];
    _snprintf(name, sizeof name, "TarvInjected-%lu", robot.processId);
    name[sizeof name - 1] = '\0';
    for (int tries = 0; tries < 200; tries++) {
        PostMessageW(main, WM_NULL, 0, 0);
        HANDLE ready = OpenEventA(SYNCHRONIZE, FALSE, name);
        if (ready) {
            CloseHandle(ready);
            fprintf(robot.out, "@%lu INJECTED\n", Now());
            return;
        }
        Sleep(5);
    }
    fprintf(robot.out, "@%lu INJECT-TIMEOUT\n", Now());
}

Tracked *Find(HWND window)
{
    for (int i = 0; i < robot.windowCount; i++)
        if (robot.windows[i].window == window && robot.windows[i].open)
            return &robot.windows[i];
    return 0;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != robot.processId)
        return TRUE;
    wchar_t className[256];
    GetClassNameW(window, className, 256);
    int isMain = wcscmp(className, kMainClass) == 0;
    if (!isMain && !IsWindowVisible(window))
        return TRUE;
    Tracked *tracked = Find(window);
    if (!tracked) {
        if (robot.windowCount >= kMaxWindows)
            return TRUE;
        tracked = &robot.windows[robot.windowCount++];
        ZeroMemory(tracked, sizeof *tracked);
        tracked->window = window;
        tracked->open = 1;
        tracked->isMain = isMain;
        tracked->progressPos = -1;
        tracked->progressHigh = -1;
        if (isMain) {
            RecordMain(tracked);
            if (robot.inject && !robot.injected)
                Inject(window);
            if (robot.closeMainEarly) {
                fprintf(robot.out, "@%lu ACTION close-main\n", Now());
                PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return TRUE;
        }
        Sleep(30);  // let the dialog finish painting its controls
        if (!IsWindow(window))
            return TRUE;
        tracked->index = ++robot.nextIndex;
        DumpWindow(tracked);
        if (HasButtons(window)) {
            if (robot.probeMain && !robot.probed) {
                robot.probed = 1;
                for (int i = 0; i < robot.windowCount; i++)
                    if (robot.windows[i].isMain && robot.windows[i].open)
                        ProbeMain(robot.windows[i].window);
            }
            Answer(tracked);
        }
        return TRUE;
    }
    if (tracked->isMain) {
        RecordMain(tracked);
        return TRUE;
    }
    HWND progress = FindControl(window, 1017);
    if (progress) {
        int pos = (int)Ask(progress, PBM_GETPOS, 0, 0);
        int high = (int)Ask(progress, PBM_GETRANGE, FALSE, 0);
        if (pos != tracked->progressPos || high != tracked->progressHigh) {
            tracked->progressPos = pos;
            tracked->progressHigh = high;
            fprintf(robot.out, "@%lu PROGRESS %d pos=%d high=%d\n", Now(), tracked->index, pos, high);
        }
    }
    return TRUE;
}

void ForgetClosedWindows()
{
    for (int i = 0; i < robot.windowCount; i++) {
        Tracked *tracked = &robot.windows[i];
        if (!tracked->open)
            continue;
        if (!IsWindow(tracked->window) || (!tracked->isMain && !IsWindowVisible(tracked->window))) {
            tracked->open = 0;
            if (tracked->isMain)
                fprintf(robot.out, "@%lu MAIN-CLOSED\n", Now());
            else
                fprintf(robot.out, "@%lu CLOSED %d\n", Now(), tracked->index);
            fflush(robot.out);
        }
    }
}

char *ReadFileText(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return 0;
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char *text = (char *)calloc(size + 1, 1);
    if (text && fread(text, 1, size, file) != (size_t)size) {
        free(text);
        text = 0;
    }
    fclose(file);
    return text;
}

void LoadAnswers(const char *path)
{
    char *text = ReadFileText(path);
    if (!text) {
        fprintf(stderr, "robot: cannot read %s\n", path);
        exit(2);
    }
    char *context = 0;
    for (char *line = strtok_s(text, "\r\n", &context); line && robot.answerCount < kMaxAnswers;
         line = strtok_s(0, "\r\n", &context))
        if (*line && *line != '#')
            robot.answers[robot.answerCount++] = line;
}

void SetReportedVersion(const char *program, const char *version)
{
    const char *base = strrchr(program, '\\');
    base = base ? base + 1 : program;
    char key[600];
    _snprintf(key, sizeof key, "Software\\Wine\\AppDefaults\\%s", base);
    key[sizeof key - 1] = '\0';
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, 0, 0, KEY_ALL_ACCESS, 0, &handle, 0) != ERROR_SUCCESS)
        return;
    if (strcmp(version, "default") == 0)
        RegDeleteValueA(handle, "Version");
    else
        RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version, (DWORD)strlen(version) + 1);
    RegCloseKey(handle);
}

}  // namespace

int main(int argc, char **argv)
{
    const char *cwd = 0;
    const char *tail = "";
    char *tailText = 0;
    const char *program = 0;
    const char *version = 0;
    const char *outPath = 0;
    DWORD timeout = 60000;
    int twice = 0;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (strcmp(arg, "--") == 0 && i + 1 < argc) {
            program = argv[i + 1];
            break;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "robot: %s needs a value\n", arg);
            return 2;
        }
        if (strcmp(arg, "--close-main-early") == 0) { robot.closeMainEarly = 1; continue; }
        if (strcmp(arg, "--probe-main") == 0) { robot.probeMain = 1; continue; }
        if (strcmp(arg, "--inject") == 0) { robot.inject = 1; continue; }
        if (strcmp(arg, "--inject-early") == 0) { robot.injectEarly = 1; continue; }
        if (strcmp(arg, "--inject-at-start") == 0) { robot.injectAtStart = 1; continue; }
        if (strcmp(arg, "--twice") == 0) { twice = 1; continue; }
        const char *value = argv[++i];
        if (strcmp(arg, "--cwd") == 0) cwd = value;
        else if (strcmp(arg, "--tail") == 0) tail = value;
        else if (strcmp(arg, "--tail-file") == 0) {
            tailText = ReadFileText(value);
            if (!tailText) { fprintf(stderr, "robot: cannot read %s\n", value); return 2; }
            tail = tailText;
        }
        else if (strcmp(arg, "--answers") == 0) LoadAnswers(value);
        else if (strcmp(arg, "--version") == 0) version = value;
        else if (strcmp(arg, "--timeout") == 0) timeout = (DWORD)atol(value);
        else if (strcmp(arg, "--out") == 0) outPath = value;
        else { fprintf(stderr, "robot: unknown option %s\n", arg); return 2; }
    }
    if (!program) {
        fprintf(stderr, "usage: robot [options] -- PROGRAM\n");
        return 2;
    }
    robot.out = outPath ? fopen(outPath, "wb") : stdout;
    if (!robot.out)
        return 2;
    if (version)
        SetReportedVersion(program, version);
    if (robot.probeMain && robot.inject) {
        // The injected DLL writes the menu state here; the program inherits the variable.
        GetTempPathA(sizeof robot.sysmenuPath, robot.sysmenuPath);
        char file[40];
        _snprintf(file, sizeof file, "tarv-sysmenu-%lu.txt", GetCurrentProcessId());
        file[sizeof file - 1] = '\0';
        strncat(robot.sysmenuPath, file, sizeof robot.sysmenuPath - strlen(robot.sysmenuPath) - 1);
        DeleteFileA(robot.sysmenuPath);
        SetEnvironmentVariableA("TARV_SYSMENU_OUT", robot.sysmenuPath);
    }

    size_t commandSize = strlen(program) + strlen(tail) + 8;
    char *command = (char *)malloc(commandSize);
    _snprintf(command, commandSize, "\"%s\" %s", program, tail);
    command[commandSize - 1] = '\0';
    if (robot.injectEarly) {
        HMODULE module = LoadInjectDll();
        HOOKPROC proc = module ? (HOOKPROC)(void *)GetProcAddress(module, "InjectCbtProc") : 0;
        if (!proc || !SetWindowsHookExA(WH_CBT, proc, module, 0))
            fprintf(robot.out, "@0 INJECT-FAILED %lu\n", GetLastError());
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    DWORD flags = robot.injectAtStart || twice ? CREATE_SUSPENDED : 0;
    if (!CreateProcessA(program, command, 0, 0, FALSE, flags, 0, cwd, &startup, &info)) {
        fprintf(robot.out, "@0 START-FAILED %lu\n", GetLastError());
        return 3;
    }
    PROCESS_INFORMATION second;
    ZeroMemory(&second, sizeof second);
    if (twice && !CreateProcessA(program, command, 0, 0, FALSE, CREATE_SUSPENDED, 0, cwd, &startup, &second)) {
        fprintf(robot.out, "@0 START-FAILED %lu\n", GetLastError());
        TerminateProcess(info.hProcess, 98);
        return 3;
    }
    robot.start = GetTickCount();
    robot.process = info.hProcess;
    robot.processId = info.dwProcessId;
    robot.threadId = info.dwThreadId;
    fprintf(robot.out, "@0 STARTED\n");
    if (robot.injectAtStart) {
        if (InjectAtStart(info.hProcess))
            fprintf(robot.out, "@%lu INJECTED\n", Now());
        else
            fprintf(robot.out, "@%lu INJECT-FAILED %lu\n", Now(), GetLastError());
    }
    if (flags & CREATE_SUSPENDED)
        ResumeThread(info.hThread);
    if (twice)
        ResumeThread(second.hThread);
    fflush(robot.out);

    for (;;) {
        EnumWindows(VisitWindow, 0);
        ForgetClosedWindows();
        if (WaitForSingleObject(info.hProcess, 15) == WAIT_OBJECT_0)
            break;
        if (Now() > timeout) {
            fprintf(robot.out, "@%lu TIMEOUT\n", Now());
            robot.failed = 1;
            TerminateProcess(info.hProcess, 97);
            WaitForSingleObject(info.hProcess, 5000);
            break;
        }
    }
    ForgetClosedWindows();
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    fprintf(robot.out, "@%lu EXIT %lu\n", Now(), code);
    if (twice) {
        if (WaitForSingleObject(second.hProcess, timeout) != WAIT_OBJECT_0) {
            fprintf(robot.out, "@%lu TIMEOUT\n", Now());
            robot.failed = 1;
            TerminateProcess(second.hProcess, 97);
            WaitForSingleObject(second.hProcess, 5000);
        }
        GetExitCodeProcess(second.hProcess, &code);
        fprintf(robot.out, "@%lu EXIT2 %lu\n", Now(), code);
    }
    if (robot.nextAnswer < robot.answerCount)
        fprintf(robot.out, "UNUSED-ANSWERS %d\n", robot.answerCount - robot.nextAnswer);
    fflush(robot.out);
    return robot.failed ? 1 : 0;
}
