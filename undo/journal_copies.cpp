// The spooler's copies of the driver's files in its version folders change
// when the driver is registered: those there are kept before, and so are
// those it would add to its own version folder; any it adds elsewhere is
// recorded after.
#include <windows.h>

#include <string.h>

#include "base/text.h"
#include "machine/version_folders.h"
#include "run/log.h"
#include "run/state.h"
#include "undo/journal.h"

enum { VERSION_COPIES_BYTES = 16 * 1024 };

struct Scan {
    VersionCopies *before;
    int ok;
};

static void KeepBefore(void *context, const char *path, int)
{
    Scan *scan = (Scan *)context;
    VersionCopies *before = scan->before;
    size_t length = strlen(path) + 1;
    if (!scan->ok)
        return;
    if (before->used + length > before->size || !JournalSaveFile(path)) {
        scan->ok = 0;
        return;
    }
    memcpy(before->paths + before->used, path, length);
    before->used += length;
}

int JournalVersionCopies(int row, VersionCopies *before)
{
    before->used = 0;
    before->size = VERSION_COPIES_BYTES;
    before->paths = 0;
    if (!g_setup.journal.file)
        return 1;
    before->paths = (char *)GlobalAlloc(GMEM_FIXED, before->size);
    Scan scan = { before, before->paths != 0 };
    if (scan.ok && !ForEachVersionCopy(row, KeepBefore, &scan))
        scan.ok = 0;
    if (!scan.ok)
        LogLine("undo journal: the spooler's copies of the driver's files cannot be kept, error %lu",
                (unsigned long)GetLastError());
    return scan.ok;
}

struct NewCopies {
    const VersionCopies *before;
    int ok;
};

static void RecordNew(void *context, const char *path, int exists)
{
    NewCopies *scan = (NewCopies *)context;
    const VersionCopies *before = scan->before;
    if (!exists)
        return;
    for (size_t at = 0; at < before->used; at += strlen(before->paths + at) + 1)
        if (SameTextIgnoringAsciiCase(before->paths + at, path))
            return;
    if (!JournalCreated(path))
        scan->ok = 0;
}

int JournalNewVersionCopies(int row, VersionCopies *before)
{
    if (!before->paths)
        return 1;
    NewCopies scan = { before, 1 };
    if (!ForEachVersionCopy(row, RecordNew, &scan))
        scan.ok = 0;
    GlobalFree(before->paths);
    before->paths = 0;
    return scan.ok;
}
