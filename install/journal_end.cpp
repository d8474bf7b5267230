// Ending the undo journal, or recovering one a cut-short run left. A record
// cut short by the end of a run announces a change that never began and is
// left out.
#include <windows.h>

#include <string.h>

#include "app/log.h"
#include "app/state.h"
#include "app/whole_file.h"
#include "catalog/folders.h"
#include "install/journal.h"

enum { JOURNAL_MAX_BYTES = 4 * 1024 * 1024 };

typedef void (*RecordVisit)(void *context, int type, const BYTE *data, DWORD size);

// Calls visit for each whole record, first to last or last to first.
static void WalkRecords(const BYTE *content, DWORD size, int backwards, RecordVisit visit, void *context)
{
    DWORD *offsets = (DWORD *)GlobalAlloc(GMEM_FIXED, (size / sizeof(JournalRecordHeader) + 1) * sizeof(DWORD));
    if (!offsets) {
        LogLine("undo journal: no memory to read it");
        return;
    }
    DWORD count = 0;
    for (DWORD at = sizeof JOURNAL_MAGIC; at + sizeof(JournalRecordHeader) <= size;) {
        JournalRecordHeader header;
        memcpy(&header, content + at, sizeof header);
        if (header.size > size - at - sizeof header)
            break;  // cut short: its change never began
        offsets[count++] = at;
        at += sizeof header + header.size;
    }
    for (DWORD i = 0; i < count; i++) {
        JournalRecordHeader header;
        DWORD at = offsets[backwards ? count - 1 - i : i];
        memcpy(&header, content + at, sizeof header);
        visit(context, (int)header.type, content + at + sizeof header, header.size);
    }
    GlobalFree(offsets);
}

static void FindDone(void *done, int type, const BYTE *, DWORD)
{
    if (type == JOURNAL_DONE)
        *(int *)done = 1;
}

// After a setup that succeeded only the copies go.
static void DeleteCopy(void *, int type, const BYTE *data, DWORD size)
{
    if (type == JOURNAL_COPY)
        UndoRecord(type, data, size);
}

static void Undo(void *, int type, const BYTE *data, DWORD size)
{
    UndoRecord(type, data, size);
}

// Ends the journal read from path: finished, or undone when its setup did not succeed.
static void Finish(const char *path, int succeeded)
{
    DWORD size = 0;
    BYTE *content = ReadWholeFile(path, JOURNAL_MAX_BYTES, &size);
    if (!content || size < sizeof JOURNAL_MAGIC || memcmp(content, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC) != 0) {
        LogLine("undo journal %s cannot be read, error %lu; it is deleted", path, (unsigned long)GetLastError());
    } else {
        int done = succeeded;
        WalkRecords(content, size, 0, FindDone, &done);
        if (!done)
            LogLine("undo: the changes of the setup are undone, last first");
        WalkRecords(content, size, !done, done ? DeleteCopy : Undo, 0);
    }
    if (content)
        GlobalFree(content);
    DeleteFileA(path);
}

void CloseJournal(int succeeded)
{
    UndoJournal *journal = &g_setup.journal;
    if (!journal->file)
        return;
    if (succeeded)
        JournalAdd(JOURNAL_DONE, "", 0);
    CloseHandle(journal->file);
    journal->file = 0;
    Finish(journal->path, succeeded);
}

int JournalLeft()
{
    char path[PATH_CHARS];
    return JournalPath(path, sizeof path, 0) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void RecoverJournal()
{
    char path[PATH_CHARS];
    if (!JournalPath(path, sizeof path, 0) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return;
    LogLine("undo journal %s: a setup that did not end left it", path);
    GetTargetFolders();  // the journal may name only files in them
    Finish(path, 0);
}
