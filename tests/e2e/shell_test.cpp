// The shell: start-up, command line, usage, detection, confirmation, exit codes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

const char kUsage[] =
    "\tSetup [/OS=version] [/UNINSTALL]\r\nor\tSetup [/OS=version] [/ONLYDELETEPRINTDEVICE]\r\n"
    "or\tSetup [/OS=version] [/ONLYADDPRINTDEVICE]\r\n\r\nwhere version can take following values :"
    "\r\n\tWIN95\r\n\tWIN98\r\n\tWIN98\r\n\tWINNT351\r\n\tWINNT40\r\n\tWINNT50\r\n\tWINNTXP\r\n\tWIN32S";

Outcome RunWithTail(const std::string &tail, const std::vector<std::string> &answers,
                const std::string &version = "win2k", bool fromFile = false)
{
    Options options;
    options.media = MakeMedia("shell", false);
    options.tail = tail;
    options.tailFromFile = fromFile;
    options.answers = answers;
    options.version = version;
    return RunSetup(options);
}

void ExpectUsage(const Outcome &run)
{
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    const Window &box = run.At(0);
    EXPECT_TRUE(box.IsMessageBox());
    EXPECT_EQ(box.title, "Command syntax");
    EXPECT_EQ(box.MessageText(), kUsage);
    EXPECT_EQ(box.Buttons(), std::vector<int>{ 1 });
    EXPECT_EQ(box.owner, "main");
    EXPECT_EQ(run.exitCode, 1);
}

std::string Confirmation(const char *platform)
{
    return std::string("Please confirm complete setup of : Tarv Driver\r\non platform : ") + platform;
}

}  // namespace

TEST(Usage, UnrecognisedTokensShowTheSyntax)
{
    for (const char *tail : { "foo", "/UNINSTAL", "/OS=WIN95 foo /UNINSTALL" }) {
        SCOPED_TRACE(tail);
        ExpectUsage(RunWithTail(tail, { "click 1" }));
    }
}

TEST(Confirmation, DetectedPlatformIsNamedWithoutCaption)
{
    Outcome run = RunWithTail("", { "click 7" }, "win2k");
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    const Window &box = run.At(0);
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.MessageText(), Confirmation("Windows 2000"));
    EXPECT_EQ(box.Buttons(), (std::vector<int>{ 6, 7 }));
    EXPECT_EQ(box.owner, "main");
    // Shown after the 500 ms timer, not at once.
    EXPECT_GE(box.openedAt, 450);
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Confirmation, EveryActionHasItsText)
{
    struct Case { const char *tail; const char *text; };
    const Case cases[] = {
        { "/UNINSTALL", "Please confirm complete deletion of : Tarv Driver\r\non platform : Windows 95" },
        { "/ONLYDELETEPRINTDEVICE",
          "Please confirm simple deletion of : Tarv Driver\r\non platform : Windows 95\r\n(print device deletion "
          "without delete files which are necessary to a future simple setup...)" },
        { "/ONLYADDPRINTDEVICE",
          "Please confirm simple setup of : Tarv Driver\r\non platform : Windows 95\r\n(use existing files to "
          "setup print device...)" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tail);
        Outcome run = RunWithTail(std::string("/OS=WIN95 ") + c.tail, { "click 7" });
        ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
        EXPECT_EQ(run.At(0).MessageText(), c.text);
        EXPECT_EQ(run.exitCode, 1);
    }
}

TEST(Detection, EachEmulatedVersionSelectsItsRow)
{
    struct Case { const char *version; const char *name; };
    const Case cases[] = {
        { "win95", "Windows 95" }, { "win98", "Windows 98" }, { "winme", "Millenium" },
        { "nt40", "Windows NT 4.0" }, { "win2k", "Windows 2000" }, { "winxp", "Windows XP" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        Outcome run = RunWithTail("", { "click 7" }, c.version);
        ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
        EXPECT_EQ(run.At(0).MessageText(), Confirmation(c.name));
    }
}

TEST(Detection, UnknownVersionsAreReportedWithTheirNumbers)
{
    struct Case { const char *version; const char *text; };
    const Case cases[] = {
        { "win7", "Unknown Windows version (2 / 6.1)..." },
        { "nt351", "Unknown Windows version (2 / 3.51)..." },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        Outcome run = RunWithTail("", { "click 1" }, c.version);
        ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
        EXPECT_EQ(run.At(0).title, "Tarv Driver setup failure");
        EXPECT_EQ(run.At(0).MessageText(), c.text);
        EXPECT_EQ(run.exitCode, 1);
    }
}

TEST(Detection, Win32sIsConfirmedThenRefused)
{
    Outcome run = RunWithTail("", { "click 6", "click 1" }, "win31");
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    EXPECT_EQ(run.At(0).MessageText(), Confirmation("Win32s sur plateforme 16 bits"));
    EXPECT_EQ(run.At(1).title, "Tarv Driver setup failure");
    EXPECT_EQ(run.At(1).MessageText(), "We don't work yet with this Windows version...");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Switches, PlatformAndActionRules)
{
    struct Case { const char *tail; const char *version; const char *expectedStart; };
    const Case cases[] = {
        // Lower case and prefix matches.
        { "/uninstall", "win2k", "Please confirm complete deletion" },
        { "/UNINSTALLX", "win2k", "Please confirm complete deletion" },
        { "/os=winnt50", "win95", "Please confirm complete setup of : Tarv Driver\r\non platform : Windows 2000" },
        // The last action and the last "/OS=" win.
        { "/UNINSTALL /ONLYADDPRINTDEVICE", "win2k", "Please confirm simple setup" },
        { "/OS=WINNT40 /OS=WIN98", "win2k", "Please confirm complete setup of : Tarv Driver\r\non platform : Windows 98" },
        // An unknown code, or none, falls back to detection.
        { "/OS=WIN95 /OS=WINME", "winxp", "Please confirm complete setup of : Tarv Driver\r\non platform : Windows XP" },
        { "/OS=", "winxp", "Please confirm complete setup of : Tarv Driver\r\non platform : Windows XP" },
        // Tabs separate tokens.
        { "/OS=WIN95\t/UNINSTALL", "winxp", "Please confirm complete deletion of : Tarv Driver\r\non platform : Windows 95" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tail);
        Outcome run = RunWithTail(c.tail, { "click 7" }, c.version, true);
        ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
        EXPECT_EQ(run.At(0).MessageText().rfind(c.expectedStart, 0), 0u) << run.At(0).MessageText();
    }
}

TEST(Switches, QuotedArgumentWithBlankIsTwoTokens)
{
    // "\"/UNINSTALL x\"" splits into "\"/UNINSTALL" and "x\"": neither is a switch.
    ExpectUsage(RunWithTail("\"/UNINSTALL x\"", { "click 1" }, "win2k", true));
}

TEST(Shell, DeclinedConfirmationEndsWithExitCodeOne)
{
    Outcome run = RunWithTail("/OS=WINNTXP", { "click 7" });
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.unusedAnswers, 0);
}

TEST(Shell, ClosingTheMainWindowEarlyEndsQuietly)
{
    Options options;
    options.media = MakeMedia("shell", false);
    options.closeMainEarly = true;
    Outcome run = RunSetup(options);
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Shell, MainWindowStaysMinimised)
{
    Options options;
    options.media = MakeMedia("shell", false);
    options.tail = "/UNINSTAL";
    options.answers = { "click 1" };
    options.probeMain = true;
    options.inject = true;
    Outcome run = RunSetup(options);
    ASSERT_FALSE(run.mainTitles.empty()) << run.Describe();
    EXPECT_EQ(run.mainTitles[0], "Tarv Driver setup");
    EXPECT_EQ(run.mainIconic[0], 1);
    for (const char *event : { "SYSMENU restore=grey move=grey size=grey minimize=grey maximize=grey close=enabled",
                               "AFTER-RESTORE iconic=1", "AFTER-MAXIMIZE iconic=1", "AFTER-SHOWRESTORE iconic=1" })
        EXPECT_NE(std::find(run.events.begin(), run.events.end(), event), run.events.end())
            << event << "\n" << run.Describe();
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Detection, VersionQueryFailureIsReported)
{
    Options options;
    options.media = MakeMedia("shell", false);
    options.inject = true;
    options.env["TARV_FAULTS"] = "GetVersionExA=5";
    options.answers = { "click 1" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.At(0).title, "Tarv Driver setup failure");
    EXPECT_EQ(run.At(0).MessageText(), "Cannot get which Windows version is installed on this computer...");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Detection, ForcedPlatformSkipsDetection)
{
    // Detection would fail here; "/OS=" must not need it.
    Options options;
    options.media = MakeMedia("shell", false);
    options.inject = true;
    options.env["TARV_FAULTS"] = "GetVersionExA=5";
    options.tail = "/OS=WIN95";
    options.answers = { "click 7" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.At(0).MessageText(), Confirmation("Windows 95"));
}

// The shipped 32-bit image on 64-bit Windows (WOW64), whatever version it
// reports and whatever /OS= says: these media hold nothing for it. A quiet
// run ends with 1633, an interactive one says so after the confirmation,
// and nothing is changed.
TEST(Detection, SixtyFourBitWindowsIsNotSupported)
{
    if (std::string(TARV_E2E_ARCH) != "i686")
        GTEST_SKIP() << "this kernel cannot execute 32-bit code: the i686 image is checked statically only";
    std::string prefix = std::string(TARV_BUILD_DIR) + "/wineprefix-wow64";
    std::map<std::string, std::string> wow64 = { { "WINEPREFIX", prefix }, { "WINEARCH", "win64" },
                                                 { "WINELOADER", "/usr/lib/wine/wine64" } };
    if (!FileExists(prefix + "/system.reg"))
        ASSERT_EQ(system(("bash '" TARV_SOURCE_DIR "/tools/wine-prefix.sh' '" + prefix + "' x86_64").c_str()), 0);
    RunWine({ "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "winxp", "/f" }, nullptr, wow64);
    auto state = [&] {
        std::string out;
        RunWine({ ToolsBin() + "/probe.exe", "printers", "drivers", "service", "hwbridge" }, &out, wow64);
        for (const char *folder : { "system32/spool/drivers/x64", "syswow64", "system32/drivers", "system32" })
            for (const char *name : { "TarvUI.dll", "hwport.dll", "hwbridge.sys" })
                out += FileExists(prefix + "/drive_c/windows/" + folder + "/" + name) ? std::string(name) + " in " + folder + "\n" : "";
        return out;
    };
    std::string before = state(), log = WorkRoot() + "/wow64.log";
    for (const char *tail : { "/QUIET /PORT=LPT1:", "/QUIET /OS=WINNTXP /PORT=LPT1:" }) {
        SCOPED_TRACE(tail);
        RemoveAll(log);
        Options options;
        options.media = MakeMedia("wow64");
        options.tail = std::string(tail) + " /LOG=" + WinPath(log);
        options.version = "";
        options.env = wow64;
        EXPECT_EQ(RunSetup(options).exitCode, 1633) << ReadFile(log);
        EXPECT_NE(ReadFile(log).find("platform: 64-bit Windows (a 32-bit program under WOW64)"), std::string::npos)
            << ReadFile(log);
    }
    Options options;
    options.media = MakeMedia("wow64");
    options.version = "";
    options.env = wow64;
    options.answers = { "click 6", "click 1" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.MessageBoxes().size(), 2u) << run.Describe();
    EXPECT_EQ(run.MessageBoxes()[1]->MessageText(), "We don't work yet with this Windows version...") << run.Describe();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(system(("WINEPREFIX='" + prefix + "' wineserver -k").c_str()), 0);
}

TEST(Switches, CommandLineOfThirtyTwoThousandCharacters)
{
    // Thousands of tokens: the last "/OS=" and the last action still win.
    std::string many;
    while (many.size() < 31980)
        many += "/OS=WINNT40 /ONLYADDPRINTDEVICE\t";
    many += "/OS=WIN95 /UNINSTALL";
    Outcome run = RunWithTail(many, { "click 7" }, "win2k", true);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe().substr(0, 2000);
    EXPECT_EQ(run.At(0).MessageText(),
              "Please confirm complete deletion of : Tarv Driver\r\non platform : Windows 95");
    EXPECT_EQ(run.exitCode, 1);

    // One token of the same length is simply not a switch.
    ExpectUsage(RunWithTail(std::string(32000, 'x'), { "click 1" }, "win2k", true));
}
