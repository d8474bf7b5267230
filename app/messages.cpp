#include "app/messages.h"

#include <stdarg.h>

#include "app/state.h"
#include "app/text.h"
#include "res/resource.h"

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

void ShowMessage(HWND owner, const char *caption, const char *text)
{
    char captionText[CAPTION_CHARS];
    MakeCaption(caption, captionText);
    MessageBoxA(owner, text, captionText, MB_OK);
}

void ShowMessageId(HWND owner, const char *caption, UINT id)
{
    char text[MESSAGE_CHARS];
    LoadMessage(id, text, sizeof text);
    ShowMessage(owner, caption, text);
}

void ReportFormatted(HWND owner, UINT captionId, UINT textId, ...)
{
    char format[MESSAGE_CHARS];
    char text[MESSAGE_CHARS];
    char caption[CAPTION_CHARS];
    LoadMessage(textId, format, sizeof format);
    va_list args;
    va_start(args, textId);
    FormatTextV(text, sizeof text, format, args);  // a message cut to its buffer is still shown
    va_end(args);
    LoadMessage(captionId, caption, sizeof caption);
    MessageBoxA(owner, text, caption, MB_OK);
}

int AskMessage(HWND owner, const char *caption, UINT textId)
{
    char text[MESSAGE_CHARS];
    char captionText[CAPTION_CHARS];
    LoadMessage(textId, text, sizeof text);
    ShortenForDisplay(captionText, sizeof captionText, caption ? caption : "", IsLeadByte);
    return MessageBoxA(owner, text, captionText, MB_YESNO) == IDYES;
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
