#include "run/log.h"

#include <stdarg.h>
#include <string.h>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "res/resource.h"
#include "run/state.h"
#include "run/unattended.h"
#include "version.h"

enum { LOG_TURN_WAIT_MS = 2000, LOG_TURN_POLL_MS = 5 };

// The byte, far past any end of a log, that a run locks in the log file
// while it appends a line: a lock of the file itself, which no other account
// can hold unless it can open the log.
static const DWORD kTurnOffset = 0xFFFFFFFE;

void CloseRunLog()
{
    RunLog *log = &g_setup.log;
    if (log->file)
        CloseHandle(log->file);
    log->file = 0;
}

// UTF-8 where the system can convert (Windows 95 before its update cannot):
// otherwise the ANSI bytes as they are.
static void WriteLine(RunLog *log)
{
    LogBuffers *buffers = &log->buffers;
    const char *bytes = buffers->line;
    int count = MultiByteToWideChar(CP_ACP, 0, buffers->line, -1, buffers->wide, LOG_LINE_CHARS);
    if (count > 0) {
        int converted = WideCharToMultiByte(CP_UTF8, 0, buffers->wide, count, buffers->utf8,
                                            (int)sizeof buffers->utf8, 0, 0);
        if (converted > 0)
            bytes = buffers->utf8;
    }
    // Appending to the end is one step on the NT family's file systems, but
    // not where the end is looked up first (Windows 9x, Wine): runs that
    // share a log take turns, so that no line overwrites another. A turn not
    // had within the wait, or a lock the file system refuses, does not stop
    // the line.
    int turn = 0;
    for (DWORD waited = 0;; waited += LOG_TURN_POLL_MS) {
        if ((turn = LockFile(log->file, kTurnOffset, 0, 1, 0)) != 0 || GetLastError() != ERROR_LOCK_VIOLATION
            || waited >= LOG_TURN_WAIT_MS)
            break;
        Sleep(LOG_TURN_POLL_MS);
    }
    if (log->seekToEnd)
        SetFilePointer(log->file, 0, 0, FILE_END);
    DWORD written = 0;
    WriteFile(log->file, bytes, (DWORD)strlen(bytes), &written, 0);  // a log never stops the run
    if (turn)
        UnlockFile(log->file, kTurnOffset, 0, 1, 0);
}

static const char kCutMark[] = " [cut]";

static void LogLineV(const char *format, va_list args)
{
    RunLog *log = &g_setup.log;
    if (!log->file)
        return;
    DWORD lastError = GetLastError();
    LogBuffers *buffers = &log->buffers;
    // Whatever the text holds (a command line, a path, a message), it stays on
    // this one line. A line too long for the buffer is cut between whole
    // characters and marked, with its end of line kept.
    int cut = !FormatTextV(buffers->text, sizeof buffers->text, format, args);
    if (cut)
        DropCutCharacter(buffers->text, IsLeadByte);
    char *line = buffers->line;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatLogStamp(line, LOG_LINE_CHARS, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                   now.wMilliseconds);
    size_t used = strlen(line);
    // The process id tells the runs that share a log apart.
    FormatText(line + used, LOG_LINE_CHARS - used, " [%lu] ", (unsigned long)GetCurrentProcessId());
    used += strlen(line + used);
    if (!EscapeForLog(line + used, LOG_LINE_CHARS - used - 2 - (sizeof kCutMark - 1), buffers->text, IsLeadByte))
        cut = 1;
    used += strlen(line + used);
    if (cut) {
        memcpy(line + used, kCutMark, sizeof kCutMark - 1);
        used += sizeof kCutMark - 1;
    }
    memcpy(line + used, "\r\n", 3);
    WriteLine(log);
    SetLastError(lastError);
}

void LogLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    LogLineV(format, args);
    va_end(args);
}

static const char *AnswerName(int answer)
{
    switch (answer) {
    case IDOK:  return "OK";
    case IDYES: return "Yes";
    case IDNO:  return "No";
    }
    return "none (the box could not be shown)";
}

void LogMessageBox(UINT id, const char *caption, const char *text, int answer)
{
    LogLine("message %u \"%s\": \"%s\": %s %s", id, caption, text, g_setup.quiet ? "answered" : "shown, answer",
            AnswerName(answer));
}

void LogRunStart(const PlatformReading *reading, int commandLineRead)
{
    if (!g_setup.log.file)
        return;
    const SetupRequest *request = &g_setup.request;
    char platform[160];
    int row = reading ? reading->row : request->platform;
    char action[64];
    if (commandLineRead)
        FormatText(action, sizeof action, "%s%s", ActionName(request->action),
                   request->purge && request->action == ACTION_COMPLETE_DELETION ? " and purge" : "");
    else
        CopyText(action, sizeof action, "unknown, the command line cannot be read");
    if (!commandLineRead || request->action == ACTION_USAGE)
        CopyText(platform, sizeof platform, "none");
    else if (reading && !reading->versionRead)
        CopyText(platform, sizeof platform, "unknown, the Windows version cannot be read");
    else if (!reading && row == PLATFORM_UNKNOWN)
        CopyText(platform, sizeof platform, "not detected yet");
    else if (row == PLATFORM_UNKNOWN)
        FormatText(platform, sizeof platform, "unknown, detected from Windows version %lu / %lu.%lu",
                   reading->platformId, reading->major, reading->minor);
    else if (reading)
        FormatText(platform, sizeof platform, "%s (%s), detected from Windows version %lu / %lu.%lu",
                   g_platforms[row].displayName, g_platforms[row].code, reading->platformId, reading->major,
                   reading->minor);
    else
        FormatText(platform, sizeof platform, "%s (%s), forced by /OS=", g_platforms[row].displayName,
                   g_platforms[row].code);
    // The command line last: however long, it never pushes the fixed fields off the line.
    LogLine("Setup.exe %s started; mode: %s; action: %s; platform: %s; command line: %s", TARV_VERSION_TEXT,
            g_setup.quiet ? "quiet" : "interactive", action, platform, GetCommandLineA());
    if (g_setup.log.refused[0])
        LogLine("log %s: there, but it can be neither appended to nor moved aside, error %lu; this run logs here "
                "instead", g_setup.log.refused, (unsigned long)g_setup.log.refusedError);
    if (g_setup.log.movedAside[0])
        LogLine("log %s: not a plain file of a trusted owner; moved to %s, this log is new", g_setup.log.path,
                g_setup.log.movedAside);
}

void LogRunEnd(int exitCode)
{
    LogLine("Setup.exe ended; exit code %d", exitCode);
}

const char *LogPath(const char *path, char *buffer, size_t size)
{
    char *name = 0;
    DWORD length = GetFullPathNameA(path, (DWORD)size, buffer, &name);
    return length != 0 && length < size ? buffer : path;
}

const char *StepResult(BOOL ok, DWORD error, char *buffer, size_t size)
{
    if (ok)
        return "ok";
    FormatText(buffer, size, "failed, error %lu", (unsigned long)error);
    return buffer;
}

void LogBindFailure(const BindFailure *failure)
{
    if (failure->function)
        LogLine("%s: function %s not found, error %lu", failure->dll, failure->function, (unsigned long)failure->error);
    else
        LogLine("%s: not loaded from the system folder, error %lu", failure->dll, (unsigned long)failure->error);
}
