// The dialog templates as the resource compiler wrote them into the shipped
// Setup.exe: every dialog and control keeps the position and size its source
// gives, in each language (an ICON statement, for one, loses its size).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/image/images.h"
#include "tests/image/pe_image.h"
#include "tests/support/catalogue.h"

using namespace image;

namespace {

struct Rect {
    int x, y, width, height;
    bool operator==(const Rect &other) const
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

std::ostream &operator<<(std::ostream &out, const Rect &r)
{
    return out << r.x << ", " << r.y << ", " << r.width << ", " << r.height;
}

// A dialog's own rectangle first, then its controls' in template order.
using Layout = std::vector<Rect>;

// Layouts by dialog ID from a language's resource source.
std::map<int, Layout> SourceLayouts(const std::string &file)
{
    std::map<std::string, int> ids = catalogue::ResourceIds(TARV_SOURCE_DIR, "IDD_");
    std::map<int, Layout> layouts;
    std::ifstream in(std::string(TARV_SOURCE_DIR) + "/res/lang/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::regex header("^(IDD_\\w+) DIALOG (\\d+), (\\d+), (\\d+), (\\d+)\\s*$");
    std::regex control("^\\s+(LTEXT|RTEXT|CTEXT|GROUPBOX|PUSHBUTTON|DEFPUSHBUTTON|LISTBOX|CONTROL|ICON)\\s.*"
                       ", (-?\\d+), (-?\\d+), (\\d+), (\\d+)(, [A-Z_| ]+)?\\s*$");
    Layout *current = nullptr;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_match(line, m, header)) {
            current = &layouts[ids.at(m[1])];
            current->push_back({ std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]) });
        } else if (current && std::regex_match(line, m, control)) {
            current->push_back({ std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]) });
        } else if (line.rfind("END", 0) == 0) {
            current = nullptr;
        }
    }
    return layouts;
}

// Little-endian words of a byte buffer; 0 past its end.
uint16_t Word(const std::vector<uint8_t> &bytes, size_t at)
{
    return at + 2 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 : 0;
}

// Reads the rectangles of a classic (non-extended) dialog template.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint8_t> &bytes) : bytes_(bytes) {}

    Layout Read()
    {
        Layout layout;
        uint32_t style = U32();
        at_ += 4;  // extended style
        int count = U16();
        layout.push_back(ReadRect());
        SkipText();  // menu
        SkipText();  // class
        SkipText();  // caption
        if (style & 0x40) {  // DS_SETFONT
            at_ += 2;
            SkipText();
        }
        for (int i = 0; i < count && at_ < bytes_.size(); i++) {
            at_ = (at_ + 3) & ~(size_t)3;
            at_ += 8;  // style, extended style
            layout.push_back(ReadRect());
            at_ += 2;  // ID
            SkipText();  // class
            SkipText();  // text
            at_ += 2 + Word(bytes_, at_);  // creation data
        }
        return layout;
    }

private:
    uint16_t U16() { uint16_t value = Word(bytes_, at_); at_ += 2; return value; }
    uint32_t U32() { uint32_t low = U16(); return low | (uint32_t)U16() << 16; }
    Rect ReadRect()
    {
        Rect r;
        r.x = (int16_t)U16();
        r.y = (int16_t)U16();
        r.width = (int16_t)U16();
        r.height = (int16_t)U16();
        return r;
    }
    // An ordinal (0xFFFF and a number) or a zero-terminated UTF-16 text.
    void SkipText()
    {
        uint16_t first = U16();
        if (first == 0xFFFF)
            at_ += 2;
        else
            while (first != 0 && at_ < bytes_.size())
                first = U16();
    }

    const std::vector<uint8_t> &bytes_;
    size_t at_ = 0;
};

}  // namespace

TEST(Build, DialogTemplatesKeepTheirGeometryInEveryLanguage)
{
    PeImage image(SetupExe(BuiltImages().front()));
    ASSERT_TRUE(image.Valid());
    struct Language { const char *file; int id; };
    const Language languages[] = { { "en-US.rc", 1033 }, { "fr-FR.rc", 1036 }, { "ja-JP.rc", 1041 } };
    for (const Language &language : languages) {
        SCOPED_TRACE(language.file);
        std::map<int, Layout> expected = SourceLayouts(language.file);
        EXPECT_EQ(expected.size(), 4u);
        for (const auto &item : expected) {
            SCOPED_TRACE(item.first);
            std::vector<uint8_t> bytes = image.Resource(5, item.first, language.id);
            ASSERT_FALSE(bytes.empty());
            Layout built = TemplateReader(bytes).Read();
            ASSERT_EQ(built.size(), item.second.size());
            for (size_t i = 0; i < built.size(); i++)
                EXPECT_EQ(built[i], item.second[i]) << "item " << i;
        }
    }
}
