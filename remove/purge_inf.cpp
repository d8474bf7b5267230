// The purge of the INF that the setup library registered for the model. It is
// found by its content, never by its name: the setup library may have named
// it oemN.inf, and another vendor's oemN.inf must survive.
#include <windows.h>

#include <string.h>

#include "app/log.h"
#include "app/state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "remove/purge_run.h"

enum { INF_MAX_BYTES = 1024 * 1024 };

typedef BOOL (WINAPI *UninstallOemInfProc)(PCSTR, DWORD, PVOID);

// The whole file in a global block the caller frees; 0 when it cannot be read
// (or is larger than any INF of the model).
static BYTE *ReadWholeFile(const char *path, DWORD *size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BYTE *content = 0;
    *size = GetFileSize(file, 0);
    if (*size != INVALID_FILE_SIZE && *size <= INF_MAX_BYTES)
        content = (BYTE *)GlobalAlloc(GMEM_FIXED, *size ? *size : 1);
    DWORD read = 0;
    if (content && (!ReadFile(file, content, *size, &read, 0) || read != *size)) {
        GlobalFree(content);
        content = 0;
    }
    CloseHandle(file);
    return content;
}

static int SameContent(const char *path, const BYTE *expected, DWORD size)
{
    DWORD found = 0;
    BYTE *content = ReadWholeFile(path, &found);
    int same = content && found == size && memcmp(content, expected, size) == 0;
    if (content)
        GlobalFree(content);
    return same;
}

// The precompiled form the setup library keeps beside an INF.
static void PurgePrecompiled(PurgeRun *run, const char *infPath)
{
    char path[PATH_CHARS];
    size_t length = strlen(infPath);
    if (length > 4 && CopyText(path, sizeof path, infPath)) {
        memcpy(path + length - 4, ".pnf", 4);
        PurgeFile(run, path);
    }
}

static void PurgeOneInf(PurgeRun *run, const char *folder, const char *name)
{
    char path[PATH_CHARS];
    if (!FormatText(path, sizeof path, "%s\\%s", folder, name))
        return;
    UninstallOemInfProc uninstall = g_setup.setupLibrary
        ? (UninstallOemInfProc)(void *)GetProcAddress(g_setup.setupLibrary, "SetupUninstallOEMInfA") : 0;
    if (uninstall) {
        BOOL done = uninstall(name, 0, 0);
        DWORD error = GetLastError();
        if (done)
            LogLine("setup library: SetupUninstallOEMInfA %s: ok", name);
        else
            LogLine("setup library: SetupUninstallOEMInfA %s: failed, error %lu", name, (unsigned long)error);
    } else {
        LogLine("setup library: SetupUninstallOEMInfA not available");
    }
    // Whatever the library said, what counts is whether the files are gone.
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        PurgeFile(run, path);
    else
        LogLine("purged %s (by the setup library)", path);
    PurgePrecompiled(run, path);
}

void PurgeRegisteredInf(PurgeRun *run, int row)
{
    const FileEntry *first = g_platforms[row].driverFiles;
    char relative[PATH_CHARS];
    char media[PATH_CHARS];
    char folder[PATH_CHARS];
    char pattern[PATH_CHARS];
    // The media's INF, below the working folder of the start.
    if (!first || !first->name || !FormatText(relative, sizeof relative, MODEL_INF_FORMAT, first->sourceFolder)
        || !FormatText(media, sizeof media, "%s\\%s", SOURCE_ROOT_NAME, relative)) {
        LogLine("no INF of this model looked for: its path on the media does not fit");
        return;
    }
    DWORD size = 0;
    BYTE *ours = ReadWholeFile(media, &size);
    if (!ours) {
        char shown[PATH_CHARS];
        LogLine("no INF of this model looked for: the media's %s cannot be read, error %lu",
                LogPath(media, shown, sizeof shown), (unsigned long)GetLastError());
        return;
    }
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    int matches = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;
    if (length && length < sizeof folder && CopyText(folder + length, sizeof folder - length, "\\inf")
        && FormatText(pattern, sizeof pattern, "%s\\*.inf", folder))
        search = FindFirstFileA(pattern, &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        char path[PATH_CHARS];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found.nFileSizeHigh || found.nFileSizeLow != size
            || !FormatText(path, sizeof path, "%s\\%s", folder, found.cFileName) || !SameContent(path, ours, size))
            continue;
        matches++;
        PurgeOneInf(run, folder, found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    if (!matches)
        LogLine("no INF of this model in %s", folder);
    GlobalFree(ours);
}
