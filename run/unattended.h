// Rules of unattended runs and of the run log (no Windows dependency).
#ifndef TARV_UNATTENDED_H
#define TARV_UNATTENDED_H

#include <stddef.h>

// Exit codes of a quiet run, the installer conventions deployment tools read.
enum QuietExit {
    QUIET_EXIT_DONE = 0,                // done, and nothing was reported
    QUIET_EXIT_NOT_INSTALLED = 1,       // "/VERIFY": the printer is not installed
    QUIET_EXIT_DIFFERS = 2,             // "/VERIFY": installed, but not as the media install it
    QUIET_EXIT_BAD_COMMAND_LINE = 87,   // the command line is wrong
    QUIET_EXIT_FAILED = 1603,           // a step failed or the run was stopped
    QUIET_EXIT_BUSY = 1618,             // another run of the program is in progress
    QUIET_EXIT_UNSUPPORTED = 1633,      // this platform is not supported
    QUIET_EXIT_RESTART = 3010           // done; a restart completes it
};

// The exit code a quiet run takes from a message it answered instead of
// showing it: none from the confirmations, a wrong command line from the
// usage, an unsupported platform from the version messages, and a failure
// from every other report or question.
int QuietExitForMessage(unsigned id);

// The run keeps its first failure; the later ones follow from it. A needed
// restart is no failure: any failure replaces it.
int MergeQuietExit(int current, int code);

// English name of a SetupAction for the log ("complete setup", ...).
const char *ActionName(int action);

// Copies text so that it stays on its log line and cannot be mistaken for an
// escape: every control character (0x00 to 0x1F, 0x7F) and the escape
// character '%' itself are written as '%' and two upper-case hex digits
// ("%0D%0A" for a line break, "%25" for '%'); every other byte is kept.
// 1 when it fits; out is always terminated, and a text that must be cut ends
// before an escape or a double-byte character that would not fit whole
// (isLeadByte flags lead bytes; may be null).
int EscapeForLog(char *out, size_t size, const char *text, int (*isLeadByte)(unsigned char));

// "YYYY-MM-DD hh:mm:ss.mmm", the start of every log line.
int FormatLogStamp(char *out, size_t size, unsigned year, unsigned month, unsigned day, unsigned hour,
                   unsigned minute, unsigned second, unsigned milliseconds);

#endif
