// The undo journal's file read back, and the checks every record passes
// before any is applied (no Windows dependency: the system's structures
// that block records hold are described by the caller).
#ifndef TARV_JOURNAL_RECORDS_H
#define TARV_JOURNAL_RECORDS_H

#include <stddef.h>
#include <stdint.h>

enum JournalType {
    JOURNAL_COPY = 1,         // path, copy: a copy of path is made next, before path changes
    JOURNAL_CHANGE,           // path, copy: path changes next; copy "" when it does not exist yet
    JOURNAL_QUEUE_DELETED,    // block: the earlier queue at level 2, deleted next
    JOURNAL_DRIVER_DELETED,   // block: the earlier driver at level 3, deleted or replaced next
    JOURNAL_INF_ADDED,        // the media's INF, then the names of its copies already there, then ""
    JOURNAL_DRIVER_ADDED,
    JOURNAL_QUEUE_ADDED,
    JOURNAL_SERVICE_DELETED,  // JournalService: the earlier service, deleted next
    JOURNAL_SERVICE_CREATED,
    JOURNAL_DONE,             // the setup succeeded: only the copies are left to delete
    JOURNAL_UNDONE,           // index of a record whose change is undone
    JOURNAL_KEPT,             // the installation that ran the setup keeps the journal until it commits
    JOURNAL_ROLLBACK,         // that installation rolls back: every change goes, done or not
    JOURNAL_TYPES
};

// The file: JOURNAL_MAGIC, then records, each a header and its data.
struct JournalRecordHeader {
    uint32_t type;
    uint32_t size;
};

// A block record: a structure of the system's with pointers into its own
// block, kept with the address the block had, so that they can be moved.
struct JournalBlock {
    uintptr_t base;   // address of the block when it was saved
    uint32_t offset;  // of the structure in the block
    uint32_t size;    // of the block that follows
};

// The earlier kernel service, as the setup makes it again.
struct JournalService {
    uint32_t serviceType, startType, running;
    // then its binary path, ending with a zero
};

// A kernel driver (SERVICE_KERNEL_DRIVER), started anywhere from the boot to
// disabled (SERVICE_BOOT_START to SERVICE_DISABLED).
enum { JOURNAL_MAX_BYTES = 1024 * 1024, KERNEL_SERVICE_TYPE = 1, KERNEL_SERVICE_LAST_START = 4 };
extern const char JOURNAL_MAGIC[4];

// The pointer fields of a block's structure: FIELD_FILE(S) are texts (lists
// of texts) that may name only files of the catalogue in a version folder of
// the printer-driver folder.
enum FieldKind { FIELD_TEXT = 1, FIELD_TEXTS, FIELD_DEVMODE, FIELD_SECURITY, FIELD_FILE, FIELD_FILES };
struct BlockField {
    unsigned short offset;
    unsigned char kind;  // FieldKind
};
struct BlockLayout {
    size_t structureSize;
    const BlockField *fields;
    size_t count;        // fields[0] names the structure: it must be the model's
};
// Pointers of a block are aligned: the structure's offset is a multiple of this.
enum { BLOCK_ALIGNMENT = sizeof(void *) };

// What the records may name on this machine.
struct JournalRules {
    const char *driverFolder;
    const char *systemFolder;
    const char *kernelDriverPath;
    const BlockLayout *queue;
    const BlockLayout *driver;
    int (*isLeadByte)(unsigned char);
    const char *infFolder;  // where the precompiled forms of the INF's copies are
};

typedef void (*JournalVisit)(void *context, size_t index, int type, const unsigned char *data, size_t size);

// Calls visit for each whole record, in order. A last record cut short was
// being written when the run ended: its change never began, so it is left
// out, and so is what follows a record of type 0 (bytes never written). Returns the number of records, or -1 when content is no journal of
// this program (its magic, or the size of its pointers, differs).
long WalkJournal(const unsigned char *content, size_t size, JournalVisit visit, void *context);

// 0 when the index-th record may be applied as it stands, otherwise why not
// (for the log): files only of the catalogue in the target folders (or one
// of their version folders) and copies beside them, only the model's queue,
// driver and our kernel service, every length and pointer inside its record.
const char *CheckJournalRecord(const JournalRules *rules, size_t index, int type, const unsigned char *data,
                               size_t size);

// The two texts of a file record (checked): path, and its copy.
const char *RecordCopyName(const unsigned char *data);

// The block record's structure moved into block (size bytes of the record's
// block, as CheckJournalRecord passed it): every pointer points into it.
void *MoveJournalBlock(const unsigned char *data, const BlockLayout *layout, unsigned char *block);

// A structure (layout) whose fields are texts and lists of texts, packed
// with them into one block at out (room bytes), its pointers into it. Returns the bytes it takes, whether it fits or not.
size_t PackJournalBlock(const void *structure, const BlockLayout *layout, unsigned char *out, size_t room);

#endif
