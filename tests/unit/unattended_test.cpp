#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "res/resource.h"
#include "run/request.h"
#include "run/unattended.h"

TEST(Unattended, ExitCodeOfEachKindOfMessage)
{
    for (unsigned id : { IDS_CONFIRM_COMPLETE_SETUP, IDS_CONFIRM_COMPLETE_DELETION, IDS_CONFIRM_SIMPLE_DELETION,
                         IDS_CONFIRM_SIMPLE_SETUP })
        EXPECT_EQ(QuietExitForMessage(id), QUIET_EXIT_DONE) << id;
    EXPECT_EQ(QuietExitForMessage(IDS_USAGE_TEXT), 87);
    for (unsigned id : { IDS_NO_VERSION, IDS_UNSUPPORTED, IDS_UNKNOWN_VERSION })
        EXPECT_EQ(QuietExitForMessage(id), 1633) << id;
    EXPECT_EQ(QuietExitForMessage(IDS_ALREADY_RUNNING), 1618);
    // "/VERIFY" answers with its result: same, not installed, different, or not checked.
    EXPECT_EQ(QuietExitForMessage(IDS_VERIFY_SAME), 0);
    EXPECT_EQ(QuietExitForMessage(IDS_VERIFY_NOT_INSTALLED), 1);
    EXPECT_EQ(QuietExitForMessage(IDS_VERIFY_DIFFERS), 2);
    EXPECT_EQ(QuietExitForMessage(IDS_VERIFY_FAILED), 1603);
    for (unsigned id : { 0u, (unsigned)IDS_BACKUP_FAILED, (unsigned)IDS_COPY_FAILED, (unsigned)IDS_NO_MEMORY,
                         (unsigned)IDS_DRIVER_FAILED, (unsigned)IDS_FORM_NOT_DELETED, (unsigned)IDS_FACTS_UNKNOWN,
                         (unsigned)IDS_PATH_TOO_LONG, (unsigned)IDS_DLL_MISSING })
        EXPECT_EQ(QuietExitForMessage(id), 1603) << id;
    // The first failure stays; success never replaces one.
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_DONE, QUIET_EXIT_FAILED), 1603);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_BAD_COMMAND_LINE, QUIET_EXIT_FAILED), 87);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_FAILED, QUIET_EXIT_DONE), 1603);
    // A restart still to come is no failure: a failure replaces it, never the reverse.
    EXPECT_EQ(QuietExitForMessage(IDS_RESTART_NEEDED), 3010);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_DONE, QUIET_EXIT_RESTART), 3010);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_RESTART, QUIET_EXIT_DONE), 3010);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_RESTART, QUIET_EXIT_FAILED), 1603);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_FAILED, QUIET_EXIT_RESTART), 1603);
}

namespace {

int ShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

}  // namespace

TEST(Unattended, LoggedTextsCannotStartALineOrPassForAnEscape)
{
    struct Case {
        const char *text;
        size_t size;
        const char *logged;
        int fits;
    };
    // "\x83\x5e\x81\x5b" is "ﾀｰ"-like Shift-JIS: two double-byte characters
    // whose trail bytes look like '^' and '['.
    const Case cases[] = {
        { "a\r\nb\tc\\d", 32, "a%0D%0Ab%09c\\d", 1 },
        { "100% \x7f\x01", 32, "100%25 %7F%01", 1 },
        { "x\r\n2099-01-01 00:00:00.000 Setup.exe ended; exit code 0", 80,
          "x%0D%0A2099-01-01 00:00:00.000 Setup.exe ended; exit code 0", 1 },
        { "ab\r\n", 6, "ab%0D", 0 },               // cut between escapes, never inside one
        { "ab\r\n", 5, "ab", 0 },
        { "a\x83\x5e\x81\x5b", 6, "a\x83\x5e\x81\x5b", 1 },
        { "a\x83\x5e\x81\x5b", 5, "a\x83\x5e", 0 },  // never half a character
        { "a\x83\x5e\x81\x5b", 4, "a\x83\x5e", 0 },
        { "a\x83\x5e\x81\x5b", 3, "a", 0 },
        // A lead byte without its trail byte is escaped too: a reader would pair
        // it with the '%' of the next escape, or with the end of the line.
        { "\x83\n", 8, "%83%0A", 1 },
        { "a\x83", 8, "a%83", 1 },
        { "x", 0, "", 0 },
    };
    for (const Case &c : cases) {
        char out[96];
        memset(out, '#', sizeof out);
        EXPECT_EQ(EscapeForLog(out, c.size, c.text, ShiftJisLead), c.fits) << c.text;
        if (c.size)
            EXPECT_STREQ(out, c.logged) << c.text;
    }
    // Without a lead-byte table every byte stands alone.
    char out[4];
    EXPECT_EQ(EscapeForLog(out, sizeof out, "a\x83\x5e\x81", nullptr), 0);
    EXPECT_STREQ(out, "a\x83\x5e");
}

TEST(Unattended, StampsAndActionNames)
{
    char stamp[32];
    EXPECT_EQ(FormatLogStamp(stamp, sizeof stamp, 2026, 12, 8, 9, 5, 7, 42), 1);
    EXPECT_STREQ(stamp, "2026-12-08 09:05:07.042");
    EXPECT_EQ(FormatLogStamp(stamp, 10, 2026, 12, 8, 9, 5, 7, 42), 0);
    EXPECT_STREQ(ActionName(ACTION_COMPLETE_DELETION), "complete deletion");
    EXPECT_STREQ(ActionName(ACTION_VERIFY), "verification");
    EXPECT_STREQ(ActionName(99), "unknown");
}
