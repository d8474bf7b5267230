#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/switches.h"
#include "catalog/catalog.h"
#include "run/request.h"

namespace {

SetupRequest Parse(const std::string &line)
{
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    SetupRequest request = { ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN };
    std::vector<char *> tokens(CountTokens(text.data()) + 1, (char *)1);
    SplitTokens(text.data(), tokens.data());
    ApplyTokens(tokens.data(), &request);
    return request;
}

void ExpectRequest(const std::string &line, int action, int platform)
{
    SetupRequest request = Parse(line);
    EXPECT_EQ(request.action, action) << line;
    EXPECT_EQ(request.platform, platform) << line;
}

}  // namespace

TEST(Tokens, OnlyBlanksAndTabsSeparate)
{
    EXPECT_EQ(CountTokens(""), 0);
    EXPECT_EQ(CountTokens(" \t  "), 0);
    EXPECT_EQ(CountTokens("a"), 1);
    EXPECT_EQ(CountTokens("  a\t\tb  c "), 3);
    EXPECT_EQ(CountTokens("\"a b\""), 2);
    EXPECT_EQ(CountTokens("a\nb"), 1);  // a line feed is no separator

    char text[] = "\t/OS=WIN95  /x\ty ";
    char *tokens[5] = { (char *)1, (char *)1, (char *)1, (char *)1, (char *)1 };
    SplitTokens(text, tokens);
    EXPECT_STREQ(tokens[0], "/OS=WIN95");
    EXPECT_STREQ(tokens[1], "/x");
    EXPECT_STREQ(tokens[2], "y");
    EXPECT_EQ(tokens[3], nullptr);
}

TEST(Switches, ActionsAndPrefixes)
{
    ExpectRequest("", ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN);
    ExpectRequest("/uninstall", ACTION_COMPLETE_DELETION, PLATFORM_UNKNOWN);
    ExpectRequest("/UNINSTALLX", ACTION_COMPLETE_DELETION, PLATFORM_UNKNOWN);
    ExpectRequest("/UNINSTAL", ACTION_USAGE, PLATFORM_UNKNOWN);
    ExpectRequest("/OnlyDeletePrintDevice", ACTION_SIMPLE_DELETION, PLATFORM_UNKNOWN);
    ExpectRequest("/ONLYADDPRINTDEVICE", ACTION_SIMPLE_SETUP, PLATFORM_UNKNOWN);
    ExpectRequest("/UNINSTALL /ONLYADDPRINTDEVICE", ACTION_SIMPLE_SETUP, PLATFORM_UNKNOWN);
    ExpectRequest("UNINSTALL", ACTION_USAGE, PLATFORM_UNKNOWN);
}

TEST(Switches, PlatformCodes)
{
    ExpectRequest("/OS=winnt50", ACTION_COMPLETE_SETUP, 5);
    ExpectRequest("/OS=WIN98", ACTION_COMPLETE_SETUP, 1);
    ExpectRequest("/OS=WINME", ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN);
    ExpectRequest("/OS=", ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN);
    ExpectRequest("/OS=WIN95 /OS=WINME", ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN);
    ExpectRequest("/OS=WIN95 /OS=WIN32S /UNINSTALL", ACTION_COMPLETE_DELETION, 7);
    ExpectRequest("/os=win95\t/uninstall", ACTION_COMPLETE_DELETION, 0);
}

TEST(Switches, UnknownTokenEndsTheScanWithUsage)
{
    ExpectRequest("/OS=WIN95 foo /UNINSTALL", ACTION_USAGE, PLATFORM_UNKNOWN);
    ExpectRequest("/UNINSTALL \"/OS=WIN95\"", ACTION_USAGE, PLATFORM_UNKNOWN);
    ExpectRequest("\"/UNINSTALL x\"", ACTION_USAGE, PLATFORM_UNKNOWN);
}

TEST(Switches, UpperCasingTouchesOnlyAsciiLetters)
{
    char text[] = "/os=\xe9win95";
    char *tokens[2];
    SplitTokens(text, tokens);
    SetupRequest request = { ACTION_COMPLETE_SETUP, PLATFORM_UNKNOWN };
    ApplyTokens(tokens, &request);
    EXPECT_STREQ(text, "/OS=\xe9WIN95");
    EXPECT_EQ(request.platform, PLATFORM_UNKNOWN);
}

TEST(Usage, ListsEveryCodeAfterTheHeader)
{
    char text[512];
    ASSERT_EQ(BuildUsageText("head:", text, sizeof text), 1);
    EXPECT_STREQ(text, "head:\r\n\tWIN95\r\n\tWIN98\r\n\tWIN98\r\n\tWINNT351\r\n\tWINNT40\r\n\tWINNT50\r\n\tWINNTXP"
                       "\r\n\tWIN32S");
    // The texts of every language fit the 512-character buffer; a longer header does not.
    std::string longHeader(470, 'x');
    EXPECT_EQ(BuildUsageText(longHeader.c_str(), text, sizeof text), 0);
    EXPECT_LT(strlen(text), sizeof text);
}

TEST(CommandLineTail, ProgramNameAndTheBlanksAfterItAreSkipped)
{
    struct Case { const char *line; const char *tail; };
    const Case cases[] = {
        { "Setup.exe /UNINSTALL", "/UNINSTALL" },
        { "\"C:\\Media Files\\Setup.exe\" /OS=WIN95  /UNINSTALL", "/OS=WIN95  /UNINSTALL" },
        { "\"C:\\Media Files\\Setup.exe\"/UNINSTALL", "/UNINSTALL" },
        { "Setup.exe\t \t/X\t", "/X\t" },
        { "Setup.exe", "" },
        { "\"C:\\Media Files\\Setup.exe\"", "" },
        { "\"C:\\Media Files\\Setup.exe", "" },  // no closing quote: all of it is the name
        { "Setup.exe   ", "" },
        { "", "" },
        { "  /UNINSTALL", "/UNINSTALL" },  // no program name at all
        { "\"\" /X", "/X" },
        { "D:\\\x83\x5a\x83\x62\x83\x67\\Setup.exe /X", "/X" },  // trail bytes are never blanks
    };
    for (const Case &c : cases) {
        std::vector<char> line(c.line, c.line + strlen(c.line) + 1);
        char *tail = CommandLineTail(line.data());
        EXPECT_STREQ(tail, c.tail) << c.line;
        EXPECT_TRUE(tail >= line.data() && tail < line.data() + line.size()) << c.line;
    }
}

namespace {

// Parses a whole command line the way the program does, keeping the text alive.
struct Parsed {
    std::vector<char> text;
    SetupRequest request = {};

    explicit Parsed(const std::string &line) : text(line.begin(), line.end())
    {
        text.push_back('\0');
        request.action = ACTION_COMPLETE_SETUP;
        request.platform = PLATFORM_UNKNOWN;
        std::vector<char *> tokens(CountTokens(text.data()) + 1);
        SplitTokens(text.data(), tokens.data());
        ApplyTokens(tokens.data(), &request);
    }
};

}  // namespace

TEST(UnattendedSwitches, ComeAfterTheSetupSwitchesAndChangeNoneOfThem)
{
    Parsed quiet("/quiet /UNINSTALL /os=winnt50 /port=LPT1: /log=a.log");
    EXPECT_EQ(quiet.request.action, ACTION_COMPLETE_DELETION);
    EXPECT_EQ(quiet.request.platform, 5);
    // Prefixes, as the setup's switches are.
    EXPECT_EQ(Parsed("/QUIETLY").request.action, ACTION_COMPLETE_SETUP);
    EXPECT_EQ(HasQuietSwitch("/QUIETLY"), 1);
    EXPECT_EQ(Parsed("/QUIE").request.action, ACTION_USAGE);
    EXPECT_EQ(HasQuietSwitch("/QUIE"), 0);
    // "/PURGE" is a complete deletion that purges; like an action switch, the last one wins.
    Parsed purge("/purge /QUIET");
    EXPECT_EQ(purge.request.action, ACTION_COMPLETE_DELETION);
    EXPECT_EQ(purge.request.purge, 1);
    EXPECT_EQ(Parsed("/UNINSTALL /PURGEALL").request.purge, 1);
    EXPECT_EQ(Parsed("/PURGE /ONLYDELETEPRINTDEVICE").request.action, ACTION_SIMPLE_DELETION);
    EXPECT_EQ(Parsed("/PURGE /ONLYDELETEPRINTDEVICE").request.purge, 0);
    EXPECT_EQ(Parsed("/PURGE /UNINSTALL").request.purge, 0);
    EXPECT_EQ(Parsed("/PURG").request.action, ACTION_USAGE);
    EXPECT_EQ(Parsed("/PURGE /X").request.purge, 0);
    // "/VERIFY" is an action of its own, matched as a prefix; the last action wins.
    EXPECT_EQ(Parsed("/verify /QUIET").request.action, ACTION_VERIFY);
    EXPECT_EQ(Parsed("/OS=WINNT50 /VERIFYALL").request.action, ACTION_VERIFY);
    EXPECT_EQ(Parsed("/OS=WINNT50 /VERIFY").request.platform, Parsed("/OS=WINNT50").request.platform);
    EXPECT_EQ(Parsed("/PURGE /VERIFY").request.purge, 0);
    EXPECT_EQ(Parsed("/VERIFY /UNINSTALL").request.action, ACTION_COMPLETE_DELETION);
    EXPECT_EQ(Parsed("/VERIF").request.action, ACTION_USAGE);
    // "/OS=" still takes the rest of its token, whatever it holds.
    EXPECT_EQ(Parsed("/OS=WIN95/QUIET").request.platform, PLATFORM_UNKNOWN);
    EXPECT_EQ(HasQuietSwitch("/OS=WIN95/QUIET"), 0);
}

TEST(UnattendedSwitches, PortAndLogKeepTheirValuesAsWritten)
{
    Parsed parsed("/port=Lpt1: /log=C:\\Logs\\Tarv.log /Os=winxp");
    EXPECT_EQ(parsed.request.portGiven, 1);
    EXPECT_STREQ(parsed.request.port, "Lpt1:");
    EXPECT_EQ(parsed.request.log.given, 1);
    EXPECT_STREQ(parsed.request.log.path, "C:\\Logs\\Tarv.log");
    EXPECT_EQ(parsed.request.platform, PLATFORM_UNKNOWN);  // "WINXP" is no code
    // The last one wins; an empty log path names no file.
    Parsed later("/LOG=a.log /PORT=COM1: /LOG= /PORT=LPT2:");
    EXPECT_EQ(later.request.log.given, 0);
    EXPECT_STREQ(later.request.port, "LPT2:");
    // Too long to name anything: never cut into another name.
    Parsed tooLong("/LOG=" + std::string(REQUEST_PATH_CHARS, 'x') + " /PORT=" + std::string(REQUEST_PORT_CHARS, 'p'));
    EXPECT_EQ(tooLong.request.log.pathTooLong, 1);
    EXPECT_STREQ(tooLong.request.log.path, "");
    EXPECT_EQ(tooLong.request.portGiven, 1);
    EXPECT_STREQ(tooLong.request.port, "");
    Parsed fits("/LOG=" + std::string(REQUEST_PATH_CHARS - 1, 'x'));
    EXPECT_EQ(fits.request.log.pathTooLong, 0);
    EXPECT_EQ(strlen(fits.request.log.path), (size_t)REQUEST_PATH_CHARS - 1);
}

TEST(UnattendedSwitches, AnUnknownWordStopsTheScanButNotTheQuietRun)
{
    const std::string line = "/LOG=x.log /Typo /QUIET /UNINSTALL /LOG=y.log";
    Parsed parsed(line);
    EXPECT_EQ(parsed.request.action, ACTION_USAGE);
    EXPECT_STREQ(parsed.request.unknownToken, "/Typo");  // as written
    EXPECT_STREQ(parsed.request.log.path, "x.log");        // the words after it are not read
    // A quiet run finds its log wherever it stands, the last one counting,
    // and leaves the text as it was.
    LogSwitch found = {};
    FindLogSwitch(line.c_str(), &found);
    EXPECT_STREQ(found.path, "y.log");
    EXPECT_EQ(found.given, 1);
    LogSwitch none = {};
    FindLogSwitch("/x /LOG /LOGX=a /log=\t/LOG=", &none);  // an empty path names no file
    EXPECT_EQ(none.given, 0);
    LogSwitch tooLong = {};
    FindLogSwitch(("/LOG=a.log /x /log=" + std::string(REQUEST_PATH_CHARS, 'x') + " ").c_str(), &tooLong);
    EXPECT_EQ(tooLong.pathTooLong, 1);
    EXPECT_STREQ(tooLong.path, "");
    EXPECT_EQ(HasQuietSwitch(line.c_str()), 1);
    EXPECT_EQ(HasQuietSwitch("/x\t/quiet"), 1);
    EXPECT_EQ(HasQuietSwitch("/LOG=C:\\quiet.log /LOG=/QUIET"), 0);  // only at the start of a word
    EXPECT_EQ(HasQuietSwitch(""), 0);
}
