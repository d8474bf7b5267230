// The parsed command line and the pure rules behind it.
#ifndef TARV_REQUEST_H
#define TARV_REQUEST_H

#include <stddef.h>

enum SetupAction {
    ACTION_USAGE = 0,
    ACTION_COMPLETE_SETUP = 1,
    ACTION_SIMPLE_DELETION = 2,
    ACTION_SIMPLE_SETUP = 3,
    ACTION_COMPLETE_DELETION = 4,
    ACTION_VERIFY = 5,          // "/VERIFY": compares the machine with what a complete setup would leave
    ACTION_ROLLBACK = 6,        // "/ROLLBACK": undoes the setup whose journal "/KEEPUNDO" kept
    ACTION_COMMIT = 7           // "/COMMIT": ends that journal, keeping the setup
};

enum { REQUEST_PORT_CHARS = 80, REQUEST_PATH_CHARS = 512 };

// "/LOG=": the path as written; the last one counts.
struct LogSwitch {
    int given;         // a non-empty path that fits
    int pathTooLong;   // the path did not fit, so no log file can be named by it
    char path[REQUEST_PATH_CHARS];
};

struct SetupRequest {
    int action;    // SetupAction
    int platform;  // catalogue row, or PLATFORM_UNKNOWN
    int purge;     // "/PURGE": a complete deletion that leaves nothing of the printer behind
    int keepUndo;  // "/KEEPUNDO": a quiet setup that succeeds keeps its undo journal for "/ROLLBACK"
    // Unattended use, beside the switches above: none of them changes what those
    // do. "/QUIET" is found by HasQuietSwitch, wherever it stands.
    int portGiven;                    // "/PORT=": port holds the name, empty when it did not fit
    char port[REQUEST_PORT_CHARS];
    LogSwitch log;
    const char *unknownToken;         // the token that selected the usage, as written
};

// The command-line tail that WinMain receives, as the C runtime's start-up code
// gives it: the program name (up to its closing quote when it starts with one,
// otherwise up to the first blank or control character) and the blanks after
// it are skipped.
char *CommandLineTail(char *commandLine);

// Number of maximal runs of characters other than blank and tab.
int CountTokens(const char *text);

// Turns every blank and tab into a terminator and records each token's start;
// tokens[count] is left null. tokens must hold CountTokens(text) + 1 pointers.
void SplitTokens(char *text, char **tokens);

// Applies the tokens in order (upper-casing each recognised one in place). An
// unrecognised token selects the usage, is kept as unknownToken and ends the
// scan. The values of "/PORT=" and "/LOG=" keep their case.
void ApplyTokens(char **tokens, SetupRequest *request);

// 1 when a token of the command line starts with "/QUIET" in any case, wherever
// it stands: an unattended run must never wait for a person, not even after a
// word the scan above would stop at. The text is not changed.
int HasQuietSwitch(const char *text);

// Reads every "/LOG=" of the text, wherever it stands, into log (the last one
// counts): a quiet run logs where it was asked to even when a word before the
// switch is no switch. The text is not changed.
void FindLogSwitch(const char *text, LogSwitch *log);

// Appends "\r\n\t<code>" for each catalogue code to header, into out.
// Returns 0 when the result does not fit.
int BuildUsageText(const char *header, char *out, size_t size);

#endif
