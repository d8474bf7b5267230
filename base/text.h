// Bounded text helpers shared by every subsystem (no Windows dependency).
#ifndef TARV_TEXT_H
#define TARV_TEXT_H

#include <stdarg.h>
#include <stddef.h>

// Formats into out (size bytes). Returns 1 when the whole text fits, 0 when it
// had to be cut; out is always terminated.
int FormatText(char *out, size_t size, const char *format, ...);
int FormatTextV(char *out, size_t size, const char *format, va_list args);

// Copies src into out; 1 when it fits, 0 when cut (out still terminated).
int CopyText(char *out, size_t size, const char *src);

// Display form of a text that may be longer than its buffer: a text that fits
// is copied unchanged, a longer one keeps its end behind "..." so that the
// meaningful tail of a path stays readable. Bytes of a double-byte character
// are never split when lead bytes are flagged by isLeadByte (may be null).
void ShortenForDisplay(char *out, size_t size, const char *src,
                       int (*isLeadByte)(unsigned char));

// Drops a lead byte left without its trail byte at the end of a text that was
// cut to its buffer, so that the text ends with a whole character. Lead bytes
// are flagged by isLeadByte; the walk starts at the beginning, since a trail
// byte can have the value of a lead byte.
void DropCutCharacter(char *text, int (*isLeadByte)(unsigned char));

// Converts a to z into A to Z in place; no other byte changes.
void UpperCaseAscii(char *text);

// 1 when both texts are equal once a to z count as A to Z.
int SameTextIgnoringAsciiCase(const char *a, const char *b);

// 1 when text starts with prefix once a to z count as A to Z.
int StartsWithIgnoringAsciiCase(const char *text, const char *prefix);

// 1 for the lead byte of a double-byte character in the system's ANSI code
// page. Defined on the Windows side (base/lead_byte.cpp); the portable helpers
// take it as a parameter.
int IsLeadByte(unsigned char c);

#endif
