// The program's own formatter against the C library's snprintf: the same
// bytes for every conversion the program uses, in every buffer size, and the
// catalogue's messages in all three languages formatted as before.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <climits>
#include <string>
#include <vector>

#include "base/text.h"
#include "tests/support/catalogue.h"

namespace {

// Formats with both in every buffer size up to a little past the full text.
template <typename... Args>
void ExpectSameAsSnprintf(const char *format, Args... args)
{
    SCOPED_TRACE(format);
    int full = snprintf(nullptr, 0, format, args...);
    ASSERT_GE(full, 0);
    for (size_t size = 0; size <= (size_t)full + 2; size++) {
        std::vector<char> expected(size + 1, '#'), actual(size + 1, '#');
        snprintf(expected.data(), size, format, args...);
        int fits = FormatText(actual.data(), size, format, args...);
        EXPECT_EQ(std::string(actual.data(), size + 1), std::string(expected.data(), size + 1)) << "size " << size;
        EXPECT_EQ(fits, size > 0 && (size_t)full < size) << "size " << size;
    }
}

}  // namespace

TEST(Format, ConversionsTheProgramUsesMatchTheCLibrary)
{
    ExpectSameAsSnprintf("%s\\%s", "C:\\windows\\system32", "hwport.dll");
    ExpectSameAsSnprintf("%s%s%s%s", "LPT1:", "  (", "Local Port", ")");
    ExpectSameAsSnprintf("%starv.inf", "Nt2000\\");
    ExpectSameAsSnprintf("\r\n\t%s", "");
    ExpectSameAsSnprintf("%lu", 0ul);
    ExpectSameAsSnprintf("Unknown Windows version (%lu / %lu.%lu)...", 2ul, 6ul, 1ul);
    ExpectSameAsSnprintf("reason %lu...", (unsigned long)UINT_MAX);
    // Setup-library errors lie above INT_MAX: shown unsigned, never negative.
    ExpectSameAsSnprintf("failed, error %lu", 0xE000022Ful);
    // Above the signed range of each size, whatever long's width on this host.
    ExpectSameAsSnprintf("%u %u %lu %lu", 0x80000000u, UINT_MAX, (unsigned long)LONG_MAX + 1ul, ULONG_MAX);
    ExpectSameAsSnprintf("Error OpenSC %ld\r\n", 5l);
    ExpectSameAsSnprintf("Error CreateSC %ld\r\n", -1l);
    ExpectSameAsSnprintf("%ld", LONG_MIN);
    ExpectSameAsSnprintf("%.2u/%.2u/%.2u %.2u:%.2u:%.2u", 7u, 12u, 4u, 9u, 5u, 0u);
    ExpectSameAsSnprintf("%02.2d/%02.2d/%02.2d", 7, 12, 104 % 100);
}

TEST(Format, FlagsWidthsAndPrecisions)
{
    ExpectSameAsSnprintf("[%5s][%-5s][%.2s][%-7.3s]", "ab", "ab", "abcdef", "abcdef");
    ExpectSameAsSnprintf("[%05lu][%-6lu][%6.3lu][%.0lu][%.0lu]", 42ul, 42ul, 7ul, 0ul, 3ul);
    ExpectSameAsSnprintf("[%05ld][%-6ld][%.3ld][%4d][%d]", -42l, -42l, -7l, -3, INT_MIN);
    ExpectSameAsSnprintf("[%x][%X][%08lx][%c][%%][100%%]", 0xbeefu, 0xbeefu, 0x1234abcdul, 'Z');
    ExpectSameAsSnprintf("%s", "\x93\xfa\x96\x7b\x8c\xea");  // double-byte text passes byte for byte
}

TEST(Format, NullTextAndUnknownConversions)
{
    char out[32];
    EXPECT_EQ(FormatText(out, sizeof out, "[%s]", (const char *)nullptr), 1);
    EXPECT_STREQ(out, "[(null)]");
    // An unknown conversion takes no argument and is shown as written.
    EXPECT_EQ(FormatText(out, sizeof out, "%q%s%", "x"), 1);
    EXPECT_STREQ(out, "%qx%");
    EXPECT_EQ(FormatText(out, 0, "%s", "x"), 0);
}

// The conversions of a format in order, "s" for a text and "u" for a number.
std::string Signature(const std::string &format)
{
    std::string signature;
    for (size_t at = format.find('%'); at != std::string::npos; at = format.find('%', at + 1)) {
        size_t end = format.find_first_not_of("-0123456789.l", at + 1);
        if (end != std::string::npos && format[end] != '%')
            signature += format[end] == 's' ? 's' : 'u';
        at = end;
        if (at == std::string::npos)
            break;
    }
    return signature;
}

TEST(Format, CatalogueMessagesInEveryLanguageMatchTheCLibrary)
{
    std::vector<std::string> messages = catalogue::AnsiMessages(TARV_SOURCE_DIR);
    ASSERT_GT(messages.size(), 100u);
    const char *path = "C:\\Program Files\\Tarv %d %s";
    const char *japanese = "\x83\x65\x83\x58\x83\x67";
    for (const std::string &message : messages) {
        std::string signature = Signature(message);
        if (signature == "")
            ExpectSameAsSnprintf(message.c_str(), 0);
        else if (signature == "s")
            ExpectSameAsSnprintf(message.c_str(), path);
        else if (signature == "ss")
            ExpectSameAsSnprintf(message.c_str(), path, japanese);
        else if (signature == "su")
            ExpectSameAsSnprintf(message.c_str(), japanese, 4294967295ul);
        else if (signature == "u")
            ExpectSameAsSnprintf(message.c_str(), 4294967295ul);
        else if (signature == "uuu")
            ExpectSameAsSnprintf(message.c_str(), 2ul, 0ul, 1234567ul);
        else
            ADD_FAILURE() << "a message with conversions " << signature << ": " << message;
    }
}
