#include "remove/purge_names.h"

#include <string.h>

#include "app/text.h"
#include "catalog/catalog.h"
#include "deploy/names.h"
#include "install/records.h"

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

const char *PathFileName(const char *path, int (*isLeadByte)(unsigned char))
{
    const char *name = path;
    for (const char *at = path; *at; at++) {
        if (isLeadByte((unsigned char)*at) && at[1])
            at++;
        else if (*at == '\\')
            name = at + 1;
    }
    return name;
}

const char *PathSeparatorAfter(const char *folder, int (*isLeadByte)(unsigned char))
{
    return *folder && !*PathFileName(folder, isLeadByte) ? "" : "\\";
}

void PathFolder(char *out, size_t size, const char *path, int (*isLeadByte)(unsigned char))
{
    const char *name = PathFileName(path, isLeadByte);
    size_t length = name > path ? (size_t)(name - path) - 1 : 0;
    if (length >= size)
        length = size - 1;
    memcpy(out, path, length);
    out[length] = '\0';
}

int StartsWithFolder(const char *path, const char *folder)
{
    size_t length = strlen(folder);
    return length && StartsWithIgnoringAsciiCase(path, folder) && path[length] == '\\';
}

int InVersionFolder(const char *path, const char *driverFolder, int (*isLeadByte)(unsigned char))
{
    size_t length = strlen(driverFolder);
    if (!StartsWithFolder(path, driverFolder))
        return 0;
    // What follows is "<folder>\<name>": one backslash, neither part empty,
    // neither "." nor "..", and no '/', which Windows reads as a backslash.
    const char *rest = path + length + 1;
    const char *separator = 0;
    for (const char *at = rest; *at; at++) {
        if (isLeadByte((unsigned char)*at) && at[1]) {
            at++;
        } else if (*at == '/') {
            return 0;
        } else if (*at == '\\') {
            if (separator)
                return 0;
            separator = at;
        }
    }
    if (!separator || separator == rest || separator[1] == '\0')
        return 0;
    const char *name = separator + 1;
    size_t folderLength = (size_t)(separator - rest);
    return !((folderLength == 1 && rest[0] == '.') || (folderLength == 2 && rest[0] == '.' && rest[1] == '.')
             || strcmp(name, ".") == 0 || strcmp(name, "..") == 0);
}
