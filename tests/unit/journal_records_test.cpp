// The undo journal's records as the reader checks them before any is
// applied: one table of records a planted or damaged journal may hold.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "undo/journal_records.h"

namespace {

int NoLeadByte(unsigned char)
{
    return 0;
}

struct Printer {
    char *name, *port;
    void *devMode;
    void *security;
};
const BlockField kFields[] = { { offsetof(Printer, name), FIELD_TEXT }, { offsetof(Printer, port), FIELD_TEXT },
                               { offsetof(Printer, devMode), FIELD_DEVMODE },
                               { offsetof(Printer, security), FIELD_SECURITY } };
const BlockLayout kLayout = { sizeof(Printer), kFields, 4 };
const JournalRules kRules = { "C:\\spool\\drivers\\w32x86", "C:\\windows\\system32",
                              "C:\\windows\\system32\\drivers\\hwbridge.sys", &kLayout, &kLayout, NoLeadByte,
                              "C:\\windows\\inf" };

std::string Files(const std::string &path, const std::string &copy)
{
    return path + '\0' + copy + '\0';
}

std::string Service(uint32_t type, uint32_t start, const std::string &path)
{
    JournalService service = { type, start, 1 };
    return std::string((const char *)&service, sizeof service) + path + '\0';
}

std::string Inf(const std::string &content, const std::string &names)
{
    uint32_t size = (uint32_t)content.size();
    return std::string((const char *)&size, sizeof size) + content + names + '\0';
}

// A printer block as GetPrinterA gives it: the structure, then its texts, a
// device mode and a security descriptor, with pointers into the block as it
// lay at base. damage: 1 a pointer past the block, 2 a device mode longer
// than the block, 3 a descriptor whose DACL leaves the block, 4 another name.
std::string Block(int damage)
{
    std::string texts = std::string(damage == 4 ? "Other" : "Corvan Tessik") + '\0' + "LPT1:" + '\0';
    unsigned char devMode[48] = {};
    devMode[36] = 48;
    if (damage == 2)
        devMode[38] = 200;  // driver-extra bytes that are not there
    const unsigned char security[] = { 1, 0, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
                                       2, 0, (unsigned char)(damage == 3 ? 64 : 8), 0, 0, 0, 0, 0 };
    const uintptr_t base = 0x10000;
    Printer printer;
    size_t at = sizeof printer;
    printer.name = (char *)(base + at);
    printer.port = (char *)(base + at + texts.find('\0') + 1 + (damage == 1 ? 4096 : 0));
    printer.devMode = (void *)(base + at + texts.size());
    printer.security = (void *)(base + at + texts.size() + sizeof devMode);
    std::string block((const char *)&printer, sizeof printer);
    block += texts + std::string((const char *)devMode, sizeof devMode)
             + std::string((const char *)security, sizeof security);
    JournalBlock header = { base, 0, (uint32_t)block.size() };
    return std::string((const char *)&header, sizeof header) + block;
}

struct Row {
    const char *name;
    int type;
    std::string data;
    const char *why;  // a part of the reason, or null when the record passes
};

const Row kRows[] = {
    { "FileInTheDriverFolder", JOURNAL_CHANGE, Files("C:\\spool\\drivers\\w32x86\\TarvUI.dll", ""), nullptr },
    { "CopyBesideItsFile", JOURNAL_COPY,
      Files("C:\\spool\\drivers\\w32x86\\3\\TarvUI.dll", "C:\\spool\\drivers\\w32x86\\3\\trv1A2b.tmp"), nullptr },
    { "KernelDriver", JOURNAL_CHANGE, Files("C:\\WINDOWS\\system32\\drivers\\hwbridge.sys", ""), nullptr },
    { "BackupInTheSystemFolder", JOURNAL_CHANGE, Files("C:\\windows\\system32\\hwport.bku", ""), nullptr },
    { "PrecompiledInfOfACopy", JOURNAL_CHANGE, Files("C:\\windows\\inf\\oem12.PNF", "C:\\windows\\inf\\trv3.tmp"), nullptr },
    { "PrecompiledInfOfItsOwnName", JOURNAL_CHANGE, Files("C:\\windows\\inf\\tarv.pnf", ""), nullptr },
    { "InfItself", JOURNAL_CHANGE, Files("C:\\windows\\inf\\oem12.inf", ""), "no file of the product" },
    { "PrecompiledInfOfAnotherName", JOURNAL_CHANGE, Files("C:\\windows\\inf\\oemx.pnf", ""), "no file of the product" },
    { "PrecompiledInfElsewhere", JOURNAL_CHANGE, Files("C:\\windows\\system32\\oem1.pnf", ""), "no file of the product" },
    { "FileOfAnotherProduct", JOURNAL_CHANGE, Files("C:\\windows\\system32\\kernel32.dll", ""), "no file of the product" },
    { "ThroughDotDot", JOURNAL_CHANGE, Files("C:\\spool\\drivers\\w32x86\\3\\..\\..\\TarvUI.dll", ""),
      "no file of the product" },
    { "TwoFoldersDeep", JOURNAL_CHANGE, Files("C:\\windows\\system32\\a\\b\\TarvUI.dll", ""), "no file of the product" },
    { "ForwardSlash", JOURNAL_CHANGE, Files("C:\\windows\\system32\\x/TarvUI.dll", ""), "no file of the product" },
    { "OutsideTheFolders", JOURNAL_CHANGE, Files("C:\\Users\\Public\\TarvUI.dll", ""), "no file of the product" },
    { "CopyInAnotherFolder", JOURNAL_CHANGE,
      Files("C:\\windows\\system32\\hwport.dll", "C:\\windows\\system32\\3\\trv1.tmp"), "not beside its file" },
    { "CopyOfAnotherName", JOURNAL_CHANGE, Files("C:\\windows\\system32\\hwport.dll", "C:\\windows\\system32\\x.tmp"),
      "not beside its file" },
    { "CopyRecordWithoutACopy", JOURNAL_COPY, Files("C:\\windows\\system32\\hwport.dll", ""), "not beside its file" },
    { "ThirdText", JOURNAL_CHANGE, Files("C:\\windows\\system32\\hwport.dll", "") + "x", "damaged" },
    { "OurService", JOURNAL_SERVICE_DELETED, Service(1, 3, "C:\\windows\\system32\\drivers\\hwbridge.sys"), nullptr },
    { "ServiceWithAnotherBinary", JOURNAL_SERVICE_DELETED, Service(1, 3, "C:\\other\\evil.sys"), "another service" },
    { "ServiceOfAnotherType", JOURNAL_SERVICE_DELETED, Service(16, 3, "C:\\windows\\system32\\drivers\\hwbridge.sys"),
      "another service" },
    { "ServiceStartedAtBoot", JOURNAL_SERVICE_DELETED, Service(1, 0, "C:\\windows\\system32\\drivers\\hwbridge.sys"),
      nullptr },
    { "StartTypePastDisabled", JOURNAL_SERVICE_DELETED, Service(1, 5, "C:\\windows\\system32\\drivers\\hwbridge.sys"),
      "another service" },
    { "InfWithTheNamesBefore", JOURNAL_INF_ADDED, Inf("[Version]", std::string("oem1.inf") + '\0'), nullptr },
    { "InfNamingAPath", JOURNAL_INF_ADDED, Inf("[Version]", std::string("..\\win.ini") + '\0'), "outside the INF folder" },
    { "InfWithoutBytes", JOURNAL_INF_ADDED, Inf("", ""), "damaged" },
    { "InfSizeTooLarge", JOURNAL_INF_ADDED, Inf("[Version]", "").substr(0, 6), "damaged" },
    { "QueueBlock", JOURNAL_QUEUE_DELETED, Block(0), nullptr },
    { "PointerPastTheBlock", JOURNAL_QUEUE_DELETED, Block(1), "leaves its block" },
    { "DeviceModePastTheBlock", JOURNAL_QUEUE_DELETED, Block(2), "device mode" },
    { "DescriptorPastTheBlock", JOURNAL_QUEUE_DELETED, Block(3), "security descriptor" },
    { "AnotherPrinter", JOURNAL_DRIVER_DELETED, Block(4), "another printer or driver" },
    { "BlockCutShort", JOURNAL_QUEUE_DELETED, Block(0).substr(0, 40), "damaged" },
    { "MarkOfAnEarlierRecord", JOURNAL_UNDONE, std::string("\x02\0\0\0", 4), nullptr },
    { "MarkOfItself", JOURNAL_UNDONE, std::string("\x05\0\0\0", 4), "no earlier record" },
    { "DoneWithData", JOURNAL_DONE, "x", "data it should not have" },
    { "UnknownType", 99, "", "unknown type" },
};

class JournalRecord : public ::testing::TestWithParam<size_t> {};

TEST_P(JournalRecord, IsCheckedBeforeAnyIsApplied)
{
    const Row &row = kRows[GetParam()];
    const char *why = CheckJournalRecord(&kRules, 5, row.type, (const unsigned char *)row.data.data(), row.data.size());
    if (!row.why)
        EXPECT_EQ(why, nullptr) << why;
    else
        EXPECT_TRUE(why && strstr(why, row.why)) << (why ? why : "(passed)");
}

INSTANTIATE_TEST_SUITE_P(Rows, JournalRecord, ::testing::Range<size_t>(0, sizeof kRows / sizeof kRows[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kRows[info.param].name; });

// A last record cut short while it was written is left out; a file of
// another program, or of another pointer size, is no journal.
TEST(JournalWalk, LeavesOutATornLastRecordAndRefusesOtherFiles)
{
    std::string journal(JOURNAL_MAGIC, sizeof JOURNAL_MAGIC);
    JournalRecordHeader done = { JOURNAL_DONE, 0 }, torn = { JOURNAL_CHANGE, 40 };
    journal += std::string((const char *)&done, sizeof done);
    EXPECT_EQ(WalkJournal((const unsigned char *)journal.data(), journal.size(), nullptr, nullptr), 1);
    journal += std::string((const char *)&torn, sizeof torn) + "C:\\x";
    EXPECT_EQ(WalkJournal((const unsigned char *)journal.data(), journal.size(), nullptr, nullptr), 1);
    journal[3] = (char)(journal[3] == 4 ? 8 : 4);
    EXPECT_EQ(WalkJournal((const unsigned char *)journal.data(), journal.size(), nullptr, nullptr), -1);
    EXPECT_EQ(WalkJournal((const unsigned char *)"TJ", 2, nullptr, nullptr), -1);
}

}  // namespace
