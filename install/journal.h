// The undo journal of a quiet setup. Every change is written to a file in
// the state folder before it is made, so that a setup that fails is undone in
// reverse order, and one that was cut short (killed, the power lost) is undone
// by the next run before that changes anything. An interactive run keeps
// none: every call below then does nothing (and returns 1).
#ifndef TARV_JOURNAL_H
#define TARV_JOURNAL_H

#include <windows.h>

enum JournalType {
    JOURNAL_COPY = 1,         // path, copy: a copy of path is made, before path changes
    JOURNAL_CHANGE,           // path, copy: path changes next; copy "" when it does not exist yet
    JOURNAL_QUEUE_DELETED,    // block: the earlier queue at level 2, deleted next
    JOURNAL_DRIVER_DELETED,   // block: the earlier driver at level 3, deleted or replaced next
    JOURNAL_INF_ADDED,        // name: the INF the setup library registered for this run
    JOURNAL_DRIVER_ADDED,
    JOURNAL_QUEUE_ADDED,
    JOURNAL_SERVICE_DELETED,  // block: the earlier service's configuration, flag: it was running
    JOURNAL_SERVICE_CREATED,
    JOURNAL_DONE              // the setup succeeded: only the copies are left to delete
};

// A record's block: a structure of the system's with pointers into itself,
// kept with the address it had, so that they can be moved to a new one.
struct JournalBlock {
    ULONG_PTR base;   // address of the block when it was saved
    DWORD offset;     // of the structure in the block
    DWORD flag;
    DWORD size;       // of the block that follows
};

// The file: JOURNAL_MAGIC, then records, each a header and its data.
struct JournalRecordHeader {
    DWORD type;
    DWORD size;
};
extern const char JOURNAL_MAGIC[4];
int JournalPath(char *path, size_t size, int create);

// Starts the journal of a quiet setup, before its first change; 0 (logged)
// when it cannot be written, and the setup must not begin.
int OpenJournal();

int JournalAdd(int type, const void *data, DWORD size);
int JournalAddBlock(int type, const void *block, DWORD size, const void *structure, DWORD flag);

// Before path changes: a copy of it when it exists, then the change. 0 when
// the copy cannot be made (logged).
int JournalSaveFile(const char *path);

// A file that a step has just created where none was (the spooler's copy of
// a driver file in a version folder it made): it goes when the setup is undone.
int JournalCreated(const char *path);

// The spooler's copies of the row's driver files, before the driver is
// registered: each kept, and each one the registration then adds recorded.
struct VersionCopies {
    char *paths;   // global block: the paths recorded before, one after the other
    size_t used, size;
};
int JournalVersionCopies(int row, VersionCopies *before);
void JournalNewVersionCopies(int row, VersionCopies *before);

// 1 when a journal of an earlier run is there to be recovered.
int JournalLeft();

// Ends the journal: a setup that succeeded deletes the copies, one that failed
// is undone in reverse order; the journal goes either way.
void CloseJournal(int succeeded);

// A journal that a cut-short run left: finished when its setup had
// succeeded, undone otherwise.
void RecoverJournal();

// Undoes one record (install/undo.cpp); the copy of a JOURNAL_COPY goes.
void UndoRecord(int type, const BYTE *data, DWORD size);

// 1 for a path a journal may name: a file of the product, its backup or one
// of the journal's copies, in the printer-driver or the system folder.
int JournalPathAllowed(const char *path);

#endif
