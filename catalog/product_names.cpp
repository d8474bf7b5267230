#include "catalog/product_names.h"

#include <string.h>

#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "catalog/records.h"

static int SameName(const char *a, const char *b)
{
    return a && b && SameTextIgnoringAsciiCase(a, b);
}

int IsModelDriverFile(int row, const char *name)
{
    if (row < 0 || row >= PLATFORM_COUNT || !name || !*name)
        return 0;
    for (const FileEntry *entry = g_platforms[row].driverFiles; entry && entry->name; entry++)
        if (SameName(entry->name, name))
            return 1;
    DriverRecord record;
    if (!BuildDriverRecord(row, &record))
        return 0;
    if (SameName(record.driverPath, name) || SameName(record.dataFile, name) || SameName(record.configFile, name)
        || SameName(record.helpFile, name))
        return 1;
    for (const char *file = record.dependentFiles; *file; file += strlen(file) + 1)
        if (SameName(file, name))
            return 1;
    return 0;
}

static int InList(const FileEntry *list, const char *name, int backups)
{
    for (; list && list->name; list++) {
        char backup[BACKUP_NAME_CHARS];
        if (SameName(list->name, name)
            || (backups && CopyText(backup, sizeof backup, list->name) && MakeBackupName(backup, sizeof backup)
                && SameName(backup, name)))
            return 1;
    }
    return 0;
}

int IsProductFileName(const char *name)
{
    if (SameName(name, "hwbridge.sys"))
        return 1;
    for (int row = 0; row < PLATFORM_COUNT; row++)
        if (IsModelDriverFile(row, name) || InList(g_platforms[row].driverFiles, name, 1)
            || InList(g_platforms[row].systemFiles, name, 1) || InList(GetCommonFiles(row), name, 1))
            return 1;
    return 0;
}

int IsModelInfCopyName(const char *name, const char *extension)
{
    char own[16];
    size_t length = strlen(name), stem = length - strlen(extension);
    if (length <= strlen(extension) || !SameTextIgnoringAsciiCase(name + stem, extension)
        || !FormatText(own, sizeof own, MODEL_INF_FORMAT, ""))
        return 0;
    own[strlen(own) - 4] = '\0';
    if (stem == strlen(own) && StartsWithIgnoringAsciiCase(name, own))
        return 1;
    if (stem < 4 || !StartsWithIgnoringAsciiCase(name, "oem"))
        return 0;
    for (size_t i = 3; i < stem; i++)
        if (name[i] < '0' || name[i] > '9')
            return 0;
    return 1;
}
