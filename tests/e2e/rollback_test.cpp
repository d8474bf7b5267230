// A quiet setup is all or nothing, and a run cut short is finished by the
// next one. The failure table fails each step of a quiet complete setup, over
// an installed earlier printer and over a clean machine, and expects the
// machine exactly as it was; the cut table ends the Wine session while a run
// stands at a chosen point and expects the follow-up run to converge.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

#include <unistd.h>

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
    { "DriverFolderNotWritable", "GetTempFileNameA=5:spool", "check before changes failed: cannot write in {drivers}, error 5",
      BOTH, nullptr, true },
    { "RestartDue", nullptr, "is due to be renamed or deleted at the next restart", BOTH,
      [](Options &) {
          WriteFile(InSystemFolder("tarvcomm.exe"), "due to go");
          std::string scheduled = Probe({ "schedule-delete", InFolders("{system}\\tarvcomm.exe") });
          EXPECT_NE(scheduled.find("SCHEDULE-DELETE 1"), std::string::npos) << scheduled;
          return std::function<void()>();
      }, true },
    // Every pair of the list counts, whatever another program put before ours.
    { "RestartDueBehindAnotherProgramsDeletion", nullptr, "is due to be renamed or deleted at the next restart",
      INSTALLED,
      [](Options &) {
          WriteFile(UnixPath(TempFolder() + "\\other.tmp"), "another program's");
          for (const std::string &path : { TempFolder() + "\\other.tmp", InFolders("{drivers}\\3\\TarvUI.dll") }) {
              std::string scheduled = Probe({ "schedule-delete", path });
              EXPECT_NE(scheduled.find("SCHEDULE-DELETE 1"), std::string::npos) << scheduled;
          }
          return std::function<void()>();
      }, true },
    { "ServiceManagerRefused", "OpenSCManagerA=5", "cannot open the service manager", BOTH, nullptr, true },
    // A list of renames that cannot be read may name any file.
    { "RestartListUnreadable", "RegQueryValueExA=5:PendingFileRenameOperations",
      "check before changes failed: cannot read the renames due at the next restart, error 5", CLEAN, nullptr, true },
    // The undo could bring back only our service.
    { "ServiceOfAnotherProduct", nullptr, "check before changes failed: the service hwbridge runs ", CLEAN,
      [](Options &) {
          Probe({ "create-service", "hwbridge", "C:\\other\\hwbridge.sys" });
          return std::function<void()>();
      }, true },
    { "JournalNotWritten", "CreateFileA=5:TarvSetup.jnl", "undo journal ", BOTH, nullptr, true },
    // Failures after changes began: undone.
    { "EarlierQueueNotDeleted", "DeletePrinter=5", "spooler: earlier printer \"Corvan Tessik\" not deleted, error 5",
      INSTALLED },
    { "EarlierDriverNotDeleted", "DeletePrinterDriverA=5", "spooler: earlier driver \"Corvan Tessik\" not deleted",
      INSTALLED },
    { "BackupNotMade", "CreateFileA=112:>TarvGI.bku", "backup failed ", INSTALLED },
    // The record of a copy comes before the copy: no copy is left without one.
    { "CopyRecordNotWritten", "WriteFile=112:TarvGI.bku", "undo journal: a record cannot be written, error 112",
      INSTALLED },
    // Nothing is written after a record cut short, which would read it as part of that record:
    // here the record of the precompiled form of a second copy of the INF.
    { "RecordCutShortIsTheLast", "WriteFile=112@1:.pnf", "undo journal: a record cannot be written, error 112",
      INSTALLED,
      [](Options &options) {
          WriteFile(InInfFolder("oem7.inf"), ReadFile(InInfFolder("tarv.inf")));
          WriteFile(InInfFolder("oem7.pnf"), "precompiled");
          options.env["TARV_TORN_WRITES"] = "1";
          return std::function<void()>();
      } },
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
    // The earlier service comes back with its start type.
    { "EarlierServiceStartedAutomatically", "CreateFileA=2:\\\\.\\hwbridge", "device \\\\.\\hwbridge opened: failed",
      INSTALLED,
      [](Options &) {
          EXPECT_NE(Probe({ "set-start-type", "hwbridge", "2" }).find("SET-START-TYPE 1"), std::string::npos);
          return std::function<void()>();
      } },
};

class Failure : public CleanMachineRows {
protected:
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
        EXPECT_NE(log.find(InFolders(row.line)), std::string::npos) << "no \"" << InFolders(row.line) << "\" in\n" << log;
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
void RunAndCut(const std::string &tail, const std::string &pauseAt, const std::string &faults = "")
{
    std::string ready = Work() + "/paused", release = Work() + "/go-on";
    RemoveAll(ready);
    RemoveAll(release);
    Options options = SetupOptions("/QUIET " + tail + " /LOG=" + WinPath(LogPath()), {});
    options.injectAtStart = true;
    options.cutShort = true;
    options.env = { { "TARV_PAUSE_AT", pauseAt }, { "TARV_PAUSE_READY", WinPath(ready) },
                    { "TARV_PAUSE_UNTIL", WinPath(release) }, { "TARV_FAULTS", faults } };
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

class Cut : public CleanMachineRows {};

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
            // The next run would undo what stands: the machine is not as the media install it.
            EXPECT_EQ(Quiet("/VERIFY").exitCode, 2) << Log();
            EXPECT_NE(Log().find("TarvSetup.jnl: a setup that did not end left it"), std::string::npos) << Log();
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

// A setup over an earlier printer that fails at its last step (the device
// does not open), so that everything is undone.
const char kFailsAtTheEnd[] = "CreateFileA=2:\\\\.\\hwbridge";

// The earlier printer, its service stopped as after a restart, so that a
// session ended by a test leaves it as it found it.
std::string InstallEarlierStopped()
{
    InstallEarlier();
    Probe({ "stop-service", "hwbridge" });
    return MachineSnapshot();
}

Outcome QuietWithFaults(const std::string &tail, const std::string &faults)
{
    Options options = SetupOptions("/QUIET " + tail + " /LOG=" + WinPath(LogPath()), {});
    options.injectAtStart = true;
    options.env["TARV_FAULTS"] = faults;
    return RunSetup(options);
}

// The journal is written through, so that no change reaches the disk before
// its record, and made new, never opened through what someone put under its
// name; the marks of an undo are written through too.
TEST(Journal, IsWrittenThroughAndMadeNew)
{
    const unsigned long GENERIC_WRITE_BIT = 0x40000000, WRITE_THROUGH_BIT = 0x80000000,
                        OPEN_REPARSE_POINT_BIT = 0x00200000;
    CleanInstallState();
    RemoveAll(Work());
    fs::create_directories(Work());
    InstallEarlier();
    std::string opens = Work() + "/opens.txt";
    Options options = SetupOptions("/QUIET /PORT=LPT1: /LOG=" + WinPath(LogPath()), {});
    options.injectAtStart = true;
    options.env["TARV_FAULTS"] = kFailsAtTheEnd;
    options.env["TARV_RECORD_OPENS"] = "TarvSetup.jnl:" + WinPath(opens);
    EXPECT_EQ(RunSetup(options).exitCode, 1603) << Log();
    std::istringstream lines(ReadFile(opens));
    std::vector<std::string> writes;
    for (std::string line; std::getline(lines, line);) {
        unsigned long access = 0, disposition = 0, flags = 0;
        ASSERT_EQ(sscanf(line.c_str(), "access=0x%lx disposition=%lu flags=0x%lx", &access, &disposition, &flags), 3) << line;
        if (access & GENERIC_WRITE_BIT)
            writes.push_back(line);
        if (access & GENERIC_WRITE_BIT)
            EXPECT_TRUE(flags & WRITE_THROUGH_BIT) << line;
    }
    ASSERT_GE(writes.size(), 2u) << ReadFile(opens);  // the journal, then the undo's marks
    unsigned long access = 0, disposition = 0, flags = 0;
    sscanf(writes[0].c_str(), "access=0x%lx disposition=%lu flags=0x%lx", &access, &disposition, &flags);
    EXPECT_EQ(disposition, 1ul) << writes[0];  // CREATE_NEW
    EXPECT_TRUE(flags & OPEN_REPARSE_POINT_BIT) << writes[0];
    CleanInstallState();
}

// An undo step that fails, or whose mark cannot be written, ends the undo
// there and keeps what the next run needs (the copy of a file, the journal
// with the marks of what was done), and the run says so and ends with 1603;
// the next run, here one that only recovers, finishes the undo.
TEST(Undo, AStepThatFailsIsFinishedByTheNextRun)
{
    struct { const char *fault; Start start; const char *line; } cases[] = {
        { "CopyFileA=5:trv", INSTALLED, "not put back, error 5; its copy stays: " },
        { "DeleteFileA=5:TarvUI", CLEAN, "TarvUI.dll not deleted, error 5" },
        { "WriteFile=112:#12", CLEAN, "undo journal: a record cannot be written, error 112" },  // a mark
        { "ControlService=5", CLEAN, "undo: service hwbridge deleted: failed" },  // the service still runs
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        CleanInstallState();
        RemoveAll(Work());
        fs::create_directories(Work());
        std::string before = c.start == INSTALLED ? InstallEarlierStopped() : MachineSnapshot();
        EXPECT_EQ(QuietWithFaults("/PORT=LPT1:", std::string(c.fault) + "," + kFailsAtTheEnd).exitCode, 1603) << Log();
        std::string log = Log();
        for (const char *part : { c.line, "undo: not finished; the journal ", "setup failed; its changes could not all be undone" })
            EXPECT_NE(log.find(part), std::string::npos) << "no \"" << part << "\" in\n" << log;
        EXPECT_EQ(log.find("its changes were undone"), std::string::npos) << log;
        EXPECT_EQ(log.find(" undo: ", log.find(c.line)), log.find(" undo: not finished")) << log;
        EXPECT_TRUE(FileExists(StateFolder() + "/TarvSetup.jnl"));
        // Each copy a restore still needs is there.
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);)
            if (line.find("its copy stays: ") != std::string::npos)
                EXPECT_TRUE(FileExists(UnixPath(line.substr(line.find("stays: ") + 7, line.find_last_not_of("\r") - line.find("stays: ") - 6))))
                    << line;
        EXPECT_EQ(Quiet("/COMMIT").exitCode, 0) << Log();
        EXPECT_EQ(MachineSnapshot(), before) << Log();
    }
}

// An undo cut short after each kind of step: the next run takes up where it
// stood, and the earlier printer comes back byte for byte.
struct RecoveryCutRow {
    const char *name;
    const char *pauseAt;  // the next step's call: the cut comes after the step before it
};

const RecoveryCutRow kRecoveryCuts[] = {
    { "AfterTheNewServiceWent", "CopyFileA:trv" },
    { "AfterTheKernelDriversFileWasPutBack", "CreateServiceA@2" },
    { "AfterTheQueueWent", "DeletePrinterDriverA@2" },
    { "AfterTheDriverWent", "CopyFileA:\\3\\trv" },  // the spooler's copies are put back next
    { "AfterTheInfWent", "AddPrinterDriverA@2" },
    { "AfterTheEarlierDriverCameBack", "AddPrinterA@2" },
};

class RecoveryCut : public CleanMachineRows {};

TEST_P(RecoveryCut, TheNextRunFinishesTheUndo)
{
    const RecoveryCutRow &row = kRecoveryCuts[GetParam()];
    RemoveAll(Work());
    fs::create_directories(Work());
    std::string before = InstallEarlierStopped();
    RunAndCut("/PORT=LPT1:", row.pauseAt, kFailsAtTheEnd);
    ASSERT_NE(Log().find("undo: the changes of the setup are undone"), std::string::npos)
        << "the cut did not come in the undo\n" << Log();
    EXPECT_EQ(Quiet("/COMMIT").exitCode, 0) << Log();
    EXPECT_EQ(MachineSnapshot(), before) << Log();
}

INSTANTIATE_TEST_SUITE_P(Steps, RecoveryCut, ::testing::Range<size_t>(0, sizeof kRecoveryCuts / sizeof kRecoveryCuts[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kRecoveryCuts[info.param].name; });

// Journals that no setup of ours wrote, planted in the state folder.
std::string Record(uint32_t type, const std::string &data)
{
    uint32_t header[2] = { type, (uint32_t)data.size() };
    return std::string((const char *)header, sizeof header) + data;
}

std::string Journal(const std::string &records)
{
    return std::string("TJ2") + (char)(std::string(TARV_E2E_ARCH) == "i686" ? 4 : 8) + records;
}

// A record that would delete a file of the installed printer, were it applied.
std::string Deletes(const std::string &path)
{
    return Record(2 /* change, none before */, InFolders(path) + '\0' + '\0');
}

struct PlantedRow {
    const char *name;
    std::function<std::string()> journal;
    const char *why;  // in the warning; null: the journal is ours, and is recovered
};

const PlantedRow kPlanted[] = {
    { "ServiceWithAnotherBinary",
      [] {
          uint32_t service[3] = { 1, 3, 1 };
          return Journal(Deletes("{drivers}\\TarvUI.dll")
                         + Record(8, std::string((const char *)service, sizeof service) + "C:\\other\\evil.sys" + '\0'));
      },
      "a service record names another service than our kernel driver's" },
    { "FileOutsideTheTargetFolders",
      [] { return Journal(Deletes("{drivers}\\TarvUI.dll") + Deletes("{windows}\\win.ini")); },
      "a file record names no file of the product in its folders" },
    { "FileThroughDotDot",
      [] { return Journal(Deletes("{drivers}\\TarvUI.dll") + Deletes("{drivers}\\3\\..\\..\\Tarvf.hlp")); },
      "a file record names no file of the product in its folders" },
    { "RandomBytes",
      [] {
          std::string bytes;
          for (unsigned seed = 7, i = 0; i < 600; i++)
              bytes += (char)((seed = seed * 1103515245 + 12345) >> 16);
          return bytes;
      },
      "it is no journal of this program" },
    { "LargerThanTheLimit", [] { return Journal(Deletes("{drivers}\\TarvUI.dll") + std::string(1 << 20, 'x')); },
      "it is too large" },
    // Cut while its last record was written: that change never began, the rest is undone.
    { "TornLastRecord", [] { return Journal(Deletes("{drivers}\\TarvUI.dll") + Deletes("{drivers}\\TarvGI.dll").substr(0, 20)); },
      nullptr },
};

class PlantedJournal : public CleanMachineRows {};

TEST_P(PlantedJournal, IsAppliedNotEvenInPart)
{
    const PlantedRow &row = kPlanted[GetParam()];
    RemoveAll(Work());
    fs::create_directories(Work());
    InstallEarlier();
    std::string before = MachineSnapshot(), planted = row.journal();
    WriteFile(StateFolder() + "/TarvSetup.jnl", planted);
    // A run that only recovers: what it does is the journal's doing.
    EXPECT_EQ(Quiet("/COMMIT").exitCode, 0) << Log();
    std::string log = Log();
    EXPECT_FALSE(FileExists(StateFolder() + "/TarvSetup.jnl"));
    if (!row.why) {
        EXPECT_EQ(log.find("warning:"), std::string::npos) << log;
        EXPECT_FALSE(FileExists(InDriverFolder("TarvUI.dll"))) << log;
        EXPECT_TRUE(FileExists(InDriverFolder("TarvGI.dll"))) << log;
    } else {
        std::string warning = "warning: undo journal " + InFolders("{system}\\LogFiles\\TarvSetup\\TarvSetup.jnl")
                              + " not applied, " + row.why + "; moved to ";
        size_t at = log.find(warning);
        ASSERT_NE(at, std::string::npos) << "no \"" << warning << "\" in\n" << log;
        // Kept as it was, beside where it was; nothing else changed.
        std::string aside = log.substr(at + warning.size(), log.find_first_of("\r\n", at) - at - warning.size());
        EXPECT_EQ(ReadFile(UnixPath(aside)), planted) << aside;
        RemoveAll(UnixPath(aside));
        EXPECT_EQ(MachineSnapshot(), before) << log;
    }
    // The setup that follows ends as it would without it.
    EXPECT_EQ(Quiet("/PORT=LPT1:").exitCode, 0) << Log();
    // With no journal there is nothing to roll back; one set aside has undone nothing.
    EXPECT_EQ(Quiet("/ROLLBACK").exitCode, 0) << Log();
    WriteFile(StateFolder() + "/TarvSetup.jnl", planted);
    EXPECT_EQ(Quiet("/ROLLBACK").exitCode, row.why ? 1603 : 0) << Log();
}

INSTANTIATE_TEST_SUITE_P(Journals, PlantedJournal, ::testing::Range<size_t>(0, sizeof kPlanted / sizeof kPlanted[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kPlanted[info.param].name; });

// A state folder that others could have changed (its rights let everyone
// write, or another account owns it) is never read from nor written into:
// a quiet run ends with 1603, and neither the journal planted there nor
// anything else is touched.
TEST(StateFolder, OneOthersCouldChangeIsNeverUsed)
{
    CleanInstallState();
    RemoveAll(Work());
    fs::create_directories(Work());
    InstallEarlier();
    WriteFile(StateFolder() + "/TarvSetup.jnl", Journal(Deletes("{drivers}\\TarvUI.dll")));
    std::string before = MachineSnapshot();
    struct { const char *name; std::function<bool()> spoil; std::function<void()> mend; const char *error; } cases[] = {
        { "everyone may write", [] { fs::permissions(StateFolder(), fs::perms::others_write, fs::perm_options::add); return true; },
          [] { fs::permissions(StateFolder(), fs::perms::others_write, fs::perm_options::remove); }, "error 1336" },
        { "owned by another account", [] { return chown(StateFolder().c_str(), 65534, (gid_t)-1) == 0; },
          [] { EXPECT_EQ(chown(StateFolder().c_str(), getuid(), (gid_t)-1), 0); }, "error 1307" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.spoil()) {
            std::cout << "note: the state folder cannot be given to another account here (not root)\n";
            continue;
        }
        EXPECT_EQ(Quiet("/PORT=LPT1:").exitCode, 1603) << Log();
        c.mend();
        EXPECT_NE(Log().find("run lock: its folder " + InFolders("{system}\\LogFiles\\TarvSetup") + " cannot be had, "
                             + c.error + "; nothing was changed"), std::string::npos) << Log();
        EXPECT_EQ(MachineSnapshot(), before) << Log();
    }
    CleanInstallState();
}

}  // namespace
