#include "app/request.h"

#include <string.h>

#include "app/text.h"
#include "catalog/catalog.h"

static int IsSeparator(char c)
{
    return c == ' ' || c == '\t';
}

static int IsBlankOrControl(char c)
{
    return c != '\0' && (unsigned char)c <= ' ';
}

char *CommandLineTail(char *commandLine)
{
    char *at = commandLine;
    if (*at == '"') {
        for (at++; *at && *at != '"'; at++) {
        }
        if (*at == '"')
            at++;
    } else {
        while (*at && !IsBlankOrControl(*at))
            at++;
    }
    while (IsBlankOrControl(*at))
        at++;
    return at;
}

int CountTokens(const char *text)
{
    int count = 0;
    int inToken = 0;
    for (; *text; text++) {
        if (IsSeparator(*text)) {
            inToken = 0;
        } else if (!inToken) {
            inToken = 1;
            count++;
        }
    }
    return count;
}

void SplitTokens(char *text, char **tokens)
{
    int count = 0;
    int inToken = 0;
    for (; *text; text++) {
        if (IsSeparator(*text)) {
            *text = '\0';
            inToken = 0;
        } else if (!inToken) {
            inToken = 1;
            tokens[count++] = text;
        }
    }
    tokens[count] = 0;
}

struct Switch {
    const char *text;  // compared as a prefix of the token
    int action;        // -1: "/OS=", the rest is a platform code
};

static const Switch kSwitches[] = {
    { "/ONLYDELETEPRINTDEVICE", ACTION_SIMPLE_DELETION },
    { "/ONLYADDPRINTDEVICE",    ACTION_SIMPLE_SETUP },
    { "/UNINSTALL",             ACTION_COMPLETE_DELETION },
    { "/OS=",                   -1 },
};

void ApplyTokens(char **tokens, SetupRequest *request)
{
    for (; *tokens; tokens++) {
        char *token = *tokens;
        UpperCaseAscii(token);
        const Switch *match = 0;
        for (size_t i = 0; i < sizeof kSwitches / sizeof kSwitches[0]; i++) {
            size_t length = strlen(kSwitches[i].text);
            if (strncmp(token, kSwitches[i].text, length) == 0) {
                match = &kSwitches[i];
                break;
            }
        }
        if (!match) {
            request->action = ACTION_USAGE;
            request->platform = PLATFORM_UNKNOWN;
            return;
        }
        if (match->action < 0)
            request->platform = FindPlatformCode(token + strlen(match->text));
        else
            request->action = match->action;
    }
}

int BuildUsageText(const char *header, char *out, size_t size)
{
    if (!CopyText(out, size, header))
        return 0;
    for (int row = 0; row < PLATFORM_COUNT && g_platforms[row].code; row++) {
        size_t used = strlen(out);
        if (!FormatText(out + used, size - used, "\r\n\t%s", g_platforms[row].code))
            return 0;
    }
    return 1;
}
