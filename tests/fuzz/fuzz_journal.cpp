// libFuzzer target for the undo journal's reader: any bytes walked as a
// journal, every record checked, and every block record that passes moved
// and read through each of its pointers, so that the sanitizers see any read
// outside the record. The structures are those of the 64-bit spooler, so
// that journals of the x86_64 build (tests/fuzz/journals) are real inputs;
// each is also tried cut short at every length and with a bit of each
// byte flipped.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <dirent.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/descriptor.h"
#include "base/paths.h"
#include "catalog/product_names.h"
#include "undo/journal_records.h"

// A failed property names its line before the abort.
#define Check(c) CheckAt(c, __LINE__)
static void CheckAt(bool condition, int line)
{
    if (!condition) {
        fprintf(stderr, "fuzz_journal.cpp:%d: property failed\n", line);
        abort();
    }
}

// PRINTER_INFO_2A and DRIVER_INFO_3A as Win64 lays them out.
struct Queue {
    char *server, *printer, *share, *port, *driver, *comment, *location;
    void *devMode;
    char *sepFile, *processor, *dataType, *parameters;
    void *security;
    uint32_t attributes, priority, defaultPriority, start, until, status, jobs, averagePpm;
};
struct Driver {
    uint32_t version;
    char *name, *environment, *driverPath, *dataFile, *configFile, *helpFile, *dependentFiles, *monitor, *dataType;
};

static const BlockField kQueueFields[] = {
    { offsetof(Queue, printer), FIELD_TEXT }, { offsetof(Queue, server), FIELD_TEXT },
    { offsetof(Queue, share), FIELD_TEXT }, { offsetof(Queue, port), FIELD_TEXT },
    { offsetof(Queue, driver), FIELD_TEXT }, { offsetof(Queue, comment), FIELD_TEXT },
    { offsetof(Queue, location), FIELD_TEXT }, { offsetof(Queue, devMode), FIELD_DEVMODE },
    { offsetof(Queue, sepFile), FIELD_TEXT }, { offsetof(Queue, processor), FIELD_TEXT },
    { offsetof(Queue, dataType), FIELD_TEXT }, { offsetof(Queue, parameters), FIELD_TEXT },
    { offsetof(Queue, security), FIELD_SECURITY } };
static const BlockField kDriverFields[] = {
    { offsetof(Driver, name), FIELD_TEXT }, { offsetof(Driver, environment), FIELD_TEXT },
    { offsetof(Driver, driverPath), FIELD_FILE }, { offsetof(Driver, dataFile), FIELD_FILE },
    { offsetof(Driver, configFile), FIELD_FILE }, { offsetof(Driver, helpFile), FIELD_FILE },
    { offsetof(Driver, dependentFiles), FIELD_FILES }, { offsetof(Driver, monitor), FIELD_TEXT },
    { offsetof(Driver, dataType), FIELD_TEXT } };
static const BlockLayout kQueue = { sizeof(Queue), kQueueFields, sizeof kQueueFields / sizeof kQueueFields[0] };
static const BlockLayout kDriver = { sizeof(Driver), kDriverFields, sizeof kDriverFields / sizeof kDriverFields[0] };

static int ShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

// The prefix's folders, as the x86_64 build's journals name them.
static const JournalRules kRules = { "C:\\windows\\system32\\spool\\drivers\\x64", "C:\\windows\\system32",
                                     "C:\\windows\\system32\\drivers\\hwbridge.sys", &kQueue, &kDriver, ShiftJisLead,
                                     "C:\\windows\\inf" };

static volatile size_t g_sink;

// Every byte a pointer of a moved block reaches, read.
static void Touch(const void *structure, const BlockLayout *layout)
{
    for (size_t i = 0; i < layout->count; i++) {
        const unsigned char *target;
        memcpy(&target, (const unsigned char *)structure + layout->fields[i].offset, sizeof target);
        if (!target)
            continue;
        DescriptorParts parts;
        size_t bytes = 0;
        switch (layout->fields[i].kind) {
        case FIELD_TEXT:
            bytes = strlen((const char *)target) + 1;
            break;
        case FIELD_TEXTS:
            while (target[bytes])
                bytes += strlen((const char *)target + bytes) + 1;
            break;
        case FIELD_DEVMODE:
            bytes = (size_t)(target[36] | target[37] << 8) + (size_t)(target[38] | target[39] << 8);
            break;
        case FIELD_SECURITY:
            // Bounded by what the check allowed: the descriptor's own length.
            Check(ReadDescriptor(target, 1 << 20, &parts));
            bytes = parts.length;
            break;
        }
        for (size_t b = 0; b < bytes; b++)
            g_sink += target[b];
    }
}

struct Walk {
    long visited;
    size_t end;
    const unsigned char *content;
};

static void Visit(void *context, size_t index, int type, const unsigned char *data, size_t size)
{
    Walk *walk = (Walk *)context;
    Check((long)index == walk->visited++);
    Check(data >= walk->content && data + size <= walk->content + walk->end);
    if (CheckJournalRecord(&kRules, index, type, data, size))
        return;
    if (type == JOURNAL_COPY || type == JOURNAL_CHANGE) {
        // Two texts, ending inside the record; the copy beside its file,
        // which is the catalogue's, the kernel driver or an INF copy's
        // precompiled form.
        const char *path = (const char *)data, *copy = RecordCopyName(data);
        const char *name = PathFileName(path, ShiftJisLead);
        Check(copy + strlen(copy) + 1 == (const char *)data + size);
        Check(IsProductFileName(name) || strcasecmp(path, kRules.kernelDriverPath) == 0
              || IsModelInfCopyName(name, ".pnf"));
    }
    if (type != JOURNAL_QUEUE_DELETED && type != JOURNAL_DRIVER_DELETED)
        return;
    const BlockLayout *layout = type == JOURNAL_QUEUE_DELETED ? &kQueue : &kDriver;
    JournalBlock header;
    memcpy(&header, data, sizeof header);
    // Exactly the block: a byte read past it is the sanitizer's finding.
    std::vector<unsigned char> block(header.size);
    void *structure = MoveJournalBlock(data, layout, block.data());
    Touch(structure, layout);
}

static void Exercise(const unsigned char *data, size_t size)
{
    // Exactly the input, so that a read past it is caught.
    std::vector<unsigned char> content(data, data + size);
    Walk walk = { 0, size, content.data() };
    long count = WalkJournal(content.data(), size, Visit, &walk);
    Check(count == (count < 0 ? -1 : walk.visited));
}

// A block packed from a structure passes the checks and moves back to the
// same texts: the input gives the free texts and picks the files.
static void PackAndMove(const unsigned char *data, size_t size)
{
    static const char *const kNames[] = { "TarvGI.dll", "TarvUI.dll", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" };
    std::string texts(data, data + size);
    std::vector<std::string> parts;
    for (size_t at = 0; parts.size() < 4; at++) {
        size_t end = texts.find('\0', at);
        parts.push_back(texts.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            break;
        at = end;
    }
    parts.resize(4);
    std::string files[5], list;
    for (int i = 0; i < 5; i++)
        files[i] = std::string(kRules.driverFolder) + "\\3\\" + kNames[(size > (size_t)i ? data[i] : i) % 5];
    for (size_t i = 0; i < (size ? data[0] % 4u : 0u); i++)
        list += files[i] + '\0';
    if (list.empty())
        list = std::string(1, '\0');
    std::string name = "Corvan Tessik";
    Driver driver = {};
    driver.name = &name[0];
    driver.environment = parts[0].empty() ? nullptr : &parts[0][0];
    driver.driverPath = &files[0][0];
    driver.dataFile = &files[1][0];
    driver.configFile = &files[2][0];
    std::string none, outside = "C:\\x\\" + parts[1];
    driver.helpFile = &none[0];
    driver.dependentFiles = &list[0];
    driver.monitor = &parts[2][0];
    driver.dataType = &parts[3][0];
    size_t bytes = PackJournalBlock(&driver, &kDriver, nullptr, 0);
    std::vector<unsigned char> record(sizeof(JournalBlock) + bytes);
    Check(PackJournalBlock(&driver, &kDriver, record.data() + sizeof(JournalBlock), bytes) == bytes);
    JournalBlock header = { (uintptr_t)(record.data() + sizeof(JournalBlock)), 0, (uint32_t)bytes };
    memcpy(record.data(), &header, sizeof header);
    Check(CheckJournalRecord(&kRules, 0, JOURNAL_DRIVER_DELETED, record.data(), record.size()) == nullptr);
    std::vector<unsigned char> block(bytes);
    const Driver *moved = (const Driver *)MoveJournalBlock(record.data(), &kDriver, block.data());
    Check(moved->environment == nullptr || strcmp(moved->environment, parts[0].c_str()) == 0);
    Check(strcmp(moved->dataFile, files[1].c_str()) == 0 && strcmp(moved->monitor, parts[2].c_str()) == 0);
    Check(memcmp(moved->dependentFiles, list.data(), list.size()) == 0);
    // A file outside the version folders is refused.
    driver.helpFile = &outside[0];
    bytes = PackJournalBlock(&driver, &kDriver, nullptr, 0);
    record.assign(sizeof(JournalBlock) + bytes, 0);
    PackJournalBlock(&driver, &kDriver, record.data() + sizeof(JournalBlock), bytes);
    header = { (uintptr_t)(record.data() + sizeof(JournalBlock)), 0, (uint32_t)bytes };
    memcpy(record.data(), &header, sizeof header);
    Check(CheckJournalRecord(&kRules, 0, JOURNAL_DRIVER_DELETED, record.data(), record.size()) != nullptr);
}

// The journals of real runs, cut at every length and with each bit flipped.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string folder = TARV_SOURCE_DIR "/tests/fuzz/journals";
    DIR *dir = opendir(folder.c_str());
    Check(dir != nullptr);
    int journals = 0;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".jnl") != 0)
            continue;
        std::ifstream in(folder + "/" + name, std::ios::binary);
        std::vector<unsigned char> journal((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Check(journal.size() > 16);
        // A real journal: every record passes.
        struct Count {
            static void Visit(void *context, size_t index, int type, const unsigned char *data, size_t size)
            {
                Check(CheckJournalRecord(&kRules, index, type, data, size) == nullptr);
                ++*(long *)context;
            }
        };
        long passed = 0;
        Check(WalkJournal(journal.data(), journal.size(), Count::Visit, &passed) == passed && passed > 3);
        // Cut at every length; one bit of each byte flipped, a different one from byte to byte.
        for (size_t length = 0; length <= journal.size(); length++)
            Exercise(journal.data(), length);
        for (size_t at = 0; at < journal.size(); at++) {
            unsigned char bit = (unsigned char)(1u << (at * 3) % 8);
            journal[at] ^= bit;
            Exercise(journal.data(), journal.size());
            journal[at] ^= bit;
        }
        journals++;
    }
    closedir(dir);
    Check(journals >= 2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Most inputs start as a journal does, so that the records are reached.
    if (size && data[0] % 4) {
        std::vector<unsigned char> journal(JOURNAL_MAGIC, JOURNAL_MAGIC + sizeof JOURNAL_MAGIC);
        journal.insert(journal.end(), data + 1, data + size);
        Exercise(journal.data(), journal.size());
    } else {
        Exercise(data, size);
    }
    PackAndMove(data, size);
    return 0;
}
