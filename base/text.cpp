#include "base/text.h"

#include <stdarg.h>
#include <string.h>

// Output that stops at the buffer's end and remembers whether it had to.
struct Sink {
    char *out;
    size_t size;  // room, the terminator included
    size_t used;
    int cut;
};

static void Put(Sink *sink, char c)
{
    if (sink->used + 1 < sink->size)
        sink->out[sink->used++] = c;
    else
        sink->cut = 1;
}

static void PutRepeated(Sink *sink, char c, size_t count)
{
    for (; count; count--)
        Put(sink, c);
}

struct Conversion {
    int leftAlign;
    int zeroPad;
    size_t width;
    int hasPrecision;
    size_t precision;
    int isLong;
};

// Reads flags, width, precision and the 'l' of one conversion (after the '%').
static const char *ReadConversion(const char *format, Conversion *conversion)
{
    conversion->leftAlign = conversion->zeroPad = conversion->hasPrecision = conversion->isLong = 0;
    conversion->width = conversion->precision = 0;
    for (;; format++) {
        if (*format == '-')
            conversion->leftAlign = 1;
        else if (*format == '0')
            conversion->zeroPad = 1;
        else
            break;
    }
    for (; *format >= '0' && *format <= '9'; format++)
        conversion->width = conversion->width * 10 + (size_t)(*format - '0');
    if (*format == '.') {
        conversion->hasPrecision = 1;
        for (format++; *format >= '0' && *format <= '9'; format++)
            conversion->precision = conversion->precision * 10 + (size_t)(*format - '0');
    }
    if (*format == 'l') {
        conversion->isLong = 1;
        format++;
    }
    return format;
}

static void PutPadded(Sink *sink, const Conversion *conversion, const char *prefix, size_t prefixLength,
                      size_t zeros, const char *body, size_t bodyLength)
{
    size_t length = prefixLength + zeros + bodyLength;
    size_t padding = conversion->width > length ? conversion->width - length : 0;
    if (!conversion->leftAlign)
        PutRepeated(sink, ' ', padding);
    for (size_t i = 0; i < prefixLength; i++)
        Put(sink, prefix[i]);
    PutRepeated(sink, '0', zeros);
    for (size_t i = 0; i < bodyLength; i++)
        Put(sink, body[i]);
    if (conversion->leftAlign)
        PutRepeated(sink, ' ', padding);
}

static void PutNumber(Sink *sink, const Conversion *conversion, unsigned long magnitude, int negative,
                      unsigned base, int upper)
{
    const char *digitsOf = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[3 * sizeof(unsigned long)];
    size_t count = 0;
    do {
        digits[sizeof digits - 1 - count++] = digitsOf[magnitude % base];
        magnitude /= base;
    } while (magnitude);
    if (conversion->hasPrecision && conversion->precision == 0 && count == 1 && digits[sizeof digits - 1] == '0')
        count = 0;  // "%.0u" of 0 prints nothing
    size_t zeros = conversion->hasPrecision && conversion->precision > count ? conversion->precision - count : 0;
    size_t signLength = negative ? 1 : 0;
    if (conversion->zeroPad && !conversion->leftAlign && !conversion->hasPrecision
        && conversion->width > signLength + count)
        zeros = conversion->width - signLength - count;
    PutPadded(sink, conversion, "-", signLength, zeros, digits + sizeof digits - count, count);
}

int FormatTextV(char *out, size_t size, const char *format, va_list args)
{
    if (size == 0)
        return 0;
    Sink sink = { out, size, 0, 0 };
    while (*format) {
        if (*format != '%') {
            Put(&sink, *format++);
            continue;
        }
        const char *start = format++;
        Conversion conversion;
        format = ReadConversion(format, &conversion);
        switch (*format) {
        case '%':
            Put(&sink, '%');
            break;
        case 's': {
            const char *text = va_arg(args, const char *);
            if (!text)
                text = "(null)";
            size_t length = 0;
            while (text[length] && (!conversion.hasPrecision || length < conversion.precision))
                length++;
            conversion.zeroPad = 0;
            PutPadded(&sink, &conversion, "", 0, 0, text, length);
            break;
        }
        case 'c': {
            char c = (char)va_arg(args, int);
            conversion.zeroPad = 0;
            PutPadded(&sink, &conversion, "", 0, 0, &c, 1);
            break;
        }
        case 'd':
        case 'i': {
            long value = conversion.isLong ? va_arg(args, long) : va_arg(args, int);
            unsigned long magnitude = value < 0 ? 0ul - (unsigned long)value : (unsigned long)value;
            PutNumber(&sink, &conversion, magnitude, value < 0, 10, 0);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
            PutNumber(&sink, &conversion,
                      conversion.isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned int), 0,
                      *format == 'u' ? 10 : 16, *format == 'X');
            break;
        default:
            // Not a conversion this formatter knows: shown as written, no argument taken.
            for (; start < format && *start; start++)
                Put(&sink, *start);
            if (!*format)
                continue;
            Put(&sink, *format);
            break;
        }
        format++;
    }
    out[sink.used] = '\0';
    return !sink.cut;
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

void DropCutCharacter(char *text, int (*isLeadByte)(unsigned char))
{
    size_t at = 0;
    while (text[at]) {
        if (!isLeadByte((unsigned char)text[at])) {
            at++;
        } else if (text[at + 1]) {
            at += 2;
        } else {
            text[at] = '\0';
            return;
        }
    }
}

static char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

void UpperCaseAscii(char *text)
{
    for (; *text; text++)
        *text = UpperAscii(*text);
}

int StartsWithIgnoringAsciiCase(const char *text, const char *prefix)
{
    for (; *prefix; text++, prefix++)
        if (UpperAscii(*text) != UpperAscii(*prefix))
            return 0;
    return 1;
}

int SameTextIgnoringAsciiCase(const char *a, const char *b)
{
    for (; UpperAscii(*a) == UpperAscii(*b); a++, b++)
        if (*a == '\0')
            return 1;
    return 0;
}
