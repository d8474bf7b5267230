// File deployment under Wine: the replace policies, the copy dialog with its
// backups, and the replace confirmation, driven through the deployment test
// program, which deploys the file list named on its command line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "tests/e2e/copy_messages.h"
#include "tests/e2e/harness.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

const char kSetupCaption[] = "Setup...";
const char kBackupCaption[] = "Save...";
const char kReplaceCaption[] = "Confirm file replacement...";

struct Bench {
    std::string media;   // working folder; drivers/Test holds the sources
    std::string target;  // target folder
    std::string log;

    std::string Source(const std::string &name) const { return media + "/drivers/Test/" + name; }
    std::string Target(const std::string &name) const { return target + "/" + name; }
};

struct Result {
    Outcome run;
    std::string cwd;
    int result = -1;
    std::vector<std::string> bars;  // progress bars as they were destroyed

    std::vector<const Window *> Titled(const std::string &title) const
    {
        std::vector<const Window *> found;
        for (const Window &window : run.windows)
            if (window.title == title)
                found.push_back(&window);
        return found;
    }
    // Every window title in order of appearance.
    std::vector<std::string> Titles() const
    {
        std::vector<std::string> titles;
        for (const Window &window : run.windows)
            titles.push_back(window.title);
        return titles;
    }
};

Bench MakeBench(const std::string &name)
{
    Bench bench;
    bench.media = WorkRoot() + "/deploy-" + name;
    RemoveAll(bench.media);
    bench.target = bench.media + "/target";
    bench.log = bench.media + "/log.txt";
    fs::create_directories(bench.media + "/drivers/Test");
    fs::create_directories(bench.target);
    return bench;
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

Result Deploy(const Bench &bench, const std::vector<std::string> &items,
              const std::vector<std::string> &answers = {}, const std::string &faults = "")
{
    Options options;
    options.program = ToolsBin() + "/deploytest.exe";
    options.cwd = bench.media;
    options.tail = Quoted(WinPath(bench.target)) + " " + Quoted(WinPath(bench.log));
    for (const std::string &item : items)
        options.tail += " " + Quoted(item);
    options.answers = answers;
    if (!faults.empty()) {
        options.inject = true;
        options.env["TARV_FAULTS"] = faults;
    }
    Result result;
    result.run = RunSetup(options);
    std::istringstream in(ReadFile(bench.log));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("CWD ", 0) == 0)
            result.cwd = line.substr(4);
        else if (line.rfind("RESULT ", 0) == 0)
            result.result = std::stoi(line.substr(7));
        else if (line.rfind("BAR ", 0) == 0)
            result.bars.push_back(line.substr(4));
    }
    EXPECT_FALSE(result.run.timedOut) << result.run.Describe();
    EXPECT_FALSE(result.run.unanswered) << result.run.Describe();
    EXPECT_EQ(result.run.unusedAnswers, 0) << result.run.Describe();
    EXPECT_EQ(result.run.exitCode, 10 + result.result) << result.run.Describe();
    return result;
}

void SetTime(const std::string &path, time_t when)
{
    struct timespec times[2] = { { when, 0 }, { when, 0 } };
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

time_t ModifiedAt(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

std::string Bytes(size_t count)
{
    std::string bytes(count, '\0');
    unsigned state = 12345;
    for (char &c : bytes) {
        state = state * 1103515245u + 12345u;
        c = (char)(state >> 16);
    }
    return bytes;
}

void ExpectCopyDialog(const Window &dialog, const char *title, const std::string &name,
                      const std::string &from, const std::string &to)
{
    EXPECT_EQ(dialog.title, title);
    EXPECT_EQ(dialog.owner, "main");
    EXPECT_EQ(dialog.Text(1008), name);
    EXPECT_EQ(dialog.Text(1015), from);
    EXPECT_EQ(dialog.Text(1016), to);
    EXPECT_TRUE(dialog.Buttons().empty());
    // The copy starts 500 ms after the dialog has been shown.
    EXPECT_GE(dialog.closedAt - dialog.openedAt, 300);
}

// A message box; its owner is "main" or a window index.
void ExpectBox(const Window &box, const std::string &caption, const std::string &text, std::vector<int> buttons)
{
    EXPECT_EQ(box.title, caption);
    EXPECT_EQ(box.MessageText(), text);
    EXPECT_EQ(box.Buttons(), buttons);
}

}  // namespace

TEST(Deployment, AbsentTargetsGetOneInstallCopyEachFromTheSourceRoot)
{
    Bench bench = MakeBench("absent");
    WriteFile(bench.Source("TarvUI.dll"), "new module");
    WriteFile(bench.Source("Tarv.ini"), "new data");
    SetReadOnly(bench.Source("Tarv.ini"));
    SetTime(bench.Source("Tarv.ini"), 1000000000);  // 2001

    time_t before = time(nullptr);
    Result deploy = Deploy(bench, { "always,Test\\,TarvUI.dll", "never,Test\\,Tarv.ini" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.Titles(), (std::vector<std::string>{ kSetupCaption, kSetupCaption })) << deploy.run.Describe();
    ExpectCopyDialog(deploy.run.At(0), kSetupCaption, "TarvUI.dll", "Test\\", WinPath(bench.target));
    ExpectCopyDialog(deploy.run.At(1), kSetupCaption, "Tarv.ini", "Test\\", WinPath(bench.target));
    EXPECT_EQ(ReadFile(bench.Target("TarvUI.dll")), "new module");
    EXPECT_EQ(ReadFile(bench.Target("Tarv.ini")), "new data");
    EXPECT_FALSE(FileExists(bench.Target("TarvUI.bku")));
    // The copy is a new file: current time and normal attributes.
    EXPECT_TRUE(Writable(bench.Target("Tarv.ini")));
    EXPECT_GE(ModifiedAt(bench.Target("Tarv.ini")), before - 2);
    // The first entry entered the source root; the second stayed there.
    EXPECT_EQ(deploy.cwd, WinPath(bench.media) + "\\drivers");
}

TEST(Deployment, PresentTargetIsBackedUpThenReplaced)
{
    Bench bench = MakeBench("present");
    WriteFile(bench.Source("Tarv.ini"), "new data");
    WriteFile(bench.Source("Tarv.drv"), "new driver");
    WriteFile(bench.Target("Tarv.ini"), "old data");
    WriteFile(bench.Target("Tarv.drv"), "old driver");
    WriteFile(bench.Target("Tarv.bku"), "stale backup");
    SetReadOnly(bench.Target("Tarv.bku"));

    Result deploy = Deploy(bench, { "always,Test\\,Tarv.ini", "always,Test\\,Tarv.drv" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.Titles(), (std::vector<std::string>{ kBackupCaption, kSetupCaption, kBackupCaption,
                                                          kSetupCaption })) << deploy.run.Describe();
    std::string target = WinPath(bench.target);
    ExpectCopyDialog(deploy.run.At(0), kBackupCaption, "Tarv.ini", target, "Tarv.bku");
    ExpectCopyDialog(deploy.run.At(1), kSetupCaption, "Tarv.ini", "Test\\", target);
    ExpectCopyDialog(deploy.run.At(2), kBackupCaption, "Tarv.drv", target, "Tarv.bku");
    EXPECT_EQ(ReadFile(bench.Target("Tarv.ini")), "new data");
    EXPECT_EQ(ReadFile(bench.Target("Tarv.drv")), "new driver");
    // Same stem, one backup name: the read-only stale backup was made writable,
    // and the later backup overwrote the earlier one.
    EXPECT_EQ(ReadFile(bench.Target("Tarv.bku")), "old driver");
    EXPECT_TRUE(Writable(bench.Target("Tarv.bku")));
}

TEST(Deployment, ReadOnlyTargetIsMadeWritableEvenWhenKept)
{
    Bench bench = MakeBench("readonly");
    WriteFile(bench.Source("Tarv.ini"), "new data");
    WriteFile(bench.Source("TarvUI.dll"), "new module");
    WriteFile(bench.Target("Tarv.ini"), "old data");
    WriteFile(bench.Target("TarvUI.dll"), "old module");
    SetReadOnly(bench.Target("Tarv.ini"));
    SetReadOnly(bench.Target("TarvUI.dll"));

    Result deploy = Deploy(bench, { "never,Test\\,Tarv.ini", "always,Test\\,TarvUI.dll" });
    EXPECT_EQ(deploy.result, 1);
    EXPECT_EQ(deploy.Titles(), (std::vector<std::string>{ kBackupCaption, kSetupCaption })) << deploy.run.Describe();
    EXPECT_EQ(ReadFile(bench.Target("Tarv.ini")), "old data");
    EXPECT_TRUE(Writable(bench.Target("Tarv.ini")));
    EXPECT_EQ(ReadFile(bench.Target("TarvUI.dll")), "new module");
    EXPECT_EQ(ReadFile(bench.Target("TarvUI.bku")), "old module");
}

TEST(Deployment, EmptyAndLargeFilesAreCopiedWhole)
{
    Bench bench = MakeBench("sizes");
    std::string large = Bytes(70001);
    WriteFile(bench.Source("empty.dat"), "");
    WriteFile(bench.Source("large.dat"), large);

    Result deploy = Deploy(bench, { "always,Test\\,empty.dat", "always,Test\\,large.dat" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_TRUE(FileExists(bench.Target("empty.dat")));
    EXPECT_EQ(ReadFile(bench.Target("empty.dat")), "");
    EXPECT_TRUE(ReadFile(bench.Target("large.dat")) == large) << "large.dat differs";
    ASSERT_EQ(deploy.run.windows.size(), 2u) << deploy.run.Describe();
    // The bar's range is the whole size, not its low 16 bits, and the copy fills it once.
    const Control *bar = deploy.run.At(1).Find(1017);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->rangeLow, 0);
    EXPECT_EQ(bar->rangeHigh, 70001);
    EXPECT_EQ(bar->pos, 0);
    EXPECT_EQ(deploy.bars, (std::vector<std::string>{ "title=\"Setup...\" low=0 high=0 pos=0",
                                                      "title=\"Setup...\" low=0 high=70001 pos=70001" }));
}

TEST(Deployment, MissingSourceAsksWhetherToGoOn)
{
    for (bool goOn : { false, true }) {
        SCOPED_TRACE(goOn ? "Yes" : "No");
        Bench bench = MakeBench("missing");
        WriteFile(bench.Source("second.dat"), "second");
        Result deploy = Deploy(bench, { "always,Test\\,first.dat", "always,Test\\,second.dat" },
                               { "click 1", goOn ? "click 6" : "click 7" });
        EXPECT_EQ(deploy.result, goOn ? 1 : 0);
        ASSERT_GE(deploy.run.windows.size(), 3u) << deploy.run.Describe();
        EXPECT_EQ(deploy.run.At(0).title, kSetupCaption);
        ExpectBox(deploy.run.At(1), "first.dat", kSourceOpen, { 1 });
        EXPECT_EQ(deploy.run.At(1).owner, std::to_string(deploy.run.At(0).index));
        ExpectBox(deploy.run.At(2), "first.dat", kCopyFailed, { 6, 7 });
        EXPECT_EQ(deploy.run.At(2).owner, "main");
        EXPECT_FALSE(FileExists(bench.Target("first.dat")));
        EXPECT_EQ(FileExists(bench.Target("second.dat")), goOn);
        EXPECT_EQ(deploy.run.windows.size(), goOn ? 4u : 3u);
    }
}

TEST(Deployment, TargetHeldOpenByAnotherProcessFailsTheBackup)
{
    struct Case { std::vector<std::string> answers; int result; size_t windows; };
    // No to message 25 stops; Yes goes on to the install copy, which cannot
    // create the held file either and asks with message 27.
    const Case cases[] = {
        { { "click 1", "click 7" }, 0, 3 },
        { { "click 1", "click 6", "click 1", "click 7" }, 0, 6 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answers.size());
        Bench bench = MakeBench("held");
        WriteFile(bench.Source("TarvGI.dll"), "new module");
        WriteFile(bench.Target("TarvGI.dll"), "old module");
        Result deploy = Deploy(bench, { "hold," + WinPath(bench.Target("TarvGI.dll")), "always,Test\\,TarvGI.dll" },
                               c.answers);
        EXPECT_EQ(deploy.result, c.result);
        ASSERT_EQ(deploy.run.windows.size(), c.windows) << deploy.run.Describe();
        EXPECT_EQ(deploy.run.At(0).title, kBackupCaption);
        ExpectBox(deploy.run.At(1), "TarvGI.dll", kSourceOpen, { 1 });
        ExpectBox(deploy.run.At(2), "TarvGI.dll", kBackupFailed, { 6, 7 });
        EXPECT_EQ(deploy.run.At(2).owner, "main");
        if (c.windows == 6) {
            EXPECT_EQ(deploy.run.At(3).title, kSetupCaption);
            ExpectBox(deploy.run.At(4), "TarvGI.dll", kTargetCreate, { 1 });
            ExpectBox(deploy.run.At(5), "TarvGI.dll", kCopyFailed, { 6, 7 });
        }
        EXPECT_EQ(ReadFile(bench.Target("TarvGI.dll")), "old module");
        EXPECT_FALSE(FileExists(bench.Target("TarvGI.bku")));
    }
}

TEST(Deployment, FailuresInTheMiddleOfACopyDeleteThePartialFile)
{
    struct Case { const char *faults; const char *text; };
    const Case cases[] = {
        { "WriteFile=112@2", kWriteFailed },
        { "ReadFile=23@3", kReadFailed },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.faults);
        Bench bench = MakeBench("midway");
        WriteFile(bench.Source("Tarvf.hlp"), Bytes(5000));
        Result deploy = Deploy(bench, { "always,Test\\,Tarvf.hlp" }, { "click 1", "click 7" }, c.faults);
        EXPECT_EQ(deploy.result, 0);
        ASSERT_EQ(deploy.run.windows.size(), 3u) << deploy.run.Describe();
        ExpectBox(deploy.run.At(1), "Tarvf.hlp", c.text, { 1 });
        ExpectBox(deploy.run.At(2), "Tarvf.hlp", kCopyFailed, { 6, 7 });
        EXPECT_FALSE(FileExists(bench.Target("Tarvf.hlp")));
    }
}

TEST(Deployment, BackupNameThatDoesNotFitIsRefused)
{
    Bench bench = MakeBench("longname");
    std::string name = std::string(60, 'n') + ".dll";  // its backup name needs 64 characters
    WriteFile(bench.Source(name), "new module");
    WriteFile(bench.Target(name), "old module");
    Result deploy = Deploy(bench, { "always,Test\\," + name }, { "click 1", "click 6" });
    EXPECT_EQ(deploy.result, 1);
    // The backup dialog ends before it is shown; the caption keeps the end of the name.
    ASSERT_EQ(deploy.run.windows.size(), 3u) << deploy.run.Describe();
    ExpectBox(deploy.run.At(0), "..." + name.substr(name.size() - 60), kPathTooLong, { 1 });
    ExpectBox(deploy.run.At(1), deploy.run.At(0).title, kBackupFailed, { 6, 7 });
    EXPECT_EQ(deploy.run.At(2).title, kSetupCaption);
    EXPECT_EQ(ReadFile(bench.Target(name)), "new module");
    for (const auto &item : fs::directory_iterator(bench.target))
        EXPECT_EQ(item.path().extension(), ".dll") << item.path();
}

TEST(ReplaceDialog, ShowsTheFactsOfBothFilesAndNoKeepsTheOld)
{
    Bench bench = MakeBench("facts");
    WriteFile(bench.Source("Tarv.ini"), "new data!");
    WriteFile(bench.Target("Tarv.ini"), "old");
    time_t oldTime = 1102410300;  // 2004-12-07 09:05:00 UTC
    time_t newTime = 1262300399;  // 2009-12-31 22:59:59 UTC
    SetTime(bench.Target("Tarv.ini"), oldTime);
    SetTime(bench.Source("Tarv.ini"), newTime);

    Result deploy = Deploy(bench, { "ask0,Test\\,Tarv.ini" }, { "click 1014" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.run.windows.size(), 1u) << deploy.run.Describe();
    const Window &dialog = deploy.run.At(0);
    EXPECT_EQ(dialog.title, kReplaceCaption);
    EXPECT_EQ(dialog.owner, "main");
    auto local = [](time_t when) {
        struct tm fields;
        localtime_r(&when, &fields);
        char text[32];
        strftime(text, sizeof text, "%d/%m/%y %H:%M:%S", &fields);
        return std::string(text);
    };
    EXPECT_EQ(dialog.Text(1008), "Tarv.ini");
    EXPECT_EQ(dialog.Text(1009), "3");
    EXPECT_EQ(dialog.Text(1010), local(oldTime));
    EXPECT_EQ(dialog.Text(1011), "9");
    EXPECT_EQ(dialog.Text(1012), local(newTime));
    EXPECT_EQ(ReadFile(bench.Target("Tarv.ini")), "old");
    EXPECT_FALSE(FileExists(bench.Target("Tarv.bku")));
}

TEST(ReplaceDialog, DefaultAnswerChoosesTheDefaultButtonAndFocus)
{
    struct Case { const char *policy; unsigned long yesType, noType; int focus; };
    const Case cases[] = {
        { "ask0", 0ul, 0ul, 1013 },
        { "ask1", 1ul, 0ul, 1013 },
        { "ask2", 0ul, 1ul, 1014 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.policy);
        Bench bench = MakeBench("default");
        WriteFile(bench.Source("TarvUI.dll"), "new module");
        WriteFile(bench.Target("TarvUI.dll"), "old module");
        // Yes replaces, with a backup first.
        Result deploy = Deploy(bench, { std::string(c.policy) + ",Test\\,TarvUI.dll" }, { "click 1013" });
        EXPECT_EQ(deploy.result, 1);
        ASSERT_EQ(deploy.Titles(), (std::vector<std::string>{ kReplaceCaption, kBackupCaption, kSetupCaption }))
            << deploy.run.Describe();
        const Window &dialog = deploy.run.At(0);
        ASSERT_NE(dialog.Find(1013), nullptr);
        ASSERT_NE(dialog.Find(1014), nullptr);
        EXPECT_EQ(dialog.Find(1013)->style & 0x0F, c.yesType);
        EXPECT_EQ(dialog.Find(1014)->style & 0x0F, c.noType);
        EXPECT_EQ(dialog.focus, c.focus);
        EXPECT_EQ(ReadFile(bench.Target("TarvUI.dll")), "new module");
        EXPECT_EQ(ReadFile(bench.Target("TarvUI.bku")), "old module");
    }
}

TEST(ReplaceDialog, EscapeDoesNothing)
{
    Bench bench = MakeBench("escape");
    WriteFile(bench.Source("Tarv.ini"), "new data");
    WriteFile(bench.Target("Tarv.ini"), "old data");
    Result deploy = Deploy(bench, { "ask0,Test\\,Tarv.ini" }, { "escape;wait 700;click 1014" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.run.windows.size(), 1u) << deploy.run.Describe();
    EXPECT_NE(deploy.run.transcript.find("STILL-OPEN"), std::string::npos) << deploy.run.Describe();
    EXPECT_EQ(ReadFile(bench.Target("Tarv.ini")), "old data");
}

TEST(ReplaceDialog, SizeOfFourGigabytesOrMoreShowsItsLow32Bits)
{
    Bench bench = MakeBench("huge");
    WriteFile(bench.Source("Tarv.ini"), "new data");
    WriteFile(bench.Target("Tarv.ini"), "");
    fs::resize_file(bench.Target("Tarv.ini"), 4294967296ull + 1234);  // sparse
    Result deploy = Deploy(bench, { "ask2,Test\\,Tarv.ini" }, { "click 1014" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.run.windows.size(), 1u) << deploy.run.Describe();
    EXPECT_EQ(deploy.run.At(0).Text(1009), "1234");
    EXPECT_EQ(fs::file_size(bench.Target("Tarv.ini")), 4294967296ull + 1234);
}

TEST(ReplaceDialog, MissingNewFileKeepsTheExistingOne)
{
    Bench bench = MakeBench("nonew");
    WriteFile(bench.Target("Tarv.ini"), "old data");
    Result deploy = Deploy(bench, { "ask1,Test\\,Tarv.ini" }, { "click 1" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.run.windows.size(), 1u) << deploy.run.Describe();
    ExpectBox(deploy.run.At(0), "Tarv Driver setup failure",
              "The file Tarv.ini won't be replaced because its current properties are unknown...", { 1 });
    EXPECT_EQ(deploy.run.At(0).owner, "main");
    EXPECT_EQ(ReadFile(bench.Target("Tarv.ini")), "old data");
    EXPECT_FALSE(FileExists(bench.Target("Tarv.bku")));
}

// Windows keeps a working folder below MAX_PATH, so a start folder too long
// for the source root cannot be set up here; a destination path that does not
// fit takes the same refusal.
TEST(Deployment, DestinationPathThatDoesNotFitIsRefused)
{
    Bench bench = MakeBench("deep");
    WriteFile(bench.Source("Tarv.ini"), "new data");
    std::string target = WinPath(bench.target) + "\\" + std::string(500, 'd');
    std::string tail = Quoted(target) + " " + Quoted(WinPath(bench.log)) + " " + Quoted("always,Test\\,Tarv.ini");

    Options options;
    options.program = ToolsBin() + "/deploytest.exe";
    options.cwd = bench.media;
    options.tail = tail;
    options.answers = { "click 1", "click 7" };
    Outcome run = RunSetup(options);
    EXPECT_EQ(run.exitCode, 10) << run.Describe();
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    ExpectBox(run.At(0), "Tarv.ini", kPathTooLong, { 1 });
    EXPECT_EQ(run.At(0).owner, "main");
    ExpectBox(run.At(1), "Tarv.ini", kCopyFailed, { 6, 7 });
}

TEST(Deployment, CommonFilesGoIntoTheSystemFolder)
{
    Bench bench = MakeBench("common");
    fs::create_directories(bench.media + "/drivers/Commun");
    WriteFile(bench.media + "/drivers/Commun/hwport.dll", "port library");
    WriteFile(bench.media + "/drivers/Commun/tarvcomm.exe", "tool");
    WriteFile(bench.Target("hwport.dll"), "old port library");
    // Row 5 (Windows 2000) takes both tools from Commun\; the target stands in for the system folder.
    Result deploy = Deploy(bench, { "common,5" });
    EXPECT_EQ(deploy.result, 1);
    ASSERT_EQ(deploy.Titles(), (std::vector<std::string>{ kBackupCaption, kSetupCaption, kSetupCaption }))
        << deploy.run.Describe();
    ExpectCopyDialog(deploy.run.At(1), kSetupCaption, "hwport.dll", "Commun\\", WinPath(bench.target));
    ExpectCopyDialog(deploy.run.At(2), kSetupCaption, "tarvcomm.exe", "Commun\\", WinPath(bench.target));
    EXPECT_EQ(ReadFile(bench.Target("hwport.dll")), "port library");
    EXPECT_EQ(ReadFile(bench.Target("hwport.bku")), "old port library");
    EXPECT_EQ(ReadFile(bench.Target("tarvcomm.exe")), "tool");
}
