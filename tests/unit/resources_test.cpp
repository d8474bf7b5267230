// The three language resource files: same dialogs, controls, messages and
// placeholders, and every text fits its byte buffer once the ANSI API has
// converted it to the language's code page.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/switches.h"
#include "tests/support/catalogue.h"

namespace {

struct Dialog {
    std::vector<std::string> layout;  // header, style and control lines with texts blanked
    std::vector<std::string> texts;   // caption and control texts in template order
    std::string font;
};

struct ResourceFile {
    std::string language;
    std::map<std::string, Dialog> dialogs;
    std::map<std::string, std::string> strings;  // IDS name -> text as written (escapes kept)
};

std::string SourceRoot()
{
    std::string file = __FILE__;
    return file.substr(0, file.rfind("/tests/unit/"));
}

// Replaces the first quoted text of a line by "" and returns that text.
std::string TakeQuoted(std::string *line)
{
    size_t open = line->find('"');
    if (open == std::string::npos)
        return std::string();
    size_t close = line->find('"', open + 1);
    std::string text = line->substr(open + 1, close - open - 1);
    line->replace(open, close - open + 1, "\"\"");
    return text;
}

std::string Trim(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t\r");
    size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

ResourceFile Load(const std::string &name)
{
    ResourceFile file;
    std::ifstream in(SourceRoot() + "/res/lang/" + name);
    EXPECT_TRUE(in.good()) << name;
    std::string line;
    Dialog *dialog = nullptr;
    const std::regex dialogHeader("^(IDD_\\w+) DIALOG (.*)$");
    while (std::getline(in, line)) {
        line = Trim(line);
        std::smatch match;
        if (line.empty() || line.rfind("//", 0) == 0)
            continue;
        if (line.rfind("LANGUAGE ", 0) == 0) {
            file.language = line.substr(9);
        } else if (std::regex_match(line, match, dialogHeader)) {
            dialog = &file.dialogs[match[1]];
            dialog->layout.push_back(match[2]);
        } else if (line == "END") {
            dialog = nullptr;
        } else if (dialog && line.rfind("FONT ", 0) == 0) {
            dialog->font = line.substr(5);
        } else if (dialog && line != "BEGIN") {
            // A control whose text is a resource ordinal (an icon) has no text of its own.
            bool ordinalText = line.rfind("CONTROL ", 0) == 0 && Trim(line.substr(8))[0] != '"';
            std::string text = ordinalText ? std::string() : TakeQuoted(&line);
            if (line.rfind("CAPTION", 0) == 0 || !text.empty())
                dialog->texts.push_back(text);
            dialog->layout.push_back(line);
        }
    }
    file.strings = catalogue::Strings(SourceRoot(), name);
    return file;
}

const ResourceFile &English()
{
    static const ResourceFile file = Load("en-US.rc");
    return file;
}

struct Translation {
    const char *file;
    const char *language;
    const char *font;
    const char *codePage;
};

const Translation kTranslations[] = {
    { "fr-FR.rc", "LANG_FRENCH, SUBLANG_FRENCH", "8, \"Microsoft Sans Serif\"", "CP1252" },
    { "ja-JP.rc", "LANG_JAPANESE, SUBLANG_DEFAULT", "8, \"MS UI Gothic\"", "CP932" },
};

std::vector<std::string> Placeholders(const std::string &text)
{
    std::vector<std::string> found;
    static const std::regex placeholder("%[-0-9.]*l?[a-z%]");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder); it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

}  // namespace

TEST(Resources, EnglishIsReadCompletely)
{
    // Guards the parser: a file it misreads would make the comparisons below vacuous.
    EXPECT_EQ(English().language, "LANG_ENGLISH, SUBLANG_ENGLISH_US");
    EXPECT_EQ(English().dialogs.size(), 4u);
    EXPECT_EQ(English().dialogs.at("IDD_REPLACE").texts.size(), 12u);
    EXPECT_EQ(English().dialogs.at("IDD_PORT").texts.front(), "Port Selection");
    EXPECT_GE(English().strings.size(), 34u);
    EXPECT_EQ(English().strings.at("IDS_UNKNOWN_VERSION"), "Unknown Windows version (%lu / %lu.%lu)...");
}

TEST(Resources, TranslatedDialogsKeepTheEnglishLayout)
{
    for (const Translation &t : kTranslations) {
        SCOPED_TRACE(t.file);
        ResourceFile file = Load(t.file);
        EXPECT_EQ(file.language, t.language);
        ASSERT_EQ(file.dialogs.size(), English().dialogs.size());
        for (const auto &item : English().dialogs) {
            SCOPED_TRACE(item.first);
            ASSERT_TRUE(file.dialogs.count(item.first));
            const Dialog &dialog = file.dialogs.at(item.first);
            EXPECT_EQ(dialog.font, t.font);
            std::vector<std::string> expected = item.second.layout;
            // The Japanese replace dialog's icon is taller for its font.
            if (std::string(t.file) == "ja-JP.rc" && item.first == "IDD_REPLACE")
                for (std::string &line : expected)
                    if (line.find("IDC_REPLACE_ICON") != std::string::npos)
                        line = std::regex_replace(line, std::regex("8, 12, 20, 20$"), "8, 12, 21, 23");
            EXPECT_EQ(dialog.layout, expected);
            ASSERT_EQ(dialog.texts.size(), item.second.texts.size());
            for (size_t i = 0; i < dialog.texts.size(); i++) {
                std::string bytes;
                EXPECT_TRUE(catalogue::ToCodePage(t.codePage, dialog.texts[i], &bytes)) << dialog.texts[i];
                if (item.second.texts[i] != "OK" && item.second.texts[i] != "Cancel")
                    EXPECT_NE(dialog.texts[i], item.second.texts[i]) << "untranslated";
            }
        }
    }
}

TEST(Resources, EveryMessageIsTranslatedWithItsPlaceholders)
{
    for (const Translation &t : kTranslations) {
        SCOPED_TRACE(t.file);
        ResourceFile file = Load(t.file);
        EXPECT_EQ(file.strings.size(), English().strings.size());
        for (const auto &item : English().strings) {
            SCOPED_TRACE(item.first);
            ASSERT_TRUE(file.strings.count(item.first)) << "missing";
            EXPECT_FALSE(file.strings.at(item.first).empty());
            EXPECT_EQ(Placeholders(file.strings.at(item.first)), Placeholders(item.second));
        }
    }
}

TEST(Resources, TextsFitTheirByteBuffersInTheAnsiCodePage)
{
    // Buffers are sized in bytes: a double-byte character takes two.
    const std::map<std::string, size_t> kSmallBuffers = {
        { "IDS_APP_TITLE", 64 }, { "IDS_USAGE_CAPTION", 64 }, { "IDS_DELETION_TITLE", 64 },
        { "IDS_SETUP_FAILURE", 64 }, { "IDS_DELETION_FAILURE", 64 },
        { "IDS_COPY_INSTALL", 32 }, { "IDS_COPY_BACKUP", 32 },
    };
    for (const Translation &t : kTranslations) {
        SCOPED_TRACE(t.file);
        ResourceFile file = Load(t.file);
        for (const auto &item : file.strings) {
            SCOPED_TRACE(item.first);
            std::string bytes;
            ASSERT_TRUE(catalogue::ToCodePage(t.codePage, catalogue::Unescape(item.second), &bytes)) << "not representable";
            auto small = kSmallBuffers.find(item.first);
            size_t limit = small != kSmallBuffers.end() ? small->second : 256;
            EXPECT_LT(bytes.size(), limit);
            if (item.first == "IDS_USAGE_TEXT") {
                char usage[512];
                EXPECT_EQ(BuildUsageText(bytes.c_str(), usage, sizeof usage), 1);
            }
        }
    }
}
