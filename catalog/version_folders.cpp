#include <windows.h>

#include <string.h>

#include "app/state.h"
#include "app/text.h"
#include "catalog/version_folders.h"
#include "install/records.h"

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

int ForEachVersionCopy(int row, VersionCopy visit, void *context)
{
    DriverRecord record;
    const char *names[RECORD_NAMES];
    size_t count = RecordNames(row, &record, names);
    char pattern[PATH_CHARS];
    if (!FormatText(pattern, sizeof pattern, "%s\\*", g_setup.driverFolder)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || strcmp(entry.cFileName, ".") == 0
            || strcmp(entry.cFileName, "..") == 0)
            continue;
        for (size_t i = 0; i < count; i++) {
            char path[PATH_CHARS];
            if (FormatText(path, sizeof path, "%s\\%s\\%s", g_setup.driverFolder, entry.cFileName, names[i]))
                visit(context, path, GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return 1;
}
