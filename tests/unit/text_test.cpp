#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "tests/support/catalogue.h"

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

// Every Japanese message, cut to every buffer size as a report or a log line
// is, ends with a whole character: a prefix of the text that a character walk
// reaches exactly.
TEST(Text, JapaneseTextsCutToTheirBufferEndWithAWholeCharacter)
{
    auto lead = [](unsigned char c) { return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc) ? 1 : 0; };
    size_t checked = 0;
    for (const auto &entry : catalogue::Strings(TARV_SOURCE_DIR, "ja-JP.rc")) {
        std::string text;
        ASSERT_TRUE(catalogue::ToCodePage("CP932", catalogue::Unescape(entry.second), &text)) << entry.first;
        for (size_t size = 1; size <= text.size(); size++) {
            std::vector<char> out(size);
            if (FormatText(out.data(), size, "%s", text.c_str()))
                continue;
            DropCutCharacter(out.data(), lead);
            std::string kept(out.data());
            ASSERT_EQ(text.compare(0, kept.size(), kept), 0) << entry.first;
            size_t at = 0;
            while (at < kept.size())
                at += lead((unsigned char)text[at]) ? 2 : 1;
            EXPECT_EQ(at, kept.size()) << entry.first << " cut to " << size;
            EXPECT_GE(kept.size() + 2, size - 1) << entry.first;  // at most the cut character is lost
            checked++;
        }
    }
    EXPECT_GT(checked, 1000u);
}

TEST(Text, UpperCaseAscii)
{
    char text[] = "/os=winnt50 \xe0z";
    UpperCaseAscii(text);
    EXPECT_STREQ(text, "/OS=WINNT50 \xe0Z");
}
