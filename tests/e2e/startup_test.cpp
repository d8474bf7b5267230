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
    std::string planted = ReadFile(WinBin() + "/planted/SetupApi.dll");
    ASSERT_FALSE(planted.empty());
    WriteFile(media + "/SetupApi.dll", planted);
    WriteFile(cwd + "/SetupApi.dll", planted);
    std::map<std::string, std::string> nativeFirst = { { "WINEDLLOVERRIDES", "setupapi=n,b" } };

    // The planted copy is what the default search order finds from the media folder.
    WriteFile(media + "/probe.exe", ReadFile(WinBin() + "/probe.exe"));
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

TEST(Startup, PlantedSpoolerAndControlsDllsAreNeverLoaded)
{
    // Neither DLL is a known DLL: the search order would find copies on the media first.
    std::string media = MakeMedia("planted", false);
    std::string cwd = WorkRoot() + "/planted-cwd";
    RemoveAll(cwd);
    std::string planted = ReadFile(WinBin() + "/planted/SetupApi.dll");
    ASSERT_FALSE(planted.empty());
    for (const char *name : { "winspool.drv", "comctl32.dll", "SetupApi.dll" }) {
        WriteFile(media + "/" + name, planted);
        WriteFile(cwd + "/" + name, planted);
    }
    Options options;
    options.media = media;
    options.cwd = cwd;
    options.env = { { "WINEDLLOVERRIDES", "winspool.drv,comctl32,setupapi=n,b" } };
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

TEST(Build, ProductImportsSystemDllsOnly)
{
    std::string command = "i686-w64-mingw32-objdump -p '" + ProductBin() + "/Setup.exe'";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> imports;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        size_t at = text.find("DLL Name: ");
        if (at == std::string::npos)
            continue;
        std::string name = text.substr(at + 10);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        for (auto &c : name)
            c = (char)tolower((unsigned char)c);
        imports.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    const std::set<std::string> system = { "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll",
                                           "winspool.drv", "advapi32.dll", "msvcrt.dll" };
    EXPECT_FALSE(imports.empty());
    for (const auto &name : imports)
        EXPECT_TRUE(system.count(name)) << "unexpected import " << name;
}
