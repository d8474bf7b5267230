#include "install/port_line.h"

#include <string.h>

#include "base/text.h"

static const char kOpen[] = "  (";
static const char kClose[] = ")";
static const char kCutClose[] = "...)";

// Length of the longest start of text that is at most limit bytes and does
// not end inside a double-byte character.
static size_t CharBoundary(const char *text, size_t limit, int (*isLeadByte)(unsigned char))
{
    size_t length = strlen(text);
    if (length <= limit)
        return length;
    if (!isLeadByte)
        return limit;
    size_t pos = 0;
    for (;;) {
        size_t step = (isLeadByte((unsigned char)text[pos]) && text[pos + 1]) ? 2 : 1;
        if (pos + step > limit)
            return pos;
        pos += step;
    }
}

int FormatPortLine(char *out, size_t size, const char *name, const char *description,
                   int (*isLeadByte)(unsigned char))
{
    if (!out || size == 0 || !name || !name[0])
        return 0;
    if (!description)
        description = "";
    size_t nameLength = strlen(name);
    if (nameLength >= size) {
        out[0] = '\0';
        return 0;
    }
    if (FormatText(out, size, "%s%s%s%s", name, kOpen, description, kClose))
        return 1;
    size_t fixed = nameLength + (sizeof kOpen - 1) + (sizeof kCutClose - 1);
    if (fixed < size - 1) {
        size_t keep = CharBoundary(description, size - 1 - fixed, isLeadByte);
        memcpy(out, name, nameLength);
        char *at = out + nameLength;
        memcpy(at, kOpen, sizeof kOpen - 1);
        at += sizeof kOpen - 1;
        memcpy(at, description, keep);
        at += keep;
        memcpy(at, kCutClose, sizeof kCutClose);
        return 1;
    }
    return CopyText(out, size, name);
}

int PortNameFromLine(char *out, size_t size, const char *line)
{
    if (!out || size == 0 || !line)
        return 0;
    const char *blank = strchr(line, ' ');
    size_t length = blank ? (size_t)(blank - line) : strlen(line);
    if (length >= size) {
        out[0] = '\0';
        return 0;
    }
    memcpy(out, line, length);
    out[length] = '\0';
    return 1;
}
