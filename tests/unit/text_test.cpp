#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "app/text.h"

TEST(Text, FormatAndCopyReportCutting)
{
    char buffer[8];
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%s\\%s", "ab", "cd"), 1);
    EXPECT_STREQ(buffer, "ab\\cd");
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%s\\%s", "abcd", "efgh"), 0);
    EXPECT_EQ(strlen(buffer), 7u);
    EXPECT_EQ(CopyText(buffer, sizeof buffer, "1234567"), 1);
    EXPECT_EQ(CopyText(buffer, sizeof buffer, "12345678"), 0);
    EXPECT_STREQ(buffer, "1234567");
}

TEST(Text, ShortenKeepsTheEndOfALongPath)
{
    char caption[64];
    std::string path = "C:\\windows\\system32\\spool\\drivers\\w32x86";
    ShortenForDisplay(caption, sizeof caption, path.c_str(), nullptr);
    EXPECT_EQ(caption, path);

    std::string longPath = "C:\\" + std::string(80, 'd') + "\\spool\\drivers\\w32x86";
    ShortenForDisplay(caption, sizeof caption, longPath.c_str(), nullptr);
    EXPECT_EQ(strlen(caption), 63u);
    EXPECT_EQ(std::string(caption).substr(0, 3), "...");
    EXPECT_EQ(std::string(caption).substr(63 - 21), "\\spool\\drivers\\w32x86");
}

TEST(Text, ShortenNeverSplitsADoubleByteCharacter)
{
    auto lead = [](unsigned char c) { return (c >= 0x81 && c <= 0x9f) ? 1 : 0; };
    // 40 double-byte characters: cutting at an odd offset would split one.
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "\x82\xa0";
    char out[64];
    ShortenForDisplay(out, sizeof out, text.c_str(), lead);
    std::string shown(out);
    ASSERT_EQ(shown.substr(0, 3), "...");
    std::string tail = shown.substr(3);
    EXPECT_EQ(tail.size() % 2, 0u);
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
}

TEST(Text, UpperCaseAscii)
{
    char text[] = "/os=winnt50 \xe0z";
    UpperCaseAscii(text);
    EXPECT_STREQ(text, "/OS=WINNT50 \xe0Z");
}
