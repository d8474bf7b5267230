// The undo journal of a quiet setup. Every change is written to a file in
// the state folder before it is made, so that a setup that fails is undone in
// reverse order, and one that was cut short (killed, the power lost) is undone
// by the next run before that changes anything. An interactive run keeps
// none: every call below then does nothing (and returns 1).
#ifndef TARV_JOURNAL_H
#define TARV_JOURNAL_H

#include <windows.h>

#include "undo/journal_records.h"

int JournalPath(char *path, size_t size);

// Starts the journal of a quiet setup, before its first change; 0 (logged)
// when it cannot be written, and the setup must not begin.
int OpenJournal();

// One record in one write to file; 0 (logged) when it cannot be written.
int WriteJournalRecord(HANDLE file, int type, const void *first, DWORD firstSize, const void *second,
                       DWORD secondSize);
int JournalAdd(int type, const void *data, DWORD size);
int JournalAddBlock(int type, const void *block, DWORD size, const void *structure);

// Before path changes: a copy of it when it exists, on the disk before the
// change is recorded, then the change. 0 when the copy cannot be made (logged).
int JournalSaveFile(const char *path);

// A file that a step is about to create, or has just created, where none
// was (the spooler's copies of a driver file): it goes when the setup is undone.
int JournalCreated(const char *path);

// The file's bytes on the disk rather than in the system's cache; 0 (the
// last error says why) when they cannot be.
int FlushToDisk(const char *path);

// The spooler's copies of the row's driver files, before the driver is
// registered: each kept, and each one the registration may add recorded.
struct VersionCopies {
    char *paths;   // global block: the paths recorded before, one after the other
    size_t used, size;
};
int JournalVersionCopies(int row, VersionCopies *before);
// Those the registration added that were not foreseen; 0 when one of them
// cannot be recorded.
int JournalNewVersionCopies(int row, VersionCopies *before);

// The rules a journal's records must pass on this machine, with the paths
// they name in kernelDriverPath and infFolder (size bytes each).
void JournalRulesHere(JournalRules *rules, char *kernelDriverPath, char *infFolder, size_t size);

// What a journal the state folder holds says: JOURNAL_LEFT_NONE, one whose
// setup did not end (it is undone), or one whose setup succeeded (only its
// copies are left to delete).
enum { JOURNAL_LEFT_NONE, JOURNAL_LEFT_UNDONE, JOURNAL_LEFT_DONE };
int JournalLeft();

// Ends the journal as its records say: a setup that succeeded (its last
// record JOURNAL_DONE) deletes the copies, or leaves them to the
// installation's commit or rollback when kept; one that failed is undone in
// reverse order. 0 (logged) when the undo could not finish: the journal
// stays for the next run.
int CloseJournal(int succeeded, int kept);

// A journal that an earlier run left: finished when its setup had
// succeeded, undone otherwise (rollback: undone whatever it says). A file
// that is no journal of ours, or holds a record that fails the checks, is
// applied not even in part: it is moved aside with a warning. 0 (logged)
// when what it asks cannot all be done: it stays, and the run changes nothing.
int RecoverJournal(int rollback);

// Undoes one record (undo/undo.cpp); 1 when its change is gone.
int UndoRecord(int type, const BYTE *data, DWORD size);

extern const BlockLayout QUEUE_LAYOUT, DRIVER_LAYOUT;

#endif
