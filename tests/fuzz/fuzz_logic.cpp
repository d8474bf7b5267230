// libFuzzer target for the portable logic: the command-line tail and its
// parsing, usage text, platform lookup, the formatter over every catalogue
// message, the bounded text helpers, backup names, port lines, the spooler's
// multi-string and the data-file choice. Invariants are checked with abort()
// so that the fuzzer reports them.
#include <stdint.h>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <stdio.h>

#include <string>
#include <type_traits>
#include <vector>

#include "app/switches.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "catalog/records.h"
#include "install/port_line.h"
#include "remove/datafile.h"
#include "run/request.h"
#include "run/unattended.h"
#include "tests/support/catalogue.h"

static void Check(bool condition)
{
    if (!condition)
        abort();
}

static int ShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

// Every message of the three catalogues as the program loads it, and the
// program's own formats.
static std::vector<std::string> g_formats;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_formats = catalogue::AnsiMessages(TARV_SOURCE_DIR);
    Check(g_formats.size() > 100);
    for (const char *format : { "%s\\%s", "%s%s%s%s", "%starv.inf", "\r\n\t%s", "%lu", "Error OpenSC %ld\r\n",
                                "%.2u/%.2u/%.2u %.2u:%.2u:%.2u", "%s\\system32\\drivers\\hwbridge.sys" })
        g_formats.push_back(format);
    return 0;
}

// One argument of a format, typed as the conversion reads it.
struct Arg {
    char kind;  // 's' text, 'i' int, 'l' long, 'u' unsigned, 'U' unsigned long
    const char *text;
    unsigned long number;
};

// The arguments a format takes, in order, as the formatter reads them.
static std::string Kinds(const std::string &format)
{
    std::string kinds;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] != '%')
            continue;
        size_t at = i + 1;
        while (at < format.size() && strchr("-0123456789.", format[at]))
            at++;
        bool isLong = at < format.size() && format[at] == 'l';
        if (isLong)
            at++;
        char conversion = at < format.size() ? format[at] : '\0';
        if (conversion == 's')
            kinds += 's';
        else if (conversion == 'd' || conversion == 'i' || conversion == 'c')
            kinds += isLong ? 'l' : 'i';
        else if (conversion == 'u' || conversion == 'x' || conversion == 'X')
            kinds += isLong ? 'U' : 'u';
        i = at;
    }
    return kinds;
}

template <typename F, typename... T>
typename std::enable_if<(sizeof...(T) >= 3), void>::type Apply(F f, const std::vector<Arg> &, size_t, T... done)
{
    f(done...);
}

// Calls f with the arguments, each passed with the type its conversion reads.
template <typename F, typename... T>
typename std::enable_if<(sizeof...(T) < 3), void>::type Apply(F f, const std::vector<Arg> &args, size_t i,
                                                              T... done)
{
    if (i == args.size())
        return f(done...);
    const Arg &arg = args[i];
    switch (arg.kind) {
    case 's': return Apply(f, args, i + 1, done..., arg.text);
    case 'i': return Apply(f, args, i + 1, done..., (int)arg.number);
    case 'l': return Apply(f, args, i + 1, done..., (long)arg.number);
    case 'u': return Apply(f, args, i + 1, done..., (unsigned)arg.number);
    default: return Apply(f, args, i + 1, done..., arg.number);
    }
}

// A catalogue message with hostile arguments into a buffer of any size: never
// a byte past the buffer, always terminated, and the C library's bytes.
static void FuzzFormat(const uint8_t *data, size_t size)
{
    if (size < 3)
        return;
    const std::string &format = g_formats[(data[0] | data[1] << 8) % g_formats.size()];
    size_t bufferSize = data[2] % 2 ? data[2] * 3u : data[2] % 16;
    std::string kinds = Kinds(format);
    if (kinds.size() > 3)
        return;
    // Texts are slices of the input (with its own '%' signs); numbers its bytes.
    std::string rest(data + 3, data + size);
    std::vector<std::string> texts;
    std::vector<Arg> args;
    size_t at = 0;
    for (char kind : kinds) {
        size_t end = rest.find('\0', at);
        texts.push_back(rest.substr(at, end == std::string::npos ? std::string::npos : end - at));
        unsigned long number = 0;
        for (size_t k = 0; k < sizeof number && at + k < rest.size(); k++)
            number = number << 8 | (unsigned char)rest[at + k];
        args.push_back({ kind, nullptr, number });
        at = end == std::string::npos ? rest.size() : end + 1;
    }
    for (size_t i = 0; i < args.size(); i++)
        args[i].text = texts[i].c_str();
    std::vector<char> out(bufferSize);  // exactly the buffer: a byte more is an overflow
    std::vector<char> expected(bufferSize + 1);
    int fits = 0, full = 0;
    Apply([&](auto... a) {
        fits = FormatText(out.data(), bufferSize, format.c_str(), a...);
        full = snprintf(expected.data(), bufferSize, format.c_str(), a...);
    }, args, 0);
    if (bufferSize == 0) {
        Check(fits == 0);
        return;
    }
    Check(memchr(out.data(), '\0', bufferSize) != nullptr);
    Check(memcmp(out.data(), expected.data(), strlen(expected.data()) + 1) == 0);
    Check(fits == (full >= 0 && (size_t)full < bufferSize));
}

// The tail lies inside the line and starts with no blank; without quotes the
// skipped name holds none either.
static void FuzzCommandLineTail(const std::vector<char> &raw)
{
    std::vector<char> line(raw);
    char *tail = CommandLineTail(line.data());
    Check(tail >= line.data() && tail < line.data() + line.size());
    Check(*tail == '\0' || (unsigned char)*tail > ' ');
    if (line[0] != '"')
        for (const char *c = line.data(); c < tail && (unsigned char)*c > ' '; c++)
            Check(!strchr(" \t", *c));
}

static int Escaped(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == '%';
}

// A log line's escaped text: bounded and terminated, and the text's
// characters escaped one by one, as many whole ones as fit; complete when it
// fits.
static void FuzzLogEscape(const std::vector<char> &raw, size_t bufferSize)
{
    std::vector<char> out(bufferSize);
    int fits = EscapeForLog(out.data(), bufferSize, raw.data(), ShiftJisLead);
    if (bufferSize == 0)
        return;
    Check(memchr(out.data(), '\0', bufferSize) != nullptr);
    // What each character of the text must become, in order: a control
    // byte, '%' and a lead byte without its trail byte (before the end or a
    // control byte) as %XX, a lead byte with its trail byte as both, any
    // other byte as it is.
    static const char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> units;
    for (size_t i = 0; raw[i];) {
        unsigned char c = (unsigned char)raw[i], next = (unsigned char)raw[i + 1];
        if (ShiftJisLead(c) && next && !Escaped(next)) {
            units.push_back(std::string(raw.data() + i, 2));
            i += 2;
        } else if (Escaped(c) || ShiftJisLead(c)) {
            units.push_back(std::string("%") + kHex[c >> 4] + kHex[c & 15]);
            i++;
        } else {
            units.push_back(std::string(1, (char)c));
            i++;
        }
    }
    // The output is a whole number of those, as many as fit.
    std::string written(out.data()), expected;
    size_t count = 0;
    while (count < units.size() && expected.size() + units[count].size() <= written.size())
        expected += units[count++];
    Check(written == expected);
    Check(fits == (count == units.size()));
    Check(count == units.size() || written.size() + units[count].size() >= bufferSize);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzFormat(data, size);
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    size_t length = strlen(text.data());

    // Command line.
    int count = CountTokens(text.data());
    Check(count >= 0 && (size_t)count <= (length + 1) / 2);
    std::vector<char *> tokens(count + 1, nullptr);
    SplitTokens(text.data(), tokens.data());
    Check(tokens[count] == nullptr);
    for (int i = 0; i < count; i++)
        Check(tokens[i] != nullptr && *tokens[i] != '\0' && strlen(tokens[i]) <= length);
    SetupRequest request = { ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN };
    ApplyTokens(tokens.data(), &request);
    Check(request.action >= ACTION_USAGE && request.action <= ACTION_COMMIT);
    Check(request.platform >= 0 && request.platform <= PLATFORM_UNKNOWN);
    if (request.action == ACTION_USAGE)
        Check(request.platform == PLATFORM_UNKNOWN);

    // Lookups and texts built from the raw input.
    std::vector<char> raw(data, data + size);
    raw.push_back('\0');
    FuzzCommandLineTail(raw);
    FuzzLogEscape(raw, size ? data[size - 1] % 64 : 0);
    LogSwitch log = {};
    FindLogSwitch(raw.data(), &log);
    Check(strlen(log.path) < sizeof log.path && (!log.pathTooLong || log.path[0] == '\0'));
    int quiet = HasQuietSwitch(raw.data());
    {
        // Whatever the scan stops at, "/QUIET" anywhere makes a quiet run.
        std::vector<char> line(raw);
        std::vector<char *> words(CountTokens(line.data()) + 1);
        SplitTokens(line.data(), words.data());
        bool found = false;
        for (size_t i = 0; words[i]; i++)
            found = found || strncasecmp(words[i], "/QUIET", 6) == 0;
        Check(quiet == found);
    }
    int row = FindPlatformCode(raw.data());
    Check(row >= 0 && row <= PLATFORM_UNKNOWN);
    if (row != PLATFORM_UNKNOWN)
        Check(strcmp(g_platforms[row].code, raw.data()) == 0);

    char usage[512];
    int fits = BuildUsageText(raw.data(), usage, sizeof usage);
    Check(strlen(usage) < sizeof usage);
    if (fits)
        Check(strncmp(usage, raw.data(), strlen(raw.data())) == 0);

    size_t bufferSize = size ? (data[0] % 80) : 0;
    std::vector<char> out(bufferSize + 1, 'x');
    ShortenForDisplay(out.data(), bufferSize, raw.data(), (size & 1) ? ShiftJisLead : nullptr);
    if (bufferSize)
        Check(strlen(out.data()) < bufferSize);
    int copied = CopyText(out.data(), bufferSize, raw.data());
    if (bufferSize)
        Check(strlen(out.data()) < bufferSize && copied == (strlen(raw.data()) < bufferSize));
    int formatted = FormatText(out.data(), bufferSize, "%s\\%s", raw.data(), "x");
    if (bufferSize)
        Check(strlen(out.data()) < bufferSize && formatted == (strlen(raw.data()) + 2 < bufferSize));

    // Backup names and the source root, in buffers of every size up to 80.
    std::vector<char> name(bufferSize + 1, '\0');
    if (CopyText(name.data(), name.size(), raw.data())) {
        std::string before(name.data());
        int made = MakeBackupName(name.data(), name.size());
        Check(strlen(name.data()) < name.size());
        if (made) {
            size_t len = strlen(name.data());
            Check(len >= 4 && strcmp(name.data() + len - 4, ".bku") == 0);
        } else {
            Check(before == name.data());
        }
        std::string folder(name.data());
        if (!AppendSourceRoot(name.data(), name.size()))
            Check(folder == name.data());
        Check(strlen(name.data()) < name.size());
    }

    // Port lines: a line that was built gives back exactly the name when the
    // name has no blank.
    size_t half = size / 2;
    std::string portName(data, data + half);
    std::string description(data + half, data + size);
    portName = portName.c_str();
    description = description.c_str();
    char line[80];
    char port[80];
    if (FormatPortLine(line, sizeof line, portName.c_str(), description.c_str(), (size & 2) ? ShiftJisLead : nullptr)) {
        Check(strlen(line) < sizeof line);
        if (PortNameFromLine(port, sizeof port, line) && !portName.empty() && portName.find(' ') == std::string::npos)
            Check(portName == port);
    }
    PortNameFromLine(port, bufferSize ? bufferSize : 1, raw.data());

    // Multi-strings: every name comes back in order, ended by two zeros.
    std::vector<const char *> names;
    std::vector<std::string> parts;
    for (int i = 0; i < count && i < 8; i++)
        parts.push_back(tokens[i]);
    for (const auto &part : parts)
        names.push_back(part.c_str());
    char multi[256];
    if (BuildMultiString(multi, sizeof multi, names.data(), names.size())) {
        const char *cursor = multi;
        for (const auto &part : parts) {
            Check(part == cursor);
            cursor += part.size() + 1;
        }
        Check(*cursor == '\0');
    }

    char dataPath[64];
    if (TakeDataFile(dataPath, sizeof dataPath, portName.c_str(), description.c_str()))
        Check(description == dataPath);
    else
        Check(dataPath[0] == '\0');
    return 0;
}
