// The command line's pure rules: its tokens and switches (no Windows dependency).
#ifndef TARV_SWITCHES_H
#define TARV_SWITCHES_H

#include <stddef.h>

#include "run/request.h"

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
