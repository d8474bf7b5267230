#include "app/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int FormatTextV(char *out, size_t size, const char *format, va_list args)
{
    if (size == 0)
        return 0;
    int written = vsnprintf(out, size, format, args);
    out[size - 1] = '\0';  // older C runtimes leave a full buffer unterminated
    return written >= 0 && (size_t)written < size;
}

int FormatText(char *out, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int fits = FormatTextV(out, size, format, args);
    va_end(args);
    return fits;
}

int CopyText(char *out, size_t size, const char *src)
{
    if (size == 0)
        return 0;
    size_t length = strlen(src);
    if (length >= size) {
        memcpy(out, src, size - 1);
        out[size - 1] = '\0';
        return 0;
    }
    memcpy(out, src, length + 1);
    return 1;
}

void ShortenForDisplay(char *out, size_t size, const char *src,
                       int (*isLeadByte)(unsigned char))
{
    static const char kEllipsis[] = "...";
    if (size == 0)
        return;
    size_t length = strlen(src);
    if (length < size) {
        memcpy(out, src, length + 1);
        return;
    }
    if (size <= sizeof kEllipsis) {
        CopyText(out, size, kEllipsis);
        return;
    }
    size_t keep = size - sizeof kEllipsis;  // room left after "..." and terminator
    size_t start = length - keep;
    if (isLeadByte) {
        // Find the character boundary at or after start by walking from the beginning.
        size_t pos = 0;
        while (pos < start)
            pos += (isLeadByte((unsigned char)src[pos]) && src[pos + 1]) ? 2 : 1;
        start = pos;
    }
    memcpy(out, kEllipsis, sizeof kEllipsis - 1);
    memcpy(out + sizeof kEllipsis - 1, src + start, length - start + 1);
}

void UpperCaseAscii(char *text)
{
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z')
            *text = (char)(*text - 'a' + 'A');
}
