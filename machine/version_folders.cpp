#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "catalog/records.h"
#include "machine/version_folders.h"
#include "run/state.h"

enum { RECORD_NAMES = 16 };

// The file names of the row's driver record, each once.
static size_t RecordNames(int row, DriverRecord *record, const char **names)
{
    size_t count = 0;
    if (!BuildDriverRecord(row, record))
        return 0;
    const char *fixed[] = { record->driverPath, record->dataFile, record->configFile, record->helpFile };
    for (size_t i = 0; i < sizeof fixed / sizeof fixed[0]; i++)
        if (fixed[i] && *fixed[i])
            names[count++] = fixed[i];
    for (const char *file = record->dependentFiles; *file && count < RECORD_NAMES; file += strlen(file) + 1)
        names[count++] = file;
    size_t kept = 0;
    for (size_t i = 0; i < count; i++) {
        size_t j = 0;
        while (j < kept && !SameTextIgnoringAsciiCase(names[j], names[i]))
            j++;
        if (j == kept)
            names[kept++] = names[i];
    }
    return kept;
}

// The record's files in one version folder.
static void VisitFolder(const char *folder, const char *const *names, size_t count, VersionCopy visit, void *context)
{
    for (size_t i = 0; i < count; i++) {
        char path[PATH_CHARS];
        if (FormatText(path, sizeof path, "%s\\%s\\%s", g_setup.driverFolder, folder, names[i]))
            visit(context, path, GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES);
    }
}

int ForEachVersionCopy(int row, VersionCopy visit, void *context)
{
    DriverRecord record;
    const char *names[RECORD_NAMES];
    size_t count = RecordNames(row, &record, names);
    // The spooler's version folders for Windows 9x drivers, and kernel- and
    // user-mode NT drivers: a registration copies into one, perhaps new.
    static const char *const kVersions[] = { "0", "2", "3" };
    int seen[3] = { 0, 0, 0 };
    char pattern[PATH_CHARS];
    if (!FormatText(pattern, sizeof pattern, "%s\\*", g_setup.driverFolder)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        return 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || strcmp(entry.cFileName, ".") == 0
            || strcmp(entry.cFileName, "..") == 0)
            continue;
        for (int i = 0; i < 3; i++)
            seen[i] |= strcmp(entry.cFileName, kVersions[i]) == 0;
        VisitFolder(entry.cFileName, names, count, visit, context);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    for (int i = 0; i < 3; i++)
        if (!seen[i])
            VisitFolder(kVersions[i], names, count, visit, context);
    return 1;
}
