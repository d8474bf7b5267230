// Start-up failures, the program's imports and the setup library's origin.
#include <gtest/gtest.h>

#include <stdio.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// The planted DLL names its marker after the path it was loaded under, in any case.
bool PlantedWasLoaded(const std::string &folder)
{
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name.size() > 7 && name.compare(name.size() - 7, 7, ".loaded") == 0)
            return true;
    }
    return false;
}

}  // namespace

TEST(Startup, WindowCreationFailureEndsWithExitCodeZero)
{
    Options options;
    options.media = MakeMedia("startup", false);
    options.injectEarly = true;
    options.env["TARV_DENY_WINDOW_CLASS"] = "SetupTarvClass";
    options.answers = { "click 1" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.At(0).title, "Tarv Driver setup failure");
    EXPECT_EQ(run.At(0).MessageText(), "Cannot create application window...");
    EXPECT_EQ(run.At(0).owner, "none");
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Startup, TokenArrayAllocationFailureEndsWithExitCodeZero)
{
    Options options;
    options.media = MakeMedia("startup", false);
    options.injectEarly = true;
    options.env["TARV_FAULTS"] = "GlobalAlloc=8";
    options.tail = "/UNINSTALL";
    options.answers = { "click 1" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.At(0).title, "Tarv Driver setup failure");
    EXPECT_EQ(run.At(0).MessageText(), "Memory allocation failure...");
    EXPECT_EQ(run.At(0).owner, "main");
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Startup, EmptyCommandLineNeedsNoAllocation)
{
    // With no token there is nothing to allocate: the run goes on to the confirmation.
    Options options;
    options.media = MakeMedia("startup", false);
    options.injectEarly = true;
    options.env["TARV_FAULTS"] = "GlobalAlloc=8";
    options.answers = { "click 7" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.At(0).title, "");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Startup, PlantedSetupLibraryIsNeverLoaded)
{
    std::string media = MakeMedia("planted", false);
    std::string cwd = WorkRoot() + "/planted-cwd";
    RemoveAll(cwd);
    std::string planted = ReadFile(ToolsBin() + "/planted/SetupApi.dll");
    ASSERT_FALSE(planted.empty());
    WriteFile(media + "/SetupApi.dll", planted);
    WriteFile(cwd + "/SetupApi.dll", planted);
    std::map<std::string, std::string> nativeFirst = { { "WINEDLLOVERRIDES", "setupapi=n,b" } };

    // The planted copy is what the default search order finds from the media folder.
    WriteFile(media + "/probe.exe", ReadFile(ToolsBin() + "/probe.exe"));
    std::string out;
    RunWine({ media + "/probe.exe", "load-library", "SetupApi.DLL" }, &out, nativeFirst);
    EXPECT_TRUE(PlantedWasLoaded(media)) << out;
    RemoveAll(media);
    media = MakeMedia("planted", false);
    WriteFile(media + "/SetupApi.dll", planted);

    Options options;
    options.media = media;
    options.cwd = cwd;
    options.env = nativeFirst;
    options.tail = "/OS=WINNT50";
    options.answers = { "click 7" };
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(PlantedWasLoaded(media));
    EXPECT_FALSE(PlantedWasLoaded(cwd));
}

// Neither DLL is a known DLL: the search order would find copies on the media
// first. Loading by full path is what protects on the systems that lack both
// SetDefaultDllDirectories and SetDllDirectoryA (Windows 95 to 2000), which
// the second run stands for.
TEST(Startup, PlantedSpoolerAndControlsDllsAreNeverLoaded)
{
    for (bool searchRestricted : { true, false }) {
        SCOPED_TRACE(searchRestricted ? "search path restricted" : "no DLL-directory functions");
        std::string media = MakeMedia("planted", false);
        std::string cwd = WorkRoot() + "/planted-cwd";
        RemoveAll(cwd);
        std::string planted = ReadFile(ToolsBin() + "/planted/SetupApi.dll");
        ASSERT_FALSE(planted.empty());
        for (const char *name : { "winspool.drv", "comctl32.dll", "SetupApi.dll" }) {
            WriteFile(media + "/" + name, planted);
            WriteFile(cwd + "/" + name, planted);
        }
        Options options;
        options.media = media;
        options.cwd = cwd;
        options.env = { { "WINEDLLOVERRIDES", "winedbg.exe=d;winspool.drv,comctl32,setupapi=n,b" } };
        if (!searchRestricted) {
            options.injectAtStart = true;
            options.env["TARV_FAULTS"] = "GetProcAddress=127:DllDirector";
        }
        // A simple deletion with no queue reaches the spooler and reports its error.
        options.tail = "/OS=WINNT50 /ONLYDELETEPRINTDEVICE";
        options.answers = { "click 6", "click 1" };
        Outcome run = RunSetup(options);
        ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
        EXPECT_EQ(run.At(1).title, "Tarv Driver deletion failure");
        EXPECT_EQ(run.At(1).MessageText().rfind("Printer deletion has failed for reason ", 0), 0u);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(PlantedWasLoaded(media));
        EXPECT_FALSE(PlantedWasLoaded(cwd));
    }
}

// A system DLL or function that cannot be bound is named, and nothing that
// needs it runs: the common controls are needed only by the progress bar of
// an interactive complete setup (detection, refusal and removals run without
// them), the spooler by every action.
TEST(Startup, MissingSystemDllOrFunctionIsNamedAndNothingNeedingItRuns)
{
    struct Case {
        const char *faults;
        bool early;  // before the main window: the controls are bound at start
        const char *tail;
        std::vector<std::string> answers;
        const char *caption;
        const char *text;
        int exitCode;
    };
    const Case cases[] = {
        { "LoadLibraryExA=126:comctl32", true, "/OS=WINNTXP", { "click 6", "click 1" }, "Tarv Driver setup failure",
          "Cannot load comctl32.dll from the system folder...", 1 },
        { "GetProcAddress=127:InitCommonControls", true, "/OS=WINNTXP", { "click 6", "click 1" },
          "Tarv Driver setup failure", "The function InitCommonControls cannot be found in comctl32.dll...", 1 },
        { "LoadLibraryExA=126:comctl32", true, "/OS=WIN32S", { "click 6", "click 1" }, "Tarv Driver setup failure",
          "We don't work yet with this Windows version...", 1 },
        { "LoadLibraryExA=126:comctl32", true, "/OS=WINNT50 /ONLYDELETEPRINTDEVICE", { "click 6", "click 1" },
          "Tarv Driver deletion failure", "Printer deletion has failed for reason 1801 step 1...", 1 },
        { "LoadLibraryExA=126:winspool", false, "/OS=WINNTXP", { "click 6", "click 1" },
          "Tarv Driver setup failure", "Cannot load winspool.drv from the system folder...", 1 },
        { "GetProcAddress=127:DeleteFormA", false, "/OS=WINNT50 /UNINSTALL", { "click 6", "click 1" },
          "Tarv Driver deletion failure", "The function DeleteFormA cannot be found in winspool.drv...", 1 },
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.faults);
        Options options;
        options.media = MakeMedia("startup", false);
        options.inject = !item.early;
        // Patched before the first instruction: the compiler may keep an
        // imported function's address in a register from WinMain's start on.
        options.injectAtStart = item.early;
        options.env["TARV_FAULTS"] = item.faults;
        options.tail = item.tail;
        options.answers = item.answers;
        Outcome run = RunSetup(options);
        // No port dialog, no spooler message: only the confirmation, if any, and the report.
        ASSERT_EQ(run.windows.size(), item.answers.size()) << run.Describe();
        const Window &report = run.windows.back();
        EXPECT_EQ(report.title, item.caption);
        EXPECT_EQ(report.MessageText(), item.text);
        EXPECT_EQ(report.owner, "main");
        EXPECT_EQ(run.exitCode, item.exitCode);
    }
}
