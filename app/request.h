// The parsed command line and the pure rules behind it.
#ifndef TARV_REQUEST_H
#define TARV_REQUEST_H

#include <stddef.h>

enum SetupAction {
    ACTION_USAGE = 0,
    ACTION_COMPLETE_SETUP = 1,
    ACTION_SIMPLE_DELETION = 2,
    ACTION_SIMPLE_SETUP = 3,
    ACTION_COMPLETE_DELETION = 4
};

struct SetupRequest {
    int action;    // SetupAction
    int platform;  // catalogue row, or PLATFORM_UNKNOWN
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

// Applies the tokens in order (upper-casing each in place). An unrecognised
// token selects the usage and ends the scan.
void ApplyTokens(char **tokens, SetupRequest *request);

// Appends "\r\n\t<code>" for each catalogue code to header, into out.
// Returns 0 when the result does not fit.
int BuildUsageText(const char *header, char *out, size_t size);

#endif
