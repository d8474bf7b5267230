// Backup names, the source root and the replace confirmation's file facts.
#include <gtest/gtest.h>

#include <string.h>

#include "catalog/names.h"

namespace {

std::string Backup(const char *name, size_t size = BACKUP_NAME_CHARS)
{
    char buffer[BACKUP_NAME_CHARS * 2];
    strcpy(buffer, name);
    if (!MakeBackupName(buffer, size))
        return std::string("refused:") + buffer;
    return buffer;
}

std::string SourceRoot(const std::string &folder, size_t size = 512)
{
    char buffer[600];
    strcpy(buffer, folder.c_str());
    if (!AppendSourceRoot(buffer, size))
        return std::string("refused:") + buffer;
    return buffer;
}

}  // namespace

TEST(BackupName, ReplacesTheLastExtensionOnly)
{
    EXPECT_EQ(Backup("Tarv.ini"), "Tarv.bku");
    EXPECT_EQ(Backup("TarvUI.dll"), "TarvUI.bku");
    EXPECT_EQ(Backup("a.b.c"), "a.b.bku");
    EXPECT_EQ(Backup("README"), "README.bku");
    EXPECT_EQ(Backup("name."), "name.bku");
    // Same stem, one backup name: the later backup overwrites the earlier.
    EXPECT_EQ(Backup("Tarv.drv"), Backup("Tarv.ini"));
}

TEST(BackupName, RefusesANameThatDoesNotFitUnchanged)
{
    std::string stem59(59, 's');
    EXPECT_EQ(Backup((stem59 + ".dll").c_str()), stem59 + ".bku");  // 63 characters fit
    std::string stem60(60, 's');
    EXPECT_EQ(Backup((stem60 + ".dll").c_str()), "refused:" + stem60 + ".dll");
    // A long extension shrinks the name: only the result must fit.
    std::string longExtension = "a." + std::string(80, 'x');
    EXPECT_EQ(Backup(longExtension.c_str(), sizeof "a.bku"), "a.bku");
}

TEST(SourceRoot, AppendsDriversAndRefusesAPathThatDoesNotFit)
{
    EXPECT_EQ(SourceRoot("Z:\\media"), "Z:\\media\\drivers");
    EXPECT_EQ(SourceRoot("C:\\"), "C:\\drivers");
    // The second call names drivers\drivers, which normally does not exist.
    EXPECT_EQ(SourceRoot("Z:\\media\\drivers"), "Z:\\media\\drivers\\drivers");
    // A double-byte character whose trail byte is a backslash is no separator.
    EXPECT_EQ(SourceRoot("C:\\\x95\\"), "C:\\\x95\\\\drivers");

    std::string longest = "C:\\" + std::string(500, 'f');  // 503 characters
    EXPECT_EQ(SourceRoot(longest), longest + "\\drivers");
    std::string tooLong = longest + "g";
    EXPECT_EQ(SourceRoot(tooLong), "refused:" + tooLong);
}

TEST(FileFacts, SizeShowsTheLow32BitsAndTimeTwoDigitFields)
{
    char text[FACT_CHARS];
    ASSERT_TRUE(FormatFileSize(text, sizeof text, 0));
    EXPECT_STREQ(text, "0");
    ASSERT_TRUE(FormatFileSize(text, sizeof text, 4294967295ull));
    EXPECT_STREQ(text, "4294967295");
    ASSERT_TRUE(FormatFileSize(text, sizeof text, 4294967296ull + 1234));
    EXPECT_STREQ(text, "1234");

    ASSERT_TRUE(FormatFileTime(text, sizeof text, 7, 12, 2004, 9, 5, 0));
    EXPECT_STREQ(text, "07/12/04 09:05:00");
    ASSERT_TRUE(FormatFileTime(text, sizeof text, 31, 1, 1999, 23, 59, 58));
    EXPECT_STREQ(text, "31/01/99 23:59:58");
    // A failed conversion leaves zeros.
    ASSERT_TRUE(FormatFileTime(text, sizeof text, 0, 0, 0, 0, 0, 0));
    EXPECT_STREQ(text, "00/00/00 00:00:00");
    EXPECT_FALSE(FormatFileTime(text, 10, 7, 12, 2004, 9, 5, 0));
}
