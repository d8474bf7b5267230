// The Windows Installer package's custom actions, deferred, as the system
// account: Setup.exe from the installed media with the switches the
// action's CustomActionData gives, its lines of the run log copied into the
// installer's own log, and its exit code made the action's result: 0 is
// done, 3010 asks for a restart at the end, anything else fails the action,
// so that the installer rolls back. A rollback or commit never fails: it
// says what went wrong, and the installer goes on.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string.h>

enum { DATA_CHARS = 2048, LINE_CHARS = 2048, LOG_MAX_BYTES = 16 * 1024 * 1024, RESTART_NEEDED = 3010 };

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
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                              OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD size = GetFileSize(file, 0), read = 0;
    char *text = size != INVALID_FILE_SIZE && size < LOG_MAX_BYTES ? (char *)GlobalAlloc(GMEM_FIXED, size + 1) : 0;
    if (text && ReadFile(file, text, size, &read, 0)) {
        text[read] = '\0';
        char mark[24];
        wsprintfA(mark, " [%lu] ", process);
        char *first = 0;
        for (char *line = text; *line;) {
            char *end = line;
            while (*end && *end != '\n')
                end++;
            char *found = strstr(line, mark);
            if (found && found < end && strstr(found, " started; mode: ") && strstr(found, " started; mode: ") < end)
                first = line;
            line = *end ? end + 1 : end;
        }
        for (char *line = first; line && *line;) {
            char *end = line;
            while (*end && *end != '\n')
                end++;
            char saved = *end;
            *end = '\0';
            if (end > line && end[-1] == '\r')
                end[-1] = '\0';
            if (strstr(line, mark))
                Say(install, line);
            *end = saved;
            line = *end ? end + 1 : end;
        }
    }
    if (text)
        GlobalFree(text);
    CloseHandle(file);
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
    if (lstrlenA(data) + lstrlenA(switches) + 16 > (int)sizeof command) {
        Say(install, "the installed folder's path is too long");
        return failed;
    }
    lstrcpyA(command, "\"");
    lstrcatA(command, data);
    lstrcatA(command, "Setup.exe\" ");
    lstrcatA(command, switches);
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    // The installed media are its working folder: it finds drivers\ there.
    if (!CreateProcessA(0, command, 0, 0, FALSE, 0, 0, data, &startup, &process)) {
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
    if (code == RESTART_NEEDED)
        MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    return code == 0 || code == RESTART_NEEDED ? ERROR_SUCCESS : failed;
}
