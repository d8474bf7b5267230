// The Windows Installer package's custom actions. RunSetup, deferred, as the
// system account: Setup.exe from the installed media with the switches the
// action's CustomActionData gives, its lines of the run log copied into the
// installer's own log, and its exit code made the action's result: 0 is
// done, 3010 asks for a restart at the end, anything else fails the action,
// so that the installer rolls back. A rollback or commit never fails: it
// says what went wrong, and the installer goes on. A deferred action cannot
// ask for the restart itself: it leaves a mark that AskForRestart, an
// immediate action after the script, turns into the request. A setup that
// kept its undo journal leaves a copy of Setup.exe beside it, for the
// rollback to run when the installed one is gone already: Windows Installer
// may take back the installed files before its rollback actions (Wine does).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string.h>

#include "base/accounts.h"
#include "base/state_folder.h"

enum { DATA_CHARS = 2048, LINE_CHARS = 2048, LOG_MAX_BYTES = 16 * 1024 * 1024, RESTART_NEEDED = 3010 };

static const char kMarkKey[] = "Software\\Corvan Tessik\\Tarv Driver", kMarkValue[] = "RestartNeeded";
// Setup.exe's state folder, under the system folder, which only
// administrators can change; its journal and the copy of Setup.exe there.
static const char kStateFolder[] = "\\" STATE_FOLDER_PARENT "\\" STATE_FOLDER_NAME "\\",
                  kJournal[] = JOURNAL_FILE_NAME, kKeptCopy[] = "TarvUndo.exe";

// One line into the installer's log, as it is: "[1]" takes the text from the
// record's field, where brackets name no property.
static void Say(MSIHANDLE install, const char *text)
{
    WCHAR wide[LINE_CHARS];
    if (!MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, LINE_CHARS)
        && !MultiByteToWideChar(CP_ACP, 0, text, -1, wide, LINE_CHARS))
        return;
    MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"Setup.exe: [1]");
    MsiRecordSetStringW(record, 1, wide);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// A line with a number; wsprintfA writes at most 1024 characters.
static void SayNumber(MSIHANDLE install, const char *format, unsigned long number)
{
    char text[1100];
    wsprintfA(text, format, number);
    Say(install, text);
}

// The lines of the run with this process id in the shared log, from its
// last first line on.
static void CopyRunLog(MSIHANDLE install, const char *path, DWORD process)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD size = GetFileSize(file, 0), read = 0;
    char *text = size != INVALID_FILE_SIZE && size < LOG_MAX_BYTES ? (char *)GlobalAlloc(GMEM_FIXED, size + 1) : 0;
    if (text && ReadFile(file, text, size, &read, 0)) {
        text[read] = '\0';
        char mark[24];
        wsprintfA(mark, " [%lu] ", process);
        // Each line on its own, once: its run's last first line, then its lines.
        char line[LINE_CHARS];
        const char *first = 0;
        for (int pass = 0; pass < 2; pass++)
            for (const char *at = pass ? first : text; at && *at;) {
                size_t length = 0;
                while (at[length] && at[length] != '\n')
                    length++;
                size_t kept = length < sizeof line ? length : sizeof line - 1;
                memcpy(line, at, kept);
                line[kept - (kept && line[kept - 1] == '\r')] = '\0';
                const char *found = strstr(line, mark);
                if (found && !pass && strstr(found, " started; mode: "))
                    first = at;
                else if (found && pass)
                    Say(install, line);
                at += length + (at[length] != '\0');
            }
    }
    if (text)
        GlobalFree(text);
    CloseHandle(file);
}

// A file of the state folder, or 0 when its path does not fit.
static int StatePath(char *path, const char *name)
{
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (!length || length + sizeof kStateFolder + lstrlenA(name) > MAX_PATH)
        return 0;
    lstrcatA(path, kStateFolder);
    lstrcatA(path, name);
    return 1;
}

static int FileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The kept copy runs as the system account: only when no one but the
// administrators could have put it there or changed it, it and its folder.
static int CopyIsOurs(const char *copy, const char *folder)
{
    return (GetVersion() & 0x80000000) == 0 && FileExists(copy) && ReadFolderRights(folder, 0) == FOLDER_OURS
           && ReadFolderRights(copy, RIGHTS_OF_A_FILE) == FOLDER_OURS;
}

// CustomActionData: the installed folder (with its closing backslash), the
// run log, then Setup.exe's switches, separated by '|', which no path holds.
extern "C" UINT __stdcall RunSetup(MSIHANDLE install)
{
    char data[DATA_CHARS], command[DATA_CHARS + 16];
    DWORD size = sizeof data;
    int ending = MsiGetMode(install, MSIRUNMODE_ROLLBACK) || MsiGetMode(install, MSIRUNMODE_COMMIT);
    UINT failed = ending ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
    char *log = 0, *switches = 0;
    if (MsiGetPropertyA(install, "CustomActionData", data, &size) == ERROR_SUCCESS && (log = strchr(data, '|')) != 0)
        switches = strchr(++log, '|');
    if (!switches) {
        Say(install, "the action's data names no folder, log and switches");
        return failed;
    }
    log[-1] = *switches++ = '\0';
    char program[MAX_PATH], copy[MAX_PATH], journal[MAX_PATH], folder[MAX_PATH];
    if (lstrlenA(data) + 10 > MAX_PATH || !StatePath(copy, kKeptCopy) || !StatePath(journal, kJournal)) {
        Say(install, "the installed folder's path is too long");
        return failed;
    }
    lstrcpyA(program, data);
    lstrcatA(program, "Setup.exe");
    // The installed media are its working folder: it finds drivers\ there.
    // A rollback or commit needs no media; the kept copy stands in for them.
    lstrcpyA(folder, data);
    if (ending && !FileExists(program) && FileExists(copy)) {
        char state[MAX_PATH];
        lstrcpyA(state, copy);
        state[lstrlenA(state) - sizeof kKeptCopy] = '\0';
        if (!CopyIsOurs(copy, state)) {
            Say(install, "the copy kept beside the undo journal is not as Setup.exe left it: it is not run");
        } else {
            lstrcpyA(program, copy);
            lstrcpyA(folder, state);
            Say(install, "runs the copy kept beside the undo journal: the installed Setup.exe is gone");
        }
    }
    if (lstrlenA(program) + lstrlenA(switches) + 4 > (int)sizeof command) {
        Say(install, "the installed folder's path is too long");
        return failed;
    }
    lstrcpyA(command, "\"");
    lstrcatA(command, program);
    lstrcatA(command, "\" ");
    lstrcatA(command, switches);
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(0, command, 0, 0, FALSE, 0, 0, folder, &startup, &process)) {
        SayNumber(install, "cannot be started from the installed folder, error %lu", GetLastError());
        return failed;
    }
    DWORD code = ERROR_INSTALL_FAILURE;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CopyRunLog(install, log, process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SayNumber(install, code == RESTART_NEEDED ? "ended with exit code %lu; a restart completes it"
                                              : "ended with exit code %lu", code);
    HKEY key;
    DWORD one = 1;
    if (code == RESTART_NEEDED && RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMarkKey, 0, 0, 0, KEY_SET_VALUE, 0, &key, 0) == 0) {
        RegSetValueExA(key, kMarkValue, 0, REG_DWORD, (const BYTE *)&one, sizeof one);
        RegCloseKey(key);
    }
    int succeeded = code == 0 || code == RESTART_NEEDED;
    // The copy goes with the journal it is for, when a rollback or commit
    // has ended it; it is made only after the run, in the folder Setup.exe
    // made and checked.
    if (ending && !FileExists(journal))
        DeleteFileA(copy);
    else if (succeeded && FileExists(journal) && !CopyFileA(program, copy, FALSE))
        SayNumber(install, "no copy beside the undo journal, error %lu: a rollback needs the installed Setup.exe",
                  GetLastError());
    return succeeded ? ERROR_SUCCESS : failed;
}

// Immediate, after the script: the restart a deferred action left its mark for.
extern "C" UINT __stdcall AskForRestart(MSIHANDLE install)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMarkKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != 0)
        return ERROR_SUCCESS;
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key, kMarkValue, 0, 0, (BYTE *)&value, &size) == 0 && value) {
        RegDeleteValueA(key, kMarkValue);
        Say(install, "a restart completes what Setup.exe did");
        MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    }
    RegCloseKey(key);
    return ERROR_SUCCESS;
}
