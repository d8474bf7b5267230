// Complete setups over an earlier installation when something goes wrong: a
// read-only or locked file, a missing media file, a full disk, a spooler that
// refuses. Every earlier file must survive, as itself or as its backup, unless
// the user agreed to go on without one.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/e2e/copy_messages.h"
#include "tests/e2e/install_env.h"

using namespace e2e;
using namespace install;

namespace fs = std::filesystem;

namespace {

// A file of the Windows XP row and where the setup puts it.
struct Target {
    const char *name;
    const char *media;  // below drivers/
    bool system;        // system folder, else printer-driver folder

    std::string Path() const { return system ? InSystemFolder(name) : InDriverFolder(name); }
    std::string Backup() const
    {
        std::string backup = WithExtension(name, ".bku");
        return system ? InSystemFolder(backup) : InDriverFolder(backup);
    }
    std::string Earlier() const { return std::string("earlier ") + name; }
};

const Target kTargets[] = {
    { "TarvUI.dll", "Nt2000/TarvUI.dll", false }, { "TarvGI.dll", "Nt2000/TarvGI.dll", false },
    { "Tarv.ini", "Nt2000/Tarv.ini", false },     { "Tarva.hlp", "Nt2000/Tarva.hlp", false },
    { "Tarvf.hlp", "Nt2000/Tarvf.hlp", false },   { "hwport.dll", "Commun/hwport.dll", true },
    { "tarvcomm.exe", "Commun/Tarvcomm.exe", true },
};

const Target &Named(const std::string &name)
{
    for (const Target &target : kTargets)
        if (name == target.name)
            return target;
    throw std::logic_error(name);
}

class FileSafety : public ::testing::Test {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override { CleanInstallState(); }

    // An earlier installation: every file in place with its own content.
    static void PlaceEarlierFiles()
    {
        for (const Target &target : kTargets)
            WriteFile(target.Path(), target.Earlier());
    }

    static void ExpectReplacedWithBackup(const Target &target)
    {
        SCOPED_TRACE(target.name);
        EXPECT_EQ(ReadFile(target.Path()), MediaFile(target.media));
        EXPECT_EQ(ReadFile(target.Backup()), target.Earlier());
    }

    static void ExpectUntouched(const Target &target, const std::string &content)
    {
        SCOPED_TRACE(target.name);
        EXPECT_EQ(ReadFile(target.Path()), content);
        EXPECT_FALSE(FileExists(target.Backup()));
    }
};

const std::vector<std::string> kStart = { "click 6", "select LPT1:;click 1" };

std::vector<std::string> Answers(std::vector<std::string> more)
{
    std::vector<std::string> answers = kStart;
    answers.insert(answers.end(), more.begin(), more.end());
    return answers;
}

}  // namespace

TEST_F(FileSafety, ReadOnlyFilesAreBackedUpThenReplaced)
{
    PlaceEarlierFiles();
    // A backup left by a still earlier setup, read-only too, gives way to the new one.
    WriteFile(Named("TarvGI.dll").Backup(), "older TarvGI.dll");
    SetReadOnly(Named("TarvGI.dll").Backup());
    for (const Target &target : kTargets)
        SetReadOnly(target.Path());

    Outcome run = RunSetup(SetupOptions("/OS=WINNTXP", Answers({ "click 1" })));
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    EXPECT_EQ(Boxes(run), std::vector<std::string>{});
    for (const Target &target : kTargets) {
        ExpectReplacedWithBackup(target);
        EXPECT_TRUE(Writable(target.Path())) << target.name;
    }
    EXPECT_NE(DriverLine(), "");
}

TEST_F(FileSafety, FileLockedByAnotherProgramStaysAsItWas)
{
    PlaceEarlierFiles();
    const Target &locked = Named("TarvGI.dll");
    std::string ready = WorkRoot() + "/held.ready", release = WorkRoot() + "/held.release";
    fs::remove(ready);
    fs::remove(release);
    std::string held;
    std::thread holder([&] { held = Probe({ "hold-file", WinPath(locked.Path()), WinPath(ready), WinPath(release) }); });
    for (int waited = 0; waited < 30000 && !FileExists(ready); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    // The backup cannot read it (go on without a backup), the copy cannot
    // replace it (go on without the file); the driver is then registered
    // with the earlier file.
    Outcome run = RunSetup(SetupOptions(
        "/OS=WINNTXP", Answers({ "click 1", "click 6", "click 1", "click 6", "click 1" })));
    WriteFile(release, "");
    holder.join();
    ASSERT_NE(held.find("HOLD-FILE 1"), std::string::npos) << held;

    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    std::vector<std::string> boxes = Boxes(run);
    ASSERT_EQ(boxes.size(), 4u) << run.Describe();
    EXPECT_EQ(boxes[0], std::string("TarvGI.dll|") + kSourceOpen);
    EXPECT_EQ(boxes[1], std::string("TarvGI.dll|") + kBackupFailed);
    EXPECT_EQ(boxes[2], std::string("TarvGI.dll|") + kTargetCreate);
    EXPECT_EQ(boxes[3], std::string("TarvGI.dll|") + kCopyFailed);
    ExpectUntouched(locked, locked.Earlier());
    for (const Target &target : kTargets)
        if (&target != &locked)
            ExpectReplacedWithBackup(target);
    EXPECT_NE(DriverLine(), "");
}

TEST_F(FileSafety, MissingMediaFileLeavesTheEarlierOneInPlace)
{
    PlaceEarlierFiles();
    const Target &missing = Named("Tarv.ini");
    Options options = SetupOptions("/OS=WINNTXP", Answers({ "click 1", "click 6", "click 1" }));
    fs::remove(options.media + "/drivers/" + missing.media);

    Outcome run = RunSetup(options);
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{ std::string("Tarv.ini|") + kSourceOpen,
                                                      std::string("Tarv.ini|") + kCopyFailed }));
    // The backup was made before the copy found no source; the file itself
    // was never opened for writing.
    EXPECT_EQ(ReadFile(missing.Path()), missing.Earlier());
    EXPECT_EQ(ReadFile(missing.Backup()), missing.Earlier());
    for (const Target &target : kTargets)
        if (&target != &missing)
            ExpectReplacedWithBackup(target);
    EXPECT_NE(DriverLine(), "");
}

TEST_F(FileSafety, SpoolerRefusalKeepsTheFilesAndTheirBackups)
{
    PlaceEarlierFiles();
    Options options = SetupOptions("/OS=WINNTXP", Answers({ "click 1", "click 1", "click 1" }));
    options.inject = true;
    options.env["TARV_FAULTS"] = "AddPrinterDriverA=5";

    Outcome run = RunSetup(options);
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    std::vector<std::string> boxes = Boxes(run);
    ASSERT_EQ(boxes.size(), 2u) << run.Describe();
    EXPECT_EQ(boxes[0], "Tarv Driver setup failure|Printer driver setup has failed for reason 5...");
    EXPECT_EQ(boxes[1].rfind("Tarv Driver setup failure|Printer setup has failed for reason ", 0), 0u);
    EXPECT_EQ(DriverLine(), "");
    EXPECT_EQ(QueueLine(), "");
    for (const Target &target : kTargets)
        ExpectReplacedWithBackup(target);
}

// The printer-driver folder on a small file system of its own, filled up to
// one free page, so that copying the first earlier file to its backup runs
// out of space part way. Where mounting is not allowed, the same refusal is
// injected at the same write.
class FullDisk : public FileSafety {
protected:
    void SetUp() override
    {
        FileSafety::SetUp();
        folder_ = UnixPath(DriverFolder());
        while (Mounted())  // left by an interrupted run
            umount2(folder_.c_str(), MNT_DETACH);
        mounted_ = mount(kSource, folder_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    void TearDown() override
    {
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
        FileSafety::TearDown();
    }

    bool Mounted() const
    {
        std::ifstream mounts("/proc/self/mounts");
        std::string source, point, rest;
        while (mounts >> source >> point && std::getline(mounts, rest))
            if (source == kSource && point == folder_)
                return true;
        return false;
    }

    static constexpr const char *kSource = "tarv-full";
    std::string folder_;
    bool mounted_ = false;
};

TEST_F(FullDisk, BackupThatDoesNotFitLeavesEveryFileAsItWas)
{
    PlaceEarlierFiles();
    const Target &first = Named("TarvUI.dll");
    const std::string large(3 * 4096, 'e');
    WriteFile(first.Path(), large);

    Options options = SetupOptions("/OS=WINNTXP", Answers({ "click 1", "click 7" }));
    if (mounted_) {
        struct statvfs space;
        ASSERT_EQ(statvfs(folder_.c_str(), &space), 0);
        unsigned long long free = (unsigned long long)space.f_bavail * space.f_frsize;
        ASSERT_GT(free, 4096u);
        WriteFile(folder_ + "/filler", std::string(free - 4096, 'f'));
    } else {
        std::cerr << "mounting a small file system is not allowed here: the full disk is injected\n";
        options.inject = true;
        options.env["TARV_FAULTS"] = "WriteFile=112@2";
    }

    Outcome run = RunSetup(options);
    EXPECT_EQ(Completion(run), nullptr) << run.Describe();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.unusedAnswers, 0) << run.Describe();
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{ std::string("TarvUI.dll|") + kWriteFailed,
                                                      std::string("TarvUI.dll|") + kBackupFailed }));
    // No to going on without a backup: the partial backup is gone and no
    // earlier file was touched.
    ExpectUntouched(first, large);
    for (const Target &target : kTargets)
        if (&target != &first)
            ExpectUntouched(target, target.Earlier());
}
