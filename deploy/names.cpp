#include "deploy/names.h"

#include <string.h>

#include "app/text.h"
#include "catalog/catalog.h"

static const char kBackupExtension[] = ".bku";

int MakeBackupName(char *name, size_t size)
{
    size_t length = strlen(name);
    const char *dot = strrchr(name, '.');
    size_t stem = dot ? (size_t)(dot - name) : length;
    if (stem + sizeof kBackupExtension > size)
        return 0;
    memcpy(name + stem, kBackupExtension, sizeof kBackupExtension);
    return 1;
}

int AppendSourceRoot(char *folder, size_t size)
{
    size_t length = strlen(folder);
    // Only a drive root ends with a backslash; testing the last byte alone
    // would misread the trail byte of a double-byte character.
    int driveRoot = length == 3 && folder[1] == ':' && folder[2] == '\\';
    const char *separator = driveRoot ? "" : "\\";
    if (length >= size)
        return 0;
    char *end = folder + length;
    if (!FormatText(end, size - length, "%s%s", separator, SOURCE_ROOT_NAME)) {
        *end = '\0';
        return 0;
    }
    return 1;
}

int FormatFileSize(char *out, size_t size, unsigned long long bytes)
{
    return FormatText(out, size, "%lu", (unsigned long)(bytes & 0xFFFFFFFFull));
}

int FormatFileTime(char *out, size_t size, unsigned day, unsigned month, unsigned year,
                   unsigned hour, unsigned minute, unsigned second)
{
    return FormatText(out, size, "%.2u/%.2u/%.2u %.2u:%.2u:%.2u", day, month, year % 100,
                      hour, minute, second);
}
