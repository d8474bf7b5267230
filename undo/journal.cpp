// Writing the undo journal: a file of records [type, size, data], each
// written before the change it announces, so that the records read back name
// every change that may have happened.
#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/state_folder.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "base/unique_name.h"
#include "run/log.h"
#include "run/state.h"
#include "undo/journal.h"

int JournalPath(char *path, size_t size)
{
    size_t length;
    if (!GetStateFolder(path, size, 1))
        return 0;
    length = strlen(path);
    return FormatText(path + length, size - length, "\\%s", JOURNAL_FILE_NAME);
}

static int Write(HANDLE file, const void *data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, 0) && written == size;
}

int OpenJournal()
{
    UndoJournal *journal = &g_setup.journal;
    if (!JournalPath(journal->path, sizeof journal->path)) {
        LogLine("undo journal: the state folder cannot be had, error %lu; nothing was changed", (unsigned long)GetLastError());
        return 0;
    }
    // Written through, so that a change is never on the disk before its
    // record; a new file, never one (or a link) someone put under its name,
    // with rights for the system account and the Administrators only.
    SECURITY_ATTRIBUTES security;
    BYTE descriptor[OWN_RIGHTS_BYTES];
    int nt = RunsOnNtFamily();
    HANDLE file = CreateFileA(journal->path, GENERIC_WRITE, 0, OwnRights(&security, descriptor), CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | (nt ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                              0);
    if (file == INVALID_HANDLE_VALUE || !Write(file, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC)) {
        LogLine("undo journal %s not written, error %lu; nothing was changed", journal->path, (unsigned long)GetLastError());
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            DeleteFileA(journal->path);
        }
        return 0;
    }
    journal->file = file;
    return 1;
}

// A record in one write: the journal is written through, so that every
// write is a trip to the disk.
int WriteJournalRecord(HANDLE file, int type, const void *first, DWORD firstSize, const void *second, DWORD secondSize)
{
    JournalRecordHeader header = { (uint32_t)type, firstSize + secondSize };
    DWORD total = (DWORD)sizeof header + firstSize + secondSize;
    BYTE *record = (BYTE *)GlobalAlloc(GMEM_FIXED, total);
    int written = 0;
    if (record) {
        memcpy(record, &header, sizeof header);
        memcpy(record + sizeof header, first, firstSize);
        if (secondSize)
            memcpy(record + sizeof header + firstSize, second, secondSize);
        written = Write(file, record, total);
        GlobalFree(record);
    }
    if (!written)
        LogLine("undo journal: a record cannot be written, error %lu", (unsigned long)GetLastError());
    return written;
}

// After a write that failed, part of it may be on the disk: nothing more is
// written, so that no record is read as part of the torn one.
static int Add(int type, const void *first, DWORD firstSize, const void *second, DWORD secondSize)
{
    UndoJournal *journal = &g_setup.journal;
    if (!journal->file)
        return 1;
    if (!journal->broken && !WriteJournalRecord(journal->file, type, first, firstSize, second, secondSize))
        journal->broken = 1;
    return !journal->broken;
}

int JournalAdd(int type, const void *data, DWORD size)
{
    return Add(type, data, size, 0, 0);
}

int JournalAddBlock(int type, const void *block, DWORD size, const void *structure)
{
    JournalBlock header = { (uintptr_t)block, (uint32_t)((const BYTE *)structure - (const BYTE *)block), size };
    return Add(type, &header, sizeof header, block, size);
}

// Two paths, each with its terminator, as the file records hold them.
static int AddPaths(int type, const char *path, const char *copy)
{
    char data[2 * PATH_CHARS];
    size_t first = strlen(path) + 1, second = strlen(copy) + 1;
    memcpy(data, path, first);
    memcpy(data + first, copy, second);
    return JournalAdd(type, data, (DWORD)(first + second));
}

int FlushToDisk(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);  // a copy of a read-only file opens for writing
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    BOOL flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, attributes);
    SetLastError(error);
    return flushed;
}

int JournalSaveFile(const char *path)
{
    if (!g_setup.journal.file)
        return 1;
    char copy[PATH_CHARS] = "";
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        if (!UniqueNameBeside(path, copy) || !AddPaths(JOURNAL_COPY, path, copy) || !CopyFileA(path, copy, TRUE)
            || !FlushToDisk(copy)) {
            LogLine("undo journal: no copy of %s kept, error %lu", path, (unsigned long)GetLastError());
            return 0;
        }
    }
    return AddPaths(JOURNAL_CHANGE, path, copy);
}

int JournalCreated(const char *path)
{
    return !g_setup.journal.file || AddPaths(JOURNAL_CHANGE, path, "");
}
