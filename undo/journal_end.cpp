// Ending the undo journal, or recovering one an earlier run left. Every
// record is checked before any is applied; the undo marks each step done in
// the journal before it takes the next, so that a recovery cut short is
// finished by the next run without doing a step twice.
#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "base/unique_name.h"
#include "base/whole_file.h"
#include "machine/folders.h"
#include "run/log.h"
#include "run/state.h"
#include "undo/journal.h"

struct Record {
    int type;
    const BYTE *data;
    DWORD size;
    int undone;
};

struct Reading {
    const JournalRules *rules;
    Record *records;
    const char *invalid;  // why the first record that fails the checks does
    int done, rollback;
    const BYTE *content;
    DWORD end;            // of the last whole record
};

static void Collect(void *context, size_t index, int type, const unsigned char *data, size_t size)
{
    Reading *reading = (Reading *)context;
    const char *why = CheckJournalRecord(reading->rules, index, type, data, size);
    if (why && !reading->invalid)
        reading->invalid = why;
    Record *record = &reading->records[index];
    record->type = type;
    record->data = data;
    record->size = (DWORD)size;
    reading->end = (DWORD)(data + size - reading->content);
    if (type == JOURNAL_DONE)
        reading->done = 1;
    if (type == JOURNAL_ROLLBACK)
        reading->rollback = 1;
    uint32_t undone;
    if (type == JOURNAL_UNDONE && !why) {
        memcpy(&undone, data, sizeof undone);
        reading->records[undone].undone = 1;
    }
}

// Records after the last whole one, written through: a record cut short
// at the end goes first, so that no mark is read as part of it.
static HANDLE OpenToAppend(const char *path, DWORD end)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, 0);
    if (file != INVALID_HANDLE_VALUE && (SetFilePointer(file, (LONG)end, 0, FILE_BEGIN) != end || !SetEndOfFile(file))) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    return file;
}

// A file the checks refuse is never applied: it is kept, beside where it was.
static int SetAside(const char *path, const char *why)
{
    char aside[PATH_CHARS];
    DWORD error = GetLastError();
    if (UniqueNameBeside(path, aside) && MoveFileA(path, aside)) {
        LogLine("warning: undo journal %s not applied, %s; moved to %s", path, why, aside);
        return 1;
    }
    LogLine("undo journal %s not applied, %s; it cannot be moved aside, error %lu", path, why,
            (unsigned long)GetLastError());
    SetLastError(error);
    return 0;
}

// A copy whose restore has not been confirmed stays: a later CHANGE record
// names it and is not undone.
static int CopyStillNeeded(const Record *records, long count, long index)
{
    const char *copy = RecordCopyName(records[index].data);
    for (long later = index + 1; later < count; later++)
        if (records[later].type == JOURNAL_CHANGE && !records[later].undone
            && SameTextIgnoringAsciiCase(RecordCopyName(records[later].data), copy))
            return 1;
    return 0;
}

// Each step back, last first, marked in marks once it is done. It stops at
// the first step that fails, or whose mark cannot be written: an earlier
// step may rely on it (an earlier queue comes back only once the new one is
// gone), and the next run goes on from there. 1 when all are done.
static int UndoAll(HANDLE marks, Record *records, long count)
{
    for (long i = count - 1; i >= 0; i--) {
        Record *record = &records[i];
        if (record->undone || record->type > JOURNAL_SERVICE_CREATED)
            continue;
        if (record->type == JOURNAL_COPY && CopyStillNeeded(records, count, i)) {
            LogLine("undo: kept %s, the copy of %s", RecordCopyName(record->data), (const char *)record->data);
            return 0;
        }
        uint32_t index = (uint32_t)i;
        if (!UndoRecord(record->type, record->data, record->size)
            || !WriteJournalRecord(marks, JOURNAL_UNDONE, &index, sizeof index, 0, 0))
            return 0;
        record->undone = 1;
    }
    return 1;
}

enum { JOURNAL_STAYS, JOURNAL_FINISHED, JOURNAL_SET_ASIDE };

// Ends the journal at path as its records say, or (rollback) undone
// whatever they say: JOURNAL_FINISHED, JOURNAL_SET_ASIDE when the checks
// refuse it, JOURNAL_STAYS (logged) when it stays for the next run.
static int Finish(const char *path, int rollback)
{
    DWORD size = 0;
    BYTE *content = ReadWholeFile(path, JOURNAL_MAX_BYTES, &size);
    if (!content) {
        // What cannot be read now (held, no memory) may be read by the next run.
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return JOURNAL_FINISHED;
        if (error == ERROR_FILE_TOO_LARGE)
            return SetAside(path, "it is too large") ? JOURNAL_SET_ASIDE : JOURNAL_STAYS;
        LogLine("undo journal %s stays: it cannot be read now, error %lu", path, (unsigned long)error);
        return JOURNAL_STAYS;
    }
    char kernelDriver[PATH_CHARS], infFolder[PATH_CHARS];
    JournalRules rules;
    JournalRulesHere(&rules, kernelDriver, infFolder, PATH_CHARS);
    long count = WalkJournal(content, size, 0, 0);
    Reading reading = { &rules, 0, 0, 0, 0, content, sizeof JOURNAL_MAGIC };
    reading.records = count > 0 ? (Record *)GlobalAlloc(GPTR, (SIZE_T)count * sizeof(Record)) : 0;
    int result = JOURNAL_STAYS;
    const char *aside = 0;
    if (count < 0)
        aside = "it is no journal of this program";
    else if (count > 0 && !reading.records)
        LogLine("undo journal %s: no memory to read it", path);
    else if (WalkJournal(content, size, Collect, &reading), reading.invalid)
        aside = reading.invalid;
    if (aside) {
        result = SetAside(path, aside) ? JOURNAL_SET_ASIDE : JOURNAL_STAYS;
    } else if (count >= 0 && (count == 0 || reading.records)) {
        // A journal that cannot take a mark is not undone: its steps could
        // not be told apart from those still to do.
        HANDLE marks = OpenToAppend(path, reading.end);
        if (marks == INVALID_HANDLE_VALUE
            || (rollback && !reading.rollback && !WriteJournalRecord(marks, JOURNAL_ROLLBACK, "", 0, 0, 0))) {
            LogLine("undo journal %s stays: it cannot be written, error %lu", path, (unsigned long)GetLastError());
        } else if (reading.done && !rollback && !reading.rollback) {
            // The setup succeeded: its copies go, and nothing else.
            for (long i = 0; i < count; i++)
                if (reading.records[i].type == JOURNAL_COPY)
                    UndoRecord(JOURNAL_COPY, reading.records[i].data, reading.records[i].size);
            result = JOURNAL_FINISHED;
        } else {
            LogLine("undo: the changes of the setup are undone, last first");
            if (UndoAll(marks, reading.records, count))
                result = JOURNAL_FINISHED;
            else
                LogLine("undo: not finished; the journal %s stays, and the next run goes on with it", path);
        }
        if (marks != INVALID_HANDLE_VALUE)
            CloseHandle(marks);
        if (result == JOURNAL_FINISHED && !DeleteFileA(path))
            LogLine("undo journal %s not deleted, error %lu", path, (unsigned long)GetLastError());
    }
    if (reading.records)
        GlobalFree(reading.records);
    GlobalFree(content);
    return result;
}

int CloseJournal(int succeeded, int kept)
{
    UndoJournal *journal = &g_setup.journal;
    if (!journal->file)
        return 1;
    CloseHandle(journal->file);
    journal->file = 0;
    if (succeeded && kept) {
        LogLine("undo journal %s kept until the installation commits or rolls back", journal->path);
        return 1;
    }
    // Its own journal refused by the checks has undone nothing.
    return Finish(journal->path, 0) == JOURNAL_FINISHED;
}

static void ReadFlags(void *context, size_t, int type, const unsigned char *, size_t)
{
    Reading *reading = (Reading *)context;
    reading->done |= type == JOURNAL_DONE;
    reading->rollback |= type == JOURNAL_ROLLBACK;
}

int JournalLeft()
{
    char path[PATH_CHARS];
    DWORD size = 0;
    if (!JournalPath(path, sizeof path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return JOURNAL_LEFT_NONE;
    BYTE *content = ReadWholeFile(path, JOURNAL_MAX_BYTES, &size);
    Reading reading = { 0, 0, 0, 0, 0, 0, 0 };
    if (content) {
        WalkJournal(content, size, ReadFlags, &reading);
        GlobalFree(content);
    }
    return reading.done && !reading.rollback ? JOURNAL_LEFT_DONE : JOURNAL_LEFT_UNDONE;
}

int RecoverJournal(int rollback)
{
    char path[PATH_CHARS];
    if (!JournalPath(path, sizeof path)) {
        LogLine("undo journal: the state folder cannot be had, error %lu", (unsigned long)GetLastError());
        return 0;
    }
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        // A setup that failed was undone already: nothing is left to roll back.
        if (rollback)
            LogLine("undo journal %s: none to roll back", path);
        return 1;
    }
    LogLine(rollback ? "undo journal %s: the installation rolls its setup back"
                     : "undo journal %s: an earlier run left it", path);
    // The records may name only files in the target folders.
    if (!GetTargetFolders()) {
        LogLine("undo journal %s stays: the target folders are unknown, error %lu", path, (unsigned long)GetLastError());
        return 0;
    }
    // One set aside is as none for a run that goes on; a rollback has undone nothing.
    int result = Finish(path, rollback);
    return result == JOURNAL_FINISHED || (result == JOURNAL_SET_ASIDE && !rollback);
}
