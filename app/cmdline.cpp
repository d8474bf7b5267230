#include <windows.h>

#include "app/actions.h"
#include "app/switches.h"
#include "catalog/catalog.h"
#include "res/resource.h"
#include "run/messages.h"
#include "run/request.h"
#include "run/state.h"

enum { USAGE_CHARS = 512 };

int ParseCommandLine(char *text, SetupRequest *request)
{
    ZeroMemory(request, sizeof *request);
    request->action = ACTION_COMPLETE_SETUP;
    request->platform = PLATFORM_UNKNOWN;
    int count = CountTokens(text);
    if (count == 0)
        return 1;
    char **tokens = (char **)GlobalAlloc(GPTR, (count + 1) * sizeof(char *));
    if (!tokens)
        return 0;  // the caller reports it (message 106)
    SplitTokens(text, tokens);
    ApplyTokens(tokens, request);
    GlobalFree(tokens);
    return 1;
}

void ShowUsage(HWND owner)
{
    char caption[CAPTION_CHARS];
    char header[USAGE_CHARS];
    char text[USAGE_CHARS];
    LoadMessage(IDS_USAGE_CAPTION, caption, sizeof caption);
    LoadMessage(IDS_USAGE_TEXT, header, sizeof header);
    // The shipped catalogue always fits; a text that would not is shown cut.
    BuildUsageText(header, text, sizeof text);
    ShowBox(owner, IDS_USAGE_TEXT, text, caption, MB_OK);
}
