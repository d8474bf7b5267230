// libFuzzer target for the portable logic: command-line parsing, usage text,
// platform lookup, the bounded text helpers, backup names, port lines, the
// spooler's multi-string and the data-file choice. Invariants are checked with
// abort() so that the fuzzer reports them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/request.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "deploy/names.h"
#include "install/port_line.h"
#include "install/records.h"
#include "remove/datafile.h"

static void Check(bool condition)
{
    if (!condition)
        abort();
}

static int ShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
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
    Check(request.action >= ACTION_USAGE && request.action <= ACTION_COMPLETE_DELETION);
    Check(request.platform >= 0 && request.platform <= PLATFORM_UNKNOWN);
    if (request.action == ACTION_USAGE)
        Check(request.platform == PLATFORM_UNKNOWN);

    // Lookups and texts built from the raw input.
    std::vector<char> raw(data, data + size);
    raw.push_back('\0');
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
