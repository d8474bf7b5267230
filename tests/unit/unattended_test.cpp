#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "app/request.h"
#include "app/unattended.h"
#include "res/resource.h"

TEST(Unattended, ExitCodeOfEachKindOfMessage)
{
    for (unsigned id : { IDS_CONFIRM_COMPLETE_SETUP, IDS_CONFIRM_COMPLETE_DELETION, IDS_CONFIRM_SIMPLE_DELETION,
                         IDS_CONFIRM_SIMPLE_SETUP })
        EXPECT_EQ(QuietExitForMessage(id), QUIET_EXIT_DONE) << id;
    EXPECT_EQ(QuietExitForMessage(IDS_USAGE_TEXT), 87);
    for (unsigned id : { IDS_NO_VERSION, IDS_UNSUPPORTED, IDS_UNKNOWN_VERSION })
        EXPECT_EQ(QuietExitForMessage(id), 1633) << id;
    for (unsigned id : { 0u, (unsigned)IDS_BACKUP_FAILED, (unsigned)IDS_COPY_FAILED, (unsigned)IDS_NO_MEMORY,
                         (unsigned)IDS_DRIVER_FAILED, (unsigned)IDS_FORM_NOT_DELETED, (unsigned)IDS_FACTS_UNKNOWN,
                         (unsigned)IDS_PATH_TOO_LONG, (unsigned)IDS_DLL_MISSING })
        EXPECT_EQ(QuietExitForMessage(id), 1603) << id;
    // The first failure stays; success never replaces one.
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_DONE, QUIET_EXIT_FAILED), 1603);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_BAD_COMMAND_LINE, QUIET_EXIT_FAILED), 87);
    EXPECT_EQ(MergeQuietExit(QUIET_EXIT_FAILED, QUIET_EXIT_DONE), 1603);
}

TEST(Unattended, MessagesStayOnTheirLogLine)
{
    char out[32];
    EXPECT_EQ(EscapeForLog(out, sizeof out, "a\r\nb\tc\\d"), 1);
    EXPECT_STREQ(out, "a\\r\\nb\\tc\\d");
    // Cut between escapes, never inside one.
    char small[5];
    EXPECT_EQ(EscapeForLog(small, sizeof small, "ab\r\n"), 0);
    EXPECT_STREQ(small, "ab\\r");
    EXPECT_EQ(EscapeForLog(small, 3, "a\nb"), 0);
    EXPECT_STREQ(small, "a");
    EXPECT_EQ(EscapeForLog(out, 0, "x"), 0);
}

TEST(Unattended, StampsAndActionNames)
{
    char stamp[32];
    EXPECT_EQ(FormatLogStamp(stamp, sizeof stamp, 2026, 12, 8, 9, 5, 7, 42), 1);
    EXPECT_STREQ(stamp, "2026-12-08 09:05:07.042");
    EXPECT_EQ(FormatLogStamp(stamp, 10, 2026, 12, 8, 9, 5, 7, 42), 0);
    EXPECT_STREQ(ActionName(ACTION_COMPLETE_DELETION), "complete deletion");
    EXPECT_STREQ(ActionName(99), "unknown");
}
