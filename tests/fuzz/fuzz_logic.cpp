// libFuzzer target for the portable logic: command-line parsing, usage text,
// platform lookup and the bounded text helpers. Invariants are checked with
// abort() so that the fuzzer reports them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "app/request.h"
#include "app/text.h"
#include "catalog/catalog.h"

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
    return 0;
}
