#include "machine/model_inf.h"

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "base/whole_file.h"
#include "catalog/catalog.h"
#include "run/log.h"
#include "run/state.h"

typedef BOOL (WINAPI *UninstallOemInfProc)(PCSTR, DWORD, PVOID);

int UninstallOemInf(const char *name)
{
    UninstallOemInfProc uninstall = g_setup.setupLibrary
        ? (UninstallOemInfProc)(void *)GetProcAddress(g_setup.setupLibrary, "SetupUninstallOEMInfA") : 0;
    return !uninstall ? -1 : uninstall(name, 0, 0) != 0;
}

int PrecompiledInfPath(char *path, size_t size)
{
    size_t length = strlen(path);
    if (length < 4 || !SameTextIgnoringAsciiCase(path + length - 4, ".inf"))
        return 0;
    memcpy(path + length - 4, ".pnf", 4);
    return 1;
}

static int SameContent(const char *path, const BYTE *expected, DWORD size)
{
    DWORD found = 0;
    BYTE *content = ReadWholeFile(path, INF_MAX_BYTES, &found);
    int same = content && found == size && memcmp(content, expected, size) == 0;
    if (content)
        GlobalFree(content);
    return same;
}

int InfFolderPath(char *path, size_t size)
{
    UINT length = GetWindowsDirectoryA(path, (UINT)size);
    if (length && length < size && FormatText(path + length, size - length, "%sinf", PathSeparatorAfter(path, IsLeadByte)))
        return 1;
    if (length)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
}

int FindInfsLike(const BYTE *ours, DWORD size, InfFound found, void *context)
{
    char folder[PATH_CHARS];
    char pattern[PATH_CHARS];
    // An empty INF would match every empty file of the folder.
    if (size == 0) {
        LogLine("the media's INF is empty");
        return -1;
    }
    int matches = -1;
    WIN32_FIND_DATAA entry;
    HANDLE search = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (!InfFolderPath(folder, sizeof folder)) {
        error = GetLastError();
    } else if (FormatText(pattern, sizeof pattern, "%s\\*.inf", folder)) {
        search = FindFirstFileA(pattern, &entry);
        error = search == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }
    if (search == INVALID_HANDLE_VALUE && error == ERROR_FILE_NOT_FOUND)
        matches = 0;  // no INF at all
    else if (search == INVALID_HANDLE_VALUE)
        LogLine("the INF folder cannot be read, error %lu", (unsigned long)error);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
        char path[PATH_CHARS];
        if (matches < 0)
            matches = 0;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || entry.nFileSizeHigh || entry.nFileSizeLow != size
            || !FormatText(path, sizeof path, "%s\\%s", folder, entry.cFileName) || !SameContent(path, ours, size))
            continue;
        matches++;
        found(context, folder, entry.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return matches;
}

int FindModelInfs(const char *mediaInf, InfFound found, void *context)
{
    DWORD size = 0;
    BYTE *ours = ReadWholeFile(mediaInf, INF_MAX_BYTES, &size);
    if (!ours) {
        LogLine("the media's INF %s cannot be read, error %lu", mediaInf, (unsigned long)GetLastError());
        return -1;
    }
    int matches = FindInfsLike(ours, size, found, context);
    GlobalFree(ours);
    return matches;
}
