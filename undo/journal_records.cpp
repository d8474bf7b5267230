#include "undo/journal_records.h"

#include <string.h>

#include "base/descriptor.h"
#include "base/paths.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/product_names.h"

// "TJ2": an earlier version's journals ("TJN") are no journals of this one.
const char JOURNAL_MAGIC[4] = { 'T', 'J', '2', (char)sizeof(void *) };

enum { DEVMODE_SIZE_AT = 36, DEVMODE_FIXED_BYTES = 40 };

long WalkJournal(const unsigned char *content, size_t size, JournalVisit visit, void *context)
{
    if (size < sizeof JOURNAL_MAGIC || memcmp(content, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC) != 0)
        return -1;
    long count = 0;
    for (size_t at = sizeof JOURNAL_MAGIC; size - at >= sizeof(JournalRecordHeader);) {
        JournalRecordHeader header;
        memcpy(&header, content + at, sizeof header);
        at += sizeof header;
        // Cut short while it was written, or the zeros a file system may
        // leave where a write did not reach.
        if (header.size > size - at || header.type == 0)
            break;
        if (visit)
            visit(context, (size_t)count, (int)header.type, content + at, header.size);
        count++;
        at += header.size;
    }
    return count;
}

// Length of the text at text when it ends within room bytes, otherwise -1.
static long TextEnd(const unsigned char *text, size_t room)
{
    for (size_t i = 0; i < room; i++)
        if (!text[i])
            return (long)i;
    return -1;
}

// "trv", one to four hex digits, ".tmp": a name GetTempFileNameA makes.
static int IsCopyName(const char *name)
{
    size_t length = strlen(name), digits = length - 7;
    if (length < 8 || length > 11 || !StartsWithIgnoringAsciiCase(name, "trv")
        || !SameTextIgnoringAsciiCase(name + length - 4, ".tmp"))
        return 0;
    for (size_t i = 3; i < 3 + digits; i++)
        if (!strchr("0123456789abcdefABCDEF", name[i]))
            return 0;
    return 1;
}

// path lies directly in folder: its name follows the folder and a backslash.
static int DirectlyIn(const char *path, const char *folder, int (*isLeadByte)(unsigned char))
{
    const char *name = PathFileName(path, isLeadByte);
    size_t length = folder ? strlen(folder) : 0;
    return length && (size_t)(name - path) == length + 1 && StartsWithFolder(path, folder) && !strchr(name, '/');
}

// A file of the catalogue in a target folder or one of the printer-driver
// folder's version folders, the kernel driver, or the precompiled form of a
// copy of the model's INF.
static int IsTargetPath(const JournalRules *rules, const char *path)
{
    const char *name = PathFileName(path, rules->isLeadByte);
    if (rules->kernelDriverPath && SameTextIgnoringAsciiCase(path, rules->kernelDriverPath))
        return 1;
    if (IsModelInfCopyName(name, ".pnf") && DirectlyIn(path, rules->infFolder, rules->isLeadByte))
        return 1;
    return IsProductFileName(name) && !strchr(name, '/')
           && (DirectlyIn(path, rules->driverFolder, rules->isLeadByte)
               || DirectlyIn(path, rules->systemFolder, rules->isLeadByte)
               || (rules->driverFolder && InVersionFolder(path, rules->driverFolder, rules->isLeadByte)));
}

static const char *CheckFiles(const JournalRules *rules, int type, const unsigned char *data, size_t size)
{
    long first = TextEnd(data, size);
    long second = first < 0 ? -1 : TextEnd(data + first + 1, size - (size_t)first - 1);
    if (second < 0 || (size_t)(first + second + 2) != size)
        return "a file record is damaged";
    const char *path = (const char *)data, *copy = path + first + 1;
    if (!IsTargetPath(rules, path))
        return "a file record names no file of the product in its folders";
    char folder[512], copyFolder[512];
    PathFolder(folder, sizeof folder, path, rules->isLeadByte);
    PathFolder(copyFolder, sizeof copyFolder, copy, rules->isLeadByte);
    if ((*copy || type == JOURNAL_COPY)
        && (!IsCopyName(PathFileName(copy, rules->isLeadByte)) || !SameTextIgnoringAsciiCase(folder, copyFolder)
            || strlen(folder) + 1 != (size_t)(PathFileName(copy, rules->isLeadByte) - copy)))
        return "a file record names a copy that is not beside its file";
    return 0;
}

static uintptr_t Pointer(const unsigned char *at)
{
    uintptr_t value;
    memcpy(&value, at, sizeof value);
    return value;
}

// A spooler copy of a file of the catalogue, or nothing.
static int IsVersionCopy(const JournalRules *rules, const char *path)
{
    return !*path || (rules->driverFolder && InVersionFolder(path, rules->driverFolder, rules->isLeadByte)
                      && IsProductFileName(PathFileName(path, rules->isLeadByte)));
}

// Every pointer of the structure null or into the block, past the
// structure, and what it points at inside the block too; the files a driver
// names only the catalogue's, in a version folder.
static const char *CheckBlock(const JournalRules *rules, const BlockLayout *layout, const char *model,
                              const unsigned char *data, size_t size)
{
    JournalBlock header;
    if (size < sizeof header)
        return "a block record is damaged";
    memcpy(&header, data, sizeof header);
    const unsigned char *block = data + sizeof header;
    if (!header.base || header.size != size - sizeof header || header.offset > header.size
        || header.offset % BLOCK_ALIGNMENT || layout->structureSize > header.size - header.offset)
        return "a block record is damaged";
    size_t end = header.offset + layout->structureSize;
    for (size_t i = 0; i < layout->count; i++) {
        uintptr_t value = Pointer(block + header.offset + layout->fields[i].offset);
        if (!value && i > 0)
            continue;
        size_t at = (size_t)(value - header.base), room = header.size - at;
        // What a pointer reaches lies after the structure, which the move rewrites.
        if (value - header.base >= header.size || at < end)
            return "a pointer of a block record leaves its block";
        const unsigned char *target = block + at;
        long length = TextEnd(target, room);
        int kind = layout->fields[i].kind;
        switch (kind) {
        case FIELD_TEXT:
        case FIELD_FILE:
            if (length < 0)
                return "a text of a block record leaves its block";
            if (i == 0 && !SameTextIgnoringAsciiCase((const char *)target, model))
                return "a block record names another printer or driver than the model's";
            if (kind == FIELD_FILE && !IsVersionCopy(rules, (const char *)target))
                return "a block record names a file outside the version folders";
            break;
        case FIELD_TEXTS:
        case FIELD_FILES:
            for (; length > 0; target += length + 1, room -= (size_t)length + 1, length = TextEnd(target, room))
                if (kind == FIELD_FILES && !IsVersionCopy(rules, (const char *)target))
                    return "a block record names a file outside the version folders";
            if (length < 0)
                return "a list of a block record leaves its block";
            break;
        case FIELD_DEVMODE: {
            size_t bytes = room < DEVMODE_FIXED_BYTES ? 0 : (size_t)target[DEVMODE_SIZE_AT] | target[DEVMODE_SIZE_AT + 1] << 8;
            size_t extra = bytes ? (size_t)target[DEVMODE_SIZE_AT + 2] | target[DEVMODE_SIZE_AT + 3] << 8 : 0;
            if (bytes < DEVMODE_FIXED_BYTES || bytes + extra > room)
                return "a device mode of a block record leaves its block";
            break;
        }
        case FIELD_SECURITY: {
            DescriptorParts parts;
            if (!ReadDescriptor(target, room, &parts))
                return "a security descriptor of a block record leaves its block";
            break;
        }
        }
    }
    return 0;
}

// The size of the INF, its bytes, then the names of the copies that were
// there before, each a plain name, and an empty one after the last.
static const char *CheckInf(const unsigned char *data, size_t size)
{
    uint32_t bytes;
    if (size < sizeof bytes + 1 || data[size - 1])
        return "an INF record is damaged";
    memcpy(&bytes, data, sizeof bytes);
    if (bytes == 0 || bytes > size - sizeof bytes - 1)
        return "an INF record is damaged";
    size_t at = sizeof bytes + bytes;
    while (at < size - 1) {
        const char *name = (const char *)data + at;
        size_t length = strlen(name);
        if (!length || strchr(name, '\\') || strchr(name, '/') || strchr(name, ':'))
            return "an INF record names a file outside the INF folder";
        at += length + 1;
    }
    return at == size - 1 ? 0 : "an INF record is damaged";
}

static const char *CheckService(const JournalRules *rules, const unsigned char *data, size_t size)
{
    JournalService service;
    if (size < sizeof service + 1 || data[size - 1] || TextEnd(data + sizeof service, size - sizeof service) + 1
                                                           != (long)(size - sizeof service))
        return "a service record is damaged";
    memcpy(&service, data, sizeof service);
    if (service.serviceType != KERNEL_SERVICE_TYPE || service.startType > KERNEL_SERVICE_LAST_START
        || !rules->kernelDriverPath
        || !SameTextIgnoringAsciiCase((const char *)data + sizeof service, rules->kernelDriverPath))
        return "a service record names another service than our kernel driver's";
    return 0;
}

const char *CheckJournalRecord(const JournalRules *rules, size_t index, int type, const unsigned char *data,
                               size_t size)
{
    uint32_t undone;
    switch (type) {
    case JOURNAL_COPY:
    case JOURNAL_CHANGE:
        return CheckFiles(rules, type, data, size);
    case JOURNAL_QUEUE_DELETED:
        return CheckBlock(rules, rules->queue, MODEL_QUEUE_NAME, data, size);
    case JOURNAL_DRIVER_DELETED:
        return CheckBlock(rules, rules->driver, MODEL_DRIVER_NAME, data, size);
    case JOURNAL_INF_ADDED:
        return CheckInf(data, size);
    case JOURNAL_SERVICE_DELETED:
        return CheckService(rules, data, size);
    case JOURNAL_UNDONE:
        if (size != sizeof undone)
            return "a mark of the undo is damaged";
        memcpy(&undone, data, sizeof undone);
        return undone < index ? 0 : "a mark of the undo names no earlier record";
    case JOURNAL_DRIVER_ADDED:
    case JOURNAL_QUEUE_ADDED:
    case JOURNAL_SERVICE_CREATED:
    case JOURNAL_DONE:
    case JOURNAL_KEPT:
    case JOURNAL_ROLLBACK:
        return size == 0 ? 0 : "a record has data it should not have";
    }
    return "a record of an unknown type";
}

const char *RecordCopyName(const unsigned char *data)
{
    return (const char *)data + strlen((const char *)data) + 1;
}

void *MoveJournalBlock(const unsigned char *data, const BlockLayout *layout, unsigned char *block)
{
    JournalBlock header;
    memcpy(&header, data, sizeof header);
    memcpy(block, data + sizeof header, header.size);
    for (size_t i = 0; i < layout->count; i++) {
        unsigned char *field = block + header.offset + layout->fields[i].offset;
        uintptr_t value = Pointer(field);
        if (value) {
            value = (uintptr_t)block + (value - header.base);
            memcpy(field, &value, sizeof value);
        }
    }
    return block + header.offset;
}

// Bytes of what a text field points at: a text, or a list ending with an
// empty text.
static size_t FieldBytes(const unsigned char *target, int kind)
{
    if (kind != FIELD_TEXTS && kind != FIELD_FILES)
        return strlen((const char *)target) + 1;
    size_t bytes = 0;
    while (target[bytes])
        bytes += strlen((const char *)target + bytes) + 1;
    return bytes + 1;
}

size_t PackJournalBlock(const void *structure, const BlockLayout *layout, unsigned char *out, size_t room)
{
    size_t used = layout->structureSize;
    if (used <= room)
        memcpy(out, structure, used);
    for (size_t i = 0; i < layout->count; i++) {
        const unsigned char *target = (const unsigned char *)Pointer((const unsigned char *)structure
                                                                     + layout->fields[i].offset);
        if (!target)
            continue;
        size_t bytes = FieldBytes(target, layout->fields[i].kind);
        used = (used + sizeof(void *) - 1) & ~(sizeof(void *) - 1);
        if (used + bytes <= room) {
            memcpy(out + used, target, bytes);
            uintptr_t moved = (uintptr_t)(out + used);
            memcpy(out + layout->fields[i].offset, &moved, sizeof moved);
        }
        used += bytes;
    }
    return used;
}
