// A quiet setup is all or nothing, and a run cut short is finished by the
// next one. The failure table fails each step of a quiet complete setup, over
// an installed earlier printer and over a clean machine, and expects the
// machine exactly as it was; the cut table ends the Wine session while a run
// stands at a chosen point and expects the follow-up run to converge.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/e2e/install_env.h"

using namespace e2e;
using namespace install;

namespace fs = std::filesystem;

namespace {

std::string Work() { return WorkRoot() + "/rollback"; }
std::string LogPath() { return Work() + "/run.log"; }

std::string Log() { return ReadFile(LogPath()); }

Outcome Quiet(const std::string &tail, const std::string &media = "")
{
    Options options = SetupOptions("/QUIET " + tail + " /LOG=" + WinPath(LogPath()), {});
    if (!media.empty())
        options.media = media;
    return RunSetup(options);
}

// Installed twice, so that every file a setup replaces has its backup too.
void InstallEarlier()
{
    for (int i = 0; i < 2; i++)
        ASSERT_EQ(Quiet("/PORT=LPT1:").exitCode, 0) << Log();
}

enum Start { CLEAN = 1, INSTALLED = 2, BOTH = 3 };

struct FailureRow {
    const char *name;
    const char *faults;                                   // injected before the first instruction, or null
    const char *line;                                     // the log names the failure so
    int starts;                                           // Start: where the step can fail at all
    std::function<std::function<void()>(Options &)> prepare;  // a real failure; returns what ends it
    bool beforeChanges = false;                           // the checks find it: nothing to undo
};

const FailureRow kFailures[] = {
    // Found before the first change.
    { "MediaFileUnreadable", nullptr, "check before changes failed: cannot read ", BOTH,
      [](Options &options) {
          return HoldFileOpen(options.media + "/drivers/Nt2000/TarvUI.dll");
      }, true },
    { "TargetHeld", nullptr, "check before changes failed: cannot replace ", INSTALLED,
      [](Options &) { return HoldFileOpen(InDriverFolder("TarvGI.bku")); }, true },
    { "FolderNotWritable", "GetTempFileNameA=5", "check before changes failed: cannot write in ", BOTH, nullptr,
      true },
    { "RestartDue", nullptr, "is due to be renamed or deleted at the next restart", BOTH,
      [](Options &) {
          WriteFile(InSystemFolder("tarvcomm.exe"), "due to go");
          std::string scheduled = Probe({ "schedule-delete", InFolders("{system}\\tarvcomm.exe") });
          EXPECT_NE(scheduled.find("SCHEDULE-DELETE 1"), std::string::npos) << scheduled;
          return std::function<void()>();
      }, true },
    { "ServiceManagerRefused", "OpenSCManagerA=5", "cannot open the service manager", BOTH, nullptr, true },
    { "JournalNotWritten", "CreateFileA=5:TarvSetup.jnl", "undo journal ", BOTH, nullptr, true },
    // Failures after changes began: undone.
    { "EarlierQueueNotDeleted", "DeletePrinter=5", "spooler: earlier printer \"Corvan Tessik\" not deleted, error 5",
      INSTALLED },
    { "EarlierDriverNotDeleted", "DeletePrinterDriverA=5", "spooler: earlier driver \"Corvan Tessik\" not deleted",
      INSTALLED },
    { "BackupNotMade", "CreateFileA=112:>TarvGI.bku", "backup failed ", INSTALLED },
    { "CopyFailsHalfWay", "CreateFileA=112:>Tarv.ini", "copy failed ", BOTH },
    { "InfRefused", nullptr, "tarv.inf: failed, error ", BOTH,
      [](Options &options) {
          WriteFile(options.media + "/drivers/Nt2000/tarv.inf", "no INF at all");
          return std::function<void()>();
      } },
    { "DriverRefused", "AddPrinterDriverA=5@1", "spooler: driver \"Corvan Tessik\" not added, error 5", BOTH },
    { "QueueRefused", "AddPrinterA=5@1", "spooler: printer \"Corvan Tessik\" not added on port LPT1:, error 5", BOTH },
    { "CommonFileNotCopied", "CreateFileA=112:>hwport.dll", "copy failed ", BOTH },
    { "EarlierServiceNotStopped", "ControlService=5", "earlier service stopped: failed, error 5; deleted: not tried",
      INSTALLED },
    { "EarlierServiceNotDeleted", "DeleteService=5", "deleted: failed, error 5", INSTALLED },
    { "KernelDriverNotCopied", "CopyFileA=112:commun", "hwbridge.sys: error 112", BOTH },
    { "ServiceNotCreated", "CreateServiceA=5@1", "service hwbridge created: failed, error 5", BOTH },
    { "ServiceDoesNotStart", "StartServiceA=1058@1", "service hwbridge started: failed, error 1058", BOTH },
    { "DeviceNotOpened", "CreateFileA=2:\\\\.\\hwbridge", "device \\\\.\\hwbridge opened: failed, error 2", BOTH },
};

class Failure : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override
    {
        Probe({ "clear-pending-renames" });
        CleanInstallState();
    }
};

TEST_P(Failure, LeavesTheMachineAsItWas)
{
    const FailureRow &row = kFailures[GetParam()];
    for (Start start : { CLEAN, INSTALLED }) {
        if (!(row.starts & start))
            continue;
        SCOPED_TRACE(start == CLEAN ? "over a clean machine" : "over an installed earlier printer");
        CleanInstallState();
        if (start == INSTALLED)
            InstallEarlier();
        RemoveAll(Work());
        fs::create_directories(Work());
        Options options = SetupOptions("/QUIET /PORT=LPT1: /LOG=" + WinPath(LogPath()), {});
        std::function<void()> release;
        if (row.prepare)
            release = row.prepare(options);
        std::string before = MachineSnapshot();
        if (row.faults) {
            options.injectAtStart = true;
            options.env["TARV_FAULTS"] = row.faults;
        }
        Outcome run = RunSetup(options);
        if (release)
            release();
        EXPECT_TRUE(run.windows.empty()) << run.Describe();
        EXPECT_EQ(run.exitCode, 1603) << Log();
        EXPECT_EQ(MachineSnapshot(), before) << Log();
        std::string log = Log();
        EXPECT_NE(log.find(row.line), std::string::npos) << "no \"" << row.line << "\" in\n" << log;
        // Either nothing was changed, or every change was undone.
        const char *ending = row.beforeChanges ? "nothing was changed" : "setup failed; its changes were undone";
        EXPECT_NE(log.find(ending), std::string::npos) << log;
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);)
            for (const char *miss : { "not put back", "not undone", ": failed", "cannot be", " left" })
                EXPECT_TRUE(line.find(" undo: ") == std::string::npos || line.find(miss) == std::string::npos)
                    << "an undo step failed: " << line << "\n" << log;
        Probe({ "clear-pending-renames" });
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, Failure, ::testing::Range<size_t>(0, sizeof kFailures / sizeof kFailures[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kFailures[info.param].name; });

struct CutRow {
    const char *name;
    const char *tail;       // the run that is cut
    const char *pauseAt;    // where it stands when the session ends (TARV_PAUSE_AT)
    bool setup;             // a setup: the follow-up setup gives the uninterrupted state; otherwise the
                            // follow-up purge gives the machine before the first setup
};

const CutRow kCuts[] = {
    { "SetupAfterTheEarlierQueueWent", "/PORT=LPT1:", "DeletePrinterDriverA", true },
    { "SetupAmidTheCopies", "/PORT=LPT1:", "CreateFileA:>Tarv.ini", true },
    { "SetupBeforeTheServiceStarts", "/PORT=LPT1:", "StartServiceA", true },
    { "DeletionAfterTheQueueWent", "/UNINSTALL", "DeletePrinterDriverA", false },
    { "DeletionAmidTheFiles", "/UNINSTALL", "DeleteFileA:Tarva.hlp", false },
    { "PurgeAfterTheQueueWent", "/UNINSTALL /PURGE", "DeletePrinterDriverA", false },
    { "PurgeBeforeTheServiceStops", "/UNINSTALL /PURGE", "ControlService", false },
    { "PurgeAmidTheFiles", "/UNINSTALL /PURGE", "DeleteFileA:hwport.dll", false },
};

// Runs the tail until it stands at pauseAt, then ends the Wine session there
// (every process with it, as a power cut would) and starts it again.
void RunAndCut(const std::string &tail, const std::string &pauseAt)
{
    std::string ready = Work() + "/paused", release = Work() + "/go-on";
    RemoveAll(ready);
    RemoveAll(release);
    Options options = SetupOptions("/QUIET " + tail + " /LOG=" + WinPath(LogPath()), {});
    options.injectAtStart = true;
    options.cutShort = true;
    options.env = { { "TARV_PAUSE_AT", pauseAt }, { "TARV_PAUSE_READY", WinPath(ready) },
                    { "TARV_PAUSE_UNTIL", WinPath(release) } };
    std::thread worker([&] { RunSetup(options); });
    for (int waited = 0; waited < 60000 && !FileExists(ready); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bool paused = FileExists(ready);
    RestartWine();
    worker.join();
    ASSERT_TRUE(paused) << "the run never reached " << pauseAt << "\n" << Log();
    std::string log = Log();
    ASSERT_EQ(log.find("Setup.exe ended", log.rfind(" started; mode: ")), std::string::npos)
        << "the run was not cut short\n" << log;
}

class Cut : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override { CleanInstallState(); }
};

TEST_P(Cut, TheNextRunFinishesTheJob)
{
    const CutRow &row = kCuts[GetParam()];
    RemoveAll(Work());
    fs::create_directories(Work());
    std::string clean = MachineSnapshot();
    // Setups start over an earlier printer and over a clean machine; a
    // deletion or purge over an installed one.
    for (Start start : { INSTALLED, CLEAN }) {
        if (start == CLEAN && !row.setup)
            continue;
        SCOPED_TRACE(start == CLEAN ? "over a clean machine" : "over an installed earlier printer");
        CleanInstallState();
        if (start == INSTALLED)
            InstallEarlier();
        std::string uninterrupted;
        if (row.setup) {
            ASSERT_EQ(Quiet(row.tail).exitCode, 0) << Log();
            uninterrupted = MachineSnapshot();
            CleanInstallState();
            if (start == INSTALLED)
                InstallEarlier();
        }
        RunAndCut(row.tail, row.pauseAt);
        if (row.setup) {
            Outcome again = Quiet(row.tail);
            EXPECT_EQ(again.exitCode, 0) << Log();
            EXPECT_EQ(MachineSnapshot(), uninterrupted) << Log();
        } else {
            Outcome purge = Quiet("/UNINSTALL /PURGE");
            EXPECT_TRUE(purge.exitCode == 0 || purge.exitCode == 3010) << purge.exitCode << "\n" << Log();
            if (purge.exitCode == 3010)
                RestartWine();
            EXPECT_EQ(MachineSnapshot(), clean) << Log();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Points, Cut, ::testing::Range<size_t>(0, sizeof kCuts / sizeof kCuts[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kCuts[info.param].name; });

// A purge that meets a driver module in use renames it aside and schedules
// that name: a setup before the restart keeps its own file of the same name
// after it. A file that cannot even be renamed is scheduled by its own name,
// and a setup before the restart then refuses, changing nothing.
TEST(ScheduledDeletion, NeverHitsALaterSetupsFile)
{
    CleanInstallState();
    RemoveAll(Work());
    fs::create_directories(Work());
    ASSERT_EQ(Quiet("/PORT=LPT1:").exitCode, 0) << Log();
    std::string module = InDriverFolder("3/TarvUI.dll");
    WriteFile(module, ReadFile(ToolsBin() + "/module.dll"));
    auto release = HoldFileOpen(module, true);
    EXPECT_EQ(Quiet("/UNINSTALL /PURGE").exitCode, 3010) << Log();
    release();
    EXPECT_NE(Log().find(InFolders("scheduled {drivers}\\3\\TarvUI.dll for deletion at the next restart: in use, "
                                   "error 5; renamed to {drivers}\\3\\trv")),
              std::string::npos) << Log();
    EXPECT_EQ(Quiet("/PORT=LPT1:").exitCode, 0) << Log();
    RestartWine();
    EXPECT_EQ(ReadFile(module), MediaFile("Nt2000/TarvUI.dll"));
    EXPECT_EQ(Probe({ "pending-renames" }), "");

    // Held open without sharing: not even renamed.
    release = HoldFileOpen(module);
    EXPECT_EQ(Quiet("/UNINSTALL /PURGE").exitCode, 3010) << Log();
    release();
    std::string before = MachineSnapshot();
    EXPECT_EQ(Quiet("/PORT=LPT1:").exitCode, 1603) << Log();
    EXPECT_NE(Log().find("restart the computer first; nothing was changed"), std::string::npos) << Log();
    EXPECT_EQ(MachineSnapshot(), before);
    RestartWine();
    EXPECT_EQ(Quiet("/PORT=LPT1:").exitCode, 0) << Log();
    EXPECT_EQ(ReadFile(module), MediaFile("Nt2000/TarvUI.dll"));
    CleanInstallState();
}

}  // namespace
