// List lines of the port dialog and the port name read back from them.
#include <gtest/gtest.h>

#include <string>

#include "install/port_line.h"

namespace {

// Shift-JIS style: 0x81 to 0x9F and 0xE0 to 0xFC start a two-byte character.
int SjisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string Line(const char *name, const char *description, size_t size = 80, int *result = nullptr)
{
    char out[256];
    int ok = FormatPortLine(out, size, name, description, SjisLead);
    if (result)
        *result = ok;
    return ok ? std::string(out) : std::string("<refused>");
}

std::string NameOf(const std::string &line, size_t size = 80)
{
    char out[256];
    return PortNameFromLine(out, size, line.c_str()) ? std::string(out) : std::string("<refused>");
}

}  // namespace

TEST(PortLine, NameTwoBlanksAndDescriptionInParentheses)
{
    EXPECT_EQ(Line("LPT1:", "Local Port"), "LPT1:  (Local Port)");
    EXPECT_EQ(Line("FILE:", ""), "FILE:  ()");
    EXPECT_EQ(Line("FILE:", nullptr), "FILE:  ()");
    EXPECT_EQ(Line("", "Local Port"), "<refused>");
    EXPECT_EQ(Line(nullptr, "Local Port"), "<refused>");
}

TEST(PortLine, LongLinesKeepTheWholeNameOrLeaveThePortOut)
{
    // Exactly 79 characters fits unchanged.
    std::string name(40, 'N');
    std::string description(79 - 40 - 4, 'd');
    EXPECT_EQ(Line(name.c_str(), description.c_str()), name + "  (" + description + ")");

    // One more: the description is cut and marked, the line still fits 79.
    std::string longer = description + "XY";
    std::string cut = Line(name.c_str(), longer.c_str());
    EXPECT_EQ(cut, name + "  (" + std::string(79 - 40 - 7, 'd') + "...)");
    EXPECT_EQ(cut.size(), 79u);
    EXPECT_EQ(NameOf(cut), name);

    // No room for any description: the name alone.
    std::string wide(75, 'W');
    EXPECT_EQ(Line(wide.c_str(), "Local Port"), wide);

    // A name of 79 characters still fits; 80 would have to become another port.
    std::string full(79, 'F');
    EXPECT_EQ(Line(full.c_str(), "Local Port"), full);
    EXPECT_EQ(Line(std::string(80, 'F').c_str(), "Local Port"), "<refused>");
}

TEST(PortLine, CutDescriptionNeverSplitsADoubleByteCharacter)
{
    std::string name(60, 'N');
    // 60 + 3 + 4 leaves 12 bytes: five two-byte characters after one ASCII byte
    // would end in the middle of the sixth.
    std::string description = "a";
    for (int i = 0; i < 10; i++)
        description += "\x83\x7C";
    std::string line = Line(name.c_str(), description.c_str());
    EXPECT_EQ(line, name + "  (a" + std::string("\x83\x7C\x83\x7C\x83\x7C\x83\x7C\x83\x7C") + "...)");
}

TEST(PortLine, PortNameEndsAtTheFirstBlankOnly)
{
    EXPECT_EQ(NameOf("LPT1:  (Local Port)"), "LPT1:");
    EXPECT_EQ(NameOf("My Port:  (Local Port)"), "My");
    EXPECT_EQ(NameOf("Tab\tPort:  (Local Port)"), "Tab\tPort:");
    EXPECT_EQ(NameOf("NOBLANK"), "NOBLANK");
    EXPECT_EQ(NameOf(""), "");
    // The name has to fit whole.
    EXPECT_EQ(NameOf("ABCD  (x)", 4), "<refused>");
    EXPECT_EQ(NameOf("ABCD  (x)", 5), "ABCD");
}
