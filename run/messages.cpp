#include "run/messages.h"

#include <stdarg.h>

#include "base/text.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/state.h"
#include "run/unattended.h"

void SetQuietExit(int code)
{
    if (!g_setup.quiet)
        return;
    g_setup.exitCode = MergeQuietExit(g_setup.exitCode, code);
    if (g_setup.exitCode != QUIET_EXIT_DONE && g_setup.exitCode != QUIET_EXIT_RESTART)
        g_setup.setupStopped = 1;
}

void StopSetup()
{
    g_setup.setupStopped = 1;
    SetQuietExit(QUIET_EXIT_FAILED);
}

int SetupStopped()
{
    return g_setup.setupStopped;
}

int ShowBox(HWND owner, UINT id, const char *text, const char *caption, UINT type)
{
    int answer;
    if (g_setup.quiet) {
        int exitCode = QuietExitForMessage(id);
        // Going on without a backup or without a file would leave an
        // installation nobody chose: only the confirmation gets a Yes.
        answer = type == MB_YESNO ? (exitCode == QUIET_EXIT_DONE ? IDYES : IDNO) : IDOK;
        SetQuietExit(exitCode);
    } else {
        answer = MessageBoxA(owner, text, caption, type);
    }
    LogMessageBox(id, caption, text, answer);
    return answer;
}

void LoadMessage(UINT id, char *buffer, int size)
{
    if (LoadStringA(g_setup.instance, id, buffer, size) <= 0)
        buffer[0] = '\0';
}

static void MakeCaption(const char *caption, char *out)
{
    if (caption)
        ShortenForDisplay(out, CAPTION_CHARS, caption, IsLeadByte);
    else
        LoadMessage(IDS_SETUP_FAILURE, out, CAPTION_CHARS);
}

static void ShowReport(HWND owner, UINT id, const char *caption, const char *text)
{
    char captionText[CAPTION_CHARS];
    MakeCaption(caption, captionText);
    ShowBox(owner, id, text, captionText, MB_OK);
}

void ShowMessage(HWND owner, const char *caption, const char *text)
{
    ShowReport(owner, 0, caption, text);
}

void ShowMessageId(HWND owner, const char *caption, UINT id)
{
    char text[MESSAGE_CHARS];
    LoadMessage(id, text, sizeof text);
    ShowReport(owner, id, caption, text);
}

void ReportFormatted(HWND owner, UINT captionId, UINT textId, ...)
{
    char format[MESSAGE_CHARS];
    char text[MESSAGE_CHARS];
    char caption[CAPTION_CHARS];
    LoadMessage(textId, format, sizeof format);
    va_list args;
    va_start(args, textId);
    // A message cut to its buffer is still shown, ending with a whole character.
    if (!FormatTextV(text, sizeof text, format, args))
        DropCutCharacter(text, IsLeadByte);
    va_end(args);
    LoadMessage(captionId, caption, sizeof caption);
    ShowBox(owner, textId, text, caption, MB_OK);
}

int AskMessage(HWND owner, const char *caption, UINT textId)
{
    char text[MESSAGE_CHARS];
    char captionText[CAPTION_CHARS];
    LoadMessage(textId, text, sizeof text);
    ShortenForDisplay(captionText, sizeof captionText, caption ? caption : "", IsLeadByte);
    return ShowBox(owner, textId, text, captionText, MB_YESNO) == IDYES;
}

void CenterWindow(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    MoveWindow(window, left, top, width, height, TRUE);
}

void ReportBindFailure(HWND owner, UINT captionId, const BindFailure *failure)
{
    if (failure->function)
        ReportFormatted(owner, captionId, IDS_FUNCTION_MISSING, failure->function, failure->dll);
    else
        ReportFormatted(owner, captionId, IDS_DLL_MISSING, failure->dll);
}
