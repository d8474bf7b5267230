#include "catalog/names.h"

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
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

int MediaFilePath(char *path, size_t size, const char *sourceFolder, const char *name)
{
    return FormatText(path, size, "%s\\%s%s", SOURCE_ROOT_NAME, sourceFolder, name);
}

int ModelInfMediaPath(int row, char *path, size_t size, int belowSourceRoot)
{
    const FileEntry *first = g_platforms[row].driverFiles;
    char inner[PATH_CHARS];
    return first && first->name && FormatText(inner, sizeof inner, MODEL_INF_FORMAT, first->sourceFolder)
           && FormatText(path, size, belowSourceRoot ? "%s" : "%s\\%s", belowSourceRoot ? inner : SOURCE_ROOT_NAME,
                         inner);
}
