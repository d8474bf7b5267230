#include "run/request.h"

#include <string.h>

#include "app/switches.h"
#include "base/text.h"
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

static size_t TokenLength(const char *token)
{
    size_t length = 0;
    while (token[length] && !IsSeparator(token[length]))
        length++;
    return length;
}

// An empty path names no file: the run goes on as without the switch.
static void TakeLogPath(LogSwitch *log, const char *value, size_t length)
{
    log->given = length > 0;
    log->pathTooLong = length >= sizeof log->path;
    size_t kept = log->pathTooLong ? 0 : length;
    memcpy(log->path, value, kept);
    log->path[kept] = '\0';
}

static const char kLogSwitch[] = "/LOG=";

enum SwitchEffect { SET_ACTION, SET_PLATFORM, SET_QUIET, SET_PORT, SET_LOG, SET_PURGE, SET_KEEP_UNDO };

struct Switch {
    const char *text;  // compared as a prefix of the token, in upper case
    int effect;        // SwitchEffect
    int action;        // for SET_ACTION
};

// The four switches of the setup first, so that the later ones never change
// what those match.
static const Switch kSwitches[] = {
    { "/ONLYDELETEPRINTDEVICE", SET_ACTION,   ACTION_SIMPLE_DELETION },
    { "/ONLYADDPRINTDEVICE",    SET_ACTION,   ACTION_SIMPLE_SETUP },
    { "/UNINSTALL",             SET_ACTION,   ACTION_COMPLETE_DELETION },
    { "/OS=",                   SET_PLATFORM, 0 },
    { "/QUIET",                 SET_QUIET,    0 },  // no effect here: see HasQuietSwitch
    { "/PORT=",                 SET_PORT,     0 },
    { kLogSwitch,               SET_LOG,      0 },
    { "/PURGE",                 SET_PURGE,    ACTION_COMPLETE_DELETION },
    { "/VERIFY",                SET_ACTION,   ACTION_VERIFY },
    // For an installer's transaction: the setup, then its rollback or commit.
    { "/KEEPUNDO",              SET_KEEP_UNDO, 0 },
    { "/ROLLBACK",              SET_ACTION,   ACTION_ROLLBACK },
    { "/COMMIT",                SET_ACTION,   ACTION_COMMIT },
};

// Matching without regard to ASCII case is what upper-casing the token and
// comparing it with the upper-case switch gives.
static const Switch *FindSwitch(const char *token)
{
    for (size_t i = 0; i < sizeof kSwitches / sizeof kSwitches[0]; i++)
        if (StartsWithIgnoringAsciiCase(token, kSwitches[i].text))
            return &kSwitches[i];
    return 0;
}

void ApplyTokens(char **tokens, SetupRequest *request)
{
    for (; *tokens; tokens++) {
        char *token = *tokens;
        const Switch *match = FindSwitch(token);
        if (!match) {
            request->action = ACTION_USAGE;
            request->platform = PLATFORM_UNKNOWN;
            request->purge = 0;
            request->unknownToken = token;
            return;
        }
        const char *value = token + strlen(match->text);
        switch (match->effect) {
        case SET_PORT:
            request->portGiven = 1;
            if (!CopyText(request->port, sizeof request->port, value))
                request->port[0] = '\0';  // no port has a name this long
            break;
        case SET_LOG:
            TakeLogPath(&request->log, value, strlen(value));
            break;
        }
        UpperCaseAscii(token);
        switch (match->effect) {
        case SET_ACTION:
        case SET_PURGE:
            // Like an action switch: the last one wins.
            request->action = match->action;
            request->purge = match->effect == SET_PURGE;
            break;
        case SET_PLATFORM:
            request->platform = FindPlatformCode(value);
            break;
        case SET_KEEP_UNDO:
            request->keepUndo = 1;
            break;
        }
    }
}

int HasQuietSwitch(const char *text)
{
    int atTokenStart = 1;
    for (; *text; text++) {
        if (IsSeparator(*text)) {
            atTokenStart = 1;
            continue;
        }
        if (atTokenStart && StartsWithIgnoringAsciiCase(text, "/QUIET"))
            return 1;
        atTokenStart = 0;
    }
    return 0;
}

void FindLogSwitch(const char *text, LogSwitch *log)
{
    while (*text) {
        if (IsSeparator(*text)) {
            text++;
            continue;
        }
        size_t length = TokenLength(text);
        size_t prefix = sizeof kLogSwitch - 1;
        if (StartsWithIgnoringAsciiCase(text, kLogSwitch))
            TakeLogPath(log, text + prefix, length - prefix);
        text += length;
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
