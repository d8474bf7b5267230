#include "run/unattended.h"

#include "base/text.h"
#include "res/resource.h"
#include "run/request.h"

int QuietExitForMessage(unsigned id)
{
    switch (id) {
    case IDS_CONFIRM_COMPLETE_SETUP:
    case IDS_CONFIRM_COMPLETE_DELETION:
    case IDS_CONFIRM_SIMPLE_DELETION:
    case IDS_CONFIRM_SIMPLE_SETUP:
    case IDS_VERIFY_SAME:
        return QUIET_EXIT_DONE;
    case IDS_VERIFY_NOT_INSTALLED:
        return QUIET_EXIT_NOT_INSTALLED;
    case IDS_VERIFY_DIFFERS:
        return QUIET_EXIT_DIFFERS;
    case IDS_USAGE_TEXT:
        return QUIET_EXIT_BAD_COMMAND_LINE;
    case IDS_ALREADY_RUNNING:
        return QUIET_EXIT_BUSY;
    case IDS_RESTART_NEEDED:
        return QUIET_EXIT_RESTART;
    case IDS_NO_VERSION:
    case IDS_UNSUPPORTED:
    case IDS_UNKNOWN_VERSION:
        return QUIET_EXIT_UNSUPPORTED;
    default:
        return QUIET_EXIT_FAILED;
    }
}

int MergeQuietExit(int current, int code)
{
    if (current == QUIET_EXIT_DONE || (current == QUIET_EXIT_RESTART && code != QUIET_EXIT_DONE))
        return code;
    return current;
}

const char *ActionName(int action)
{
    switch (action) {
    case ACTION_USAGE:             return "usage";
    case ACTION_COMPLETE_SETUP:    return "complete setup";
    case ACTION_SIMPLE_DELETION:   return "simple deletion";
    case ACTION_SIMPLE_SETUP:      return "simple setup";
    case ACTION_COMPLETE_DELETION: return "complete deletion";
    case ACTION_VERIFY:            return "verification";
    case ACTION_ROLLBACK:          return "rollback of a kept setup";
    case ACTION_COMMIT:            return "commit of a kept setup";
    }
    return "unknown";
}

static int NeedsEscape(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == '%';
}

int EscapeForLog(char *out, size_t size, const char *text, int (*isLeadByte)(unsigned char))
{
    static const char kHex[] = "0123456789ABCDEF";
    if (size == 0)
        return 0;
    size_t used = 0;
    const unsigned char *at = (const unsigned char *)text;
    while (*at) {
        size_t need = 1;
        if (NeedsEscape(*at))
            need = 3;
        else if (isLeadByte && isLeadByte(*at))
            // A lead byte and its trail byte go together. A control byte or
            // the end is never a trail byte: the lone lead byte is escaped,
            // so that no reader pairs it with what follows.
            need = at[1] && !NeedsEscape(at[1]) ? 2 : 3;
        if (used + need >= size) {
            out[used] = '\0';
            return 0;
        }
        if (need == 3) {
            out[used++] = '%';
            out[used++] = kHex[*at >> 4];
            out[used++] = kHex[*at & 15];
            at++;
            continue;
        }
        for (; need; need--)
            out[used++] = (char)*at++;
    }
    out[used] = '\0';
    return 1;
}

int FormatLogStamp(char *out, size_t size, unsigned year, unsigned month, unsigned day, unsigned hour,
                   unsigned minute, unsigned second, unsigned milliseconds)
{
    return FormatText(out, size, "%.4u-%.2u-%.2u %.2u:%.2u:%.2u.%.3u", year, month, day, hour, minute, second,
                      milliseconds);
}
