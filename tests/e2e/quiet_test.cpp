// Unattended runs ("/QUIET"), "/PORT=" and the run log ("/LOG="): one table
// over the answers a quiet run gives, each row run in English and in Japanese.
// Every row checks that Setup.exe showed no window at all, its exit code, the
// state it left and the lines of its log.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "tests/e2e/install_env.h"
#include "tests/support/catalogue.h"

using namespace e2e;
using namespace install;

namespace fs = std::filesystem;

namespace {

struct Language {
    const char *locale;
    const char *file;  // its resource file
};

const Language kLanguages[] = { { "en_US.UTF-8", "en-US.rc" }, { "ja_JP.UTF-8", "ja-JP.rc" } };

// A message the log must name: by catalogue name, or as a fixed text.
struct Said {
    const char *id;  // "IDS_..." or a fixed text's own words (the kernel service's)
    const char *answer;
};

// What a row leaves behind and lets its checks see.
struct Context {
    std::string media;
    std::string target;                // deploytest's target folder
    std::string snapshot;              // the machine before the row's preparation changed it
    std::function<void()> afterRun;    // ends what the preparation started
    std::string skip;                  // why the row cannot run on this machine
};

struct Row {
    const char *name;
    const char *tail;                  // with its own "/QUIET" and "{log}" (the "/LOG=" switch) where their
                                       // place matters
    int exitCode;
    std::vector<Said> messages;        // every message line, in order
    std::vector<const char *> lines;   // further lines the log holds
    std::function<void(Context &)> prepare;
    std::function<void(const Context &)> check;
    const char *faults = nullptr;      // injected before the program's first instruction
    const char *version = "winxp";
    std::vector<std::string> deploy;   // items for deploytest instead of a Setup.exe run
    const char *dllOverrides = nullptr; // added to WINEDLLOVERRIDES
    size_t lineCount = 0;              // the log's exact number of lines, when the row knows it
};

std::string LogPath() { return WorkRoot() + "/quiet/run.log"; }

// An empty scratch folder for a run's log and files.
void FreshQuietFolder()
{
    RemoveAll(WorkRoot() + "/quiet");
    fs::create_directories(WorkRoot() + "/quiet");
}

// The log's lines without their time stamps; every line must start with one.
std::vector<std::string> LogLines(const std::string &path)
{
    static const std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[\\d+\\] ");
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "not a Windows line end: " << line;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::smatch prefix;
        EXPECT_TRUE(std::regex_search(line, prefix, stamp)) << "no time stamp and process id: " << line;
        lines.push_back(prefix.empty() ? line : line.substr(prefix.length(0)));
    }
    return lines;
}

// The message line a catalogue text gives: any caption, any text in place of
// each placeholder.
std::regex MessagePattern(const Said &said, const std::string &file, bool quiet = true)
{
    static const std::map<std::string, int> ids = catalogue::ResourceIds(TARV_SOURCE_DIR, "IDS_");
    std::string id = "0", text = said.id;
    if (ids.count(said.id)) {
        id = std::to_string(ids.at(said.id));
        text = catalogue::Strings(TARV_SOURCE_DIR, file).at(said.id);
    }
    // The log writes a line break as %0D%0A and a tab as %09.
    static const std::map<std::string, std::string> escapes = { { "\\r", "%0D" }, { "\\n", "%0A" }, { "\\t", "%09" } };
    std::string pattern;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 2, "%s") == 0 || text.compare(i, 3, "%lu") == 0) {
            pattern += ".*";
            i += text[i + 1] == 's' ? 1 : 2;
        } else if (escapes.count(text.substr(i, 2))) {
            pattern += escapes.at(text.substr(i, 2));
            i++;
        } else if (strchr("\\^$.|?*+()[]{}", text[i])) {
            pattern += std::string("\\") + text[i];
        } else {
            pattern += text[i];
        }
    }
    if (std::string(said.id) == "IDS_USAGE_TEXT")
        pattern += "(%0D%0A%09\\w+)+";  // each platform code on a line of its own
    return std::regex("message " + id + " \"[^\"]*\": \"" + pattern + "\": " + (quiet ? "answered " : "shown, answer ")
                      + said.answer);
}

bool Holds(const std::vector<std::string> &lines, const std::string &part)
{
    for (const std::string &line : lines)
        if (line.find(part) != std::string::npos)
            return true;
    return false;
}

// How many lines of the row's log hold part.
size_t LinesHolding(const std::string &part)
{
    size_t count = 0;
    for (const std::string &line : LogLines(LogPath()))
        count += line.find(part) != std::string::npos;
    return count;
}

// A quiet complete setup on the sample media: the earlier installation some rows need.
void InstallQuietly()
{
    Options options = SetupOptions("/QUIET /PORT=LPT1:", {});
    Outcome run = RunSetup(options);
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
}

// The machine as it was, then a complete setup on it made twice, so that
// every file the setup replaces has its backup.
void SnapshotThenInstallTwice(Context &context)
{
    context.snapshot = MachineSnapshot();
    InstallQuietly();
    InstallQuietly();
}

void ExpectAsBefore(const Context &context)
{
    EXPECT_EQ(MachineSnapshot(), context.snapshot);
}

const char kForeignInf[] = "oem91.inf";
const char kSameSizeInf[] = "oem92.inf";

void ExpectNothingInstalled(const Context &)
{
    EXPECT_EQ(QueueLine(), "");
    EXPECT_EQ(DriverLine(), "");
    EXPECT_FALSE(FileExists(InDriverFolder("TarvUI.dll")));
}

void ExpectInstalledOn(const std::string &port)
{
    EXPECT_EQ(RawField(QueueLine(), "port"), port);
    EXPECT_NE(DriverLine(), "");
}

// The row's log, there before the run, owned by an account the run does not trust.
void ForeignLog(Context &context)
{
    WriteFile(LogPath(), "");
    if (chown(LogPath().c_str(), 65534, (gid_t)-1) != 0)
        context.skip = "a file cannot be given to another account here (not root)";
}

// Holds a file open without sharing until the run has ended.
void HoldFile(Context &context, const std::string &path)
{
    context.afterRun = HoldFileOpen(path);
}

const Row kRows[] = {
    { "CompleteSetupOnTheNamedPort", "/PORT=lpt1:", 0, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "mode: quiet; action: complete setup; platform: Windows XP (WINNTXP), detected from Windows version 2 / 5.1",
        "port LPT1:, named by /PORT=", "copy ", "spooler: driver \"Corvan Tessik\" added",
        "spooler: printer \"Corvan Tessik\" added on port LPT1:", "service hwbridge started: ok",
        "setup complete (the completion dialog is not shown in a quiet run)", "Setup.exe ended; exit code 0" },
      nullptr,
      [](const Context &) {
          ExpectInstalledOn("LPT1:");
          EXPECT_EQ(Field(ServiceLine(), "state"), "4");
          EXPECT_TRUE(FileExists(InSystemFolder("hwport.dll")));
          // The setup library is made non-interactive before it is handed the INF.
          std::string log = ReadFile(LogPath());
          size_t quiet = log.find("setup library: non-interactive mode set");
          EXPECT_NE(quiet, std::string::npos) << log;
          EXPECT_LT(quiet, log.find("setup library: SetupCopyOEMInfA")) << log;
          // Media only administrators can write in raises no warning.
          EXPECT_EQ(LinesHolding("warning:"), 0u) << log;
      } },
    { "SimpleSetupOnAForcedPlatform", "/OS=WINNT50 /ONLYADDPRINTDEVICE /PORT=COM2:", 0,
      { { "IDS_CONFIRM_SIMPLE_SETUP", "Yes" } }, { "platform: Windows 2000 (WINNT50), forced by /OS=" }, nullptr,
      [](const Context &) {
          ExpectInstalledOn("COM2:");
          EXPECT_FALSE(FileExists(InSystemFolder("hwport.dll")));
      } },
    { "CompleteDeletion", "/OS=WINNT40 /UNINSTALL", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "spooler: printer \"Corvan Tessik\" deleted", "spooler: driver \"Corvan Tessik\" deleted", "deleted ",
        "skipped ", "TarvUI.dll: not removed by a deletion" },
      [](Context &) { InstallQuietly(); },
      [](const Context &) {
          EXPECT_EQ(QueueLine(), "");
          EXPECT_EQ(DriverLine(), "");
          EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp")));
          EXPECT_TRUE(FileExists(InDriverFolder("TarvUI.dll")));
          EXPECT_TRUE(FileExists(InSystemFolder("hwport.dll")));
      } },
    { "UnrecognisedWordBeforeQuiet", "/X /QUIET", 87, { { "IDS_USAGE_TEXT", "OK" } },
      { "action: usage; platform: none", "not a switch on the command line: \"/X\"" }, nullptr,
      ExpectNothingInstalled },
    { "LogAfterAnUnknownWord", "/UNINSTAL /QUIET {log}", 87, { { "IDS_USAGE_TEXT", "OK" } },
      { "not a switch on the command line: \"/UNINSTAL\"" }, nullptr, ExpectNothingInstalled },
    // A forged line in the command line stays inside the lines that log it.
    { "ForgedLineInTheCommandLine", "/X\r\n2099-01-01 00:00:00.000 Setup.exe ended; exit code 0", 87,
      { { "IDS_USAGE_TEXT", "OK" } },
      { "; command line: ", "/X%0D%0A2099-01-01 00:00:00.000 Setup.exe ended; exit code 0",
        "not a switch on the command line: \"/X%0D%0A2099-01-01\"" },
      nullptr, ExpectNothingInstalled, nullptr, "winxp", {}, nullptr, 4 },
    { "UnknownWindowsVersion", "", 1633, { { "IDS_UNKNOWN_VERSION", "OK" } },
      { "platform: unknown, detected from Windows version 2 / 6.1" }, nullptr, ExpectNothingInstalled, nullptr,
      "win7" },
    { "UnsupportedPlatform", "/OS=WIN32S", 1633,
      { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" }, { "IDS_UNSUPPORTED", "OK" } }, {}, nullptr, ExpectNothingInstalled },
    { "WindowsVersionNotReadable", "", 1633, { { "IDS_NO_VERSION", "OK" } },
      { "platform: unknown, the Windows version cannot be read" }, nullptr, ExpectNothingInstalled,
      "GetVersionExA=5" },
    { "SetupWithoutPort", "", 87, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "no port named by /PORT=; the spooler's ports: COM1:, COM2:, COM3:, COM4:, FILE:, LPT1:, LPT2:, LPT3:" },
      nullptr, ExpectNothingInstalled },
    { "PortTheSpoolerDoesNotList", "/PORT=LPT9:", 87, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "port \"LPT9:\" of /PORT= is not listed by the spooler; its ports: COM1:" }, nullptr,
      ExpectNothingInstalled },
    // A spooler that cannot list its ports is at fault, not the command line.
    { "SpoolerCannotListPorts", "/PORT=LPT1:", 1603, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "spooler: the ports cannot be listed, error 1722" }, nullptr, ExpectNothingInstalled, nullptr, "winxp", {},
      "localspl=d" },
    // A quiet setup is all or nothing: what it can know fails it before the
    // first change (a file in use, a file missing on the media, no service
    // manager), and a step that fails later is undone (rollback_test.cpp has
    // a row for every step).
    { "FileInUseFailsBeforeAnyChange", "/PORT=LPT1:", 1603, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "check before changes failed: cannot replace {drivers}\\TarvGI.dll, error 32; nothing was changed" },
      [](Context &context) {
          InstallQuietly();
          WriteFile(InDriverFolder("TarvGI.dll"), "earlier");
          context.snapshot = MachineSnapshot();
          HoldFile(context, InDriverFolder("TarvGI.dll"));
      },
      [](const Context &context) {
          ExpectAsBefore(context);
          ExpectInstalledOn("LPT1:");
          EXPECT_EQ(ReadFile(InDriverFolder("TarvGI.dll")), "earlier");
      } },
    { "MediaFileMissingFailsBeforeAnyChange", "/PORT=LPT1:", 1603, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "check before changes failed: cannot read ", "Nt2000\\Tarv.ini, error 2; nothing was changed" },
      [](Context &context) {
          RemoveAll(context.media + "/drivers/Nt2000/Tarv.ini");
          context.snapshot = MachineSnapshot();
      },
      ExpectAsBefore },
    { "RegistrationFailureIsUndone", "/PORT=LPT1:", 1603,
      { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" }, { "IDS_DRIVER_FAILED", "OK" } },
      { "spooler: driver \"Corvan Tessik\" not added, error 5", "undo: deleted {drivers}\\TarvGI.dll",
        "setup failed; its changes were undone" },
      [](Context &context) { context.snapshot = MachineSnapshot(); }, ExpectAsBefore, "AddPrinterDriverA=5" },
    { "ServiceManagerCheckedBeforeAnyChange", "/PORT=LPT1:", 1603, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "check before changes failed: cannot open the service manager, error 5; nothing was changed" },
      [](Context &context) { context.snapshot = MachineSnapshot(); }, ExpectAsBefore, "OpenSCManagerA=5" },
    // A run lock that cannot be had (the folder refused, say) is no reason to
    // go on without one.
    { "RunLockThatCannotBeHadStops", "/PORT=LPT1:", 1603, {},
      { "\\TarvSetup.lck: not taken, error 5; nothing was changed" },
      [](Context &context) { context.snapshot = MachineSnapshot(); }, ExpectAsBefore, "CreateFileA=5:TarvSetup.lck" },
    // An entry of a kind it does not read, or an ACL that ends before its
    // last entry, counts as a grant to others: the state folder is refused.
    { "StateFolderWithAnEntryItCannotReadStops", "/PORT=LPT1:", 1603, {},
      { "run lock: its folder {system}\\LogFiles\\TarvSetup cannot be had, error 1336; nothing was changed" },
      [](Context &) { fs::create_directories(StateFolder()); }, ExpectNothingInstalled, "GetKernelObjectSecurity=1" },
    { "StateFolderWithAnAclCutShortStops", "/PORT=LPT1:", 1603, {},
      { "run lock: its folder {system}\\LogFiles\\TarvSetup cannot be had, error 1336; nothing was changed" },
      [](Context &) { fs::create_directories(StateFolder()); }, ExpectNothingInstalled, "GetKernelObjectSecurity=2" },
    // Windows 9x: an object of another kind under the mutex's name (an event)
    // is no reason to go on without a lock.
    { "Windows9xLockNameTakenByAnEventStops", "/PORT=LPT1:", 1603, {},
      { "run lock TarvDriverSetupRun: not taken, error 6; nothing was changed" },
      [](Context &context) {
          auto holder = std::make_shared<std::thread>([] { Probe({ "hold-event", "TarvDriverSetupRun", "5000" }); });
          context.afterRun = [holder] { holder->join(); };
          std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      },
      ExpectNothingInstalled, nullptr, "win98" },
    // Steps an interactive run passes over silently still fail a quiet one.
    { "InfRegistrationFailureIsUndone", "/PORT=LPT1:", 1603, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "setup library: non-interactive mode set", "tarv.inf: failed, error 3758096384",
        "setup failed; its changes were undone" },
      [](Context &context) {
          WriteFile(context.media + "/drivers/Nt2000/tarv.inf", "no INF at all");
          context.snapshot = MachineSnapshot();
      },
      ExpectAsBefore },
    { "KernelDriverFileInUseFailsBeforeAnyChange", "/PORT=LPT1:", 1603, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "check before changes failed: cannot replace {windows}\\system32\\drivers\\hwbridge.sys, error 32" },
      [](Context &context) {
          InstallQuietly();
          Probe({ "stop-service", "hwbridge" });
          context.snapshot = MachineSnapshot();
          HoldFile(context, KernelDriverFile());
      },
      [](const Context &context) {
          ExpectAsBefore(context);
          ExpectInstalledOn("LPT1:");
      } },
    // Expected misses: a second setup over a stopped service.
    { "SetupOverAStoppedService", "/PORT=LPT1:", 0, { { "IDS_CONFIRM_COMPLETE_SETUP", "Yes" } },
      { "spooler: earlier printer \"Corvan Tessik\" deleted", "spooler: earlier driver \"Corvan Tessik\" deleted",
        "service hwbridge: earlier service stopped: it was not running; deleted: ok", "service hwbridge started: ok" },
      [](Context &) {
          InstallQuietly();
          Probe({ "stop-service", "hwbridge" });
      },
      [](const Context &) { EXPECT_EQ(Field(ServiceLine(), "state"), "4"); } },
    // "/PURGE" after complete setups: nothing of the printer is left, and
    // nothing else changed. Wine refuses DeletePrinterDriverExA's flags and its
    // SetupUninstallOEMInfA deletes nothing, so the files are deleted here.
    { "PurgeLeavesNothingBehind", "/UNINSTALL /PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "action: complete deletion and purge",
        "spooler: driver \"Corvan Tessik\" not deleted with its unused files, error 87",
        "spooler: driver \"Corvan Tessik\" deleted", "service hwbridge stopped", "service hwbridge deleted",
        "purged {windows}\\system32\\drivers\\hwbridge.sys",
        "purged {drivers}\\3\\TarvUI.dll",
        "setup library: SetupUninstallOEMInfA tarv.inf: ok", "purged {windows}\\inf\\tarv.inf",
        "purged {windows}\\inf\\tarv.pnf", "purged {drivers}\\TarvGI.bku",
        "purged {system}\\hwport.dll", "purged {system}\\tarvcomm.bku",
        "complete deletion done" },
      [](Context &context) {
          WriteFile(InInfFolder(kForeignInf), "; another vendor's printer\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n");
          // Another INF of the very size of ours: only its content tells them apart.
          std::string sameSize = MediaFile("Nt2000/tarv.inf");
          sameSize[0] = sameSize[0] == ';' ? '#' : ';';
          WriteFile(InInfFolder(kSameSizeInf), sameSize);
          SnapshotThenInstallTwice(context);
      },
      [](const Context &context) {
          ExpectAsBefore(context);
          EXPECT_EQ(LinesHolding(InFolders("{drivers}\\3\\TarvUI.dll")), 1u) << ReadFile(LogPath());
          EXPECT_TRUE(FileExists(InInfFolder(kForeignInf)));
          EXPECT_TRUE(FileExists(InInfFolder(kSameSizeInf)));
          RemoveAll(InInfFolder(kForeignInf));
          RemoveAll(InInfFolder(kSameSizeInf));
      } },
    // Windows NT 4.0 and older have no DeletePrinterDriverExA.
    { "PurgeWithoutDeletePrinterDriverEx", "/PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "DeletePrinterDriverExA not available", "purged {drivers}\\3\\TarvGI.dll" },
      SnapshotThenInstallTwice, ExpectAsBefore, "GetProcAddress=127:DeletePrinterDriverEx" },
    // A purge finishes from any state: nothing there, or what a simple
    // deletion keeps, leaves the machine clean with 0.
    { "PurgeOnACleanMachine", "/UNINSTALL /PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "spooler: printer \"Corvan Tessik\" not opened, error 1801", "purge done" },
      [](Context &context) { context.snapshot = MachineSnapshot(); }, ExpectAsBefore },
    { "PurgeAfterASimpleDeletion", "/PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "service hwbridge deleted", "purged {drivers}\\TarvUI.dll", "purged {system}\\hwport.dll", "purge done" },
      [](Context &context) {
          context.snapshot = MachineSnapshot();
          InstallQuietly();
          ASSERT_EQ(RunSetup(SetupOptions("/QUIET /ONLYDELETEPRINTDEVICE", {})).exitCode, 0);
      },
      ExpectAsBefore },
    { "PurgeAfterAnUninstall", "/UNINSTALL /PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "spooler: printer \"Corvan Tessik\" not opened, error 1801", "service hwbridge deleted",
        "purged {windows}\\system32\\drivers\\hwbridge.sys", "purged {windows}\\inf\\tarv.inf",
        "purged {system}\\hwport.dll", "purge done" },
      [](Context &context) {
          context.snapshot = MachineSnapshot();
          InstallQuietly();
          ASSERT_EQ(RunSetup(SetupOptions("/QUIET /UNINSTALL", {})).exitCode, 0);
      },
      ExpectAsBefore },
    // A hwbridge service of another product (another binary path) survives.
    { "PurgeLeavesAForeignService", "/UNINSTALL /PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "service hwbridge left: it runs ", "purge done" },
      [](Context &context) {
          Probe({ "create-service", "hwbridge", "C:\\other\\hwbridge.sys" });
          context.snapshot = MachineSnapshot();
      },
      [](const Context &context) {
          ExpectAsBefore(context);
          EXPECT_NE(ServiceLine().find("exists=1"), std::string::npos) << ServiceLine();
          Probe({ "delete-service", "hwbridge" });
      } },
    // A file of the model's name that another driver lists stays.
    { "PurgeKeepsAFileAnotherDriverLists", "/UNINSTALL /PURGE", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "kept {system}\\hwport.dll: driver \"Tarv Test Sharing\" lists a file of that name",
        "purged {system}\\tarvcomm.exe" },
      [](Context &) {
          InstallQuietly();
          std::string added = Probe({ "add-driver", kSharingDriver, "TarvTestGI.dll", "TarvTest.ini",
                                      "TarvTestUI.dll", "-", "hwport.dll" });
          ASSERT_NE(added.find("ADD-DRIVER 1"), std::string::npos) << added;
      },
      [](const Context &) {
          EXPECT_TRUE(FileExists(InSystemFolder("hwport.dll")));
          EXPECT_FALSE(FileExists(InSystemFolder("tarvcomm.exe")));
          EXPECT_EQ(ServiceLine().find("exists=1"), std::string::npos);
      } },
    // Without the spooler's list of drivers nothing tells which files another
    // driver shares: every file stays, and the purge fails.
    { "PurgeWhenTheDriversCannotBeListedKeepsTheirFiles", "/UNINSTALL /PURGE", 1603,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "spooler: the other drivers cannot be listed, error 1722; every file another may share is kept",
        "kept {drivers}\\3\\TarvUI.dll: another driver may list it",
        "kept {system}\\hwport.dll: another driver may list it" },
      [](Context &) { InstallQuietly(); },
      [](const Context &) {
          EXPECT_TRUE(FileExists(InDriverFolder("3/TarvUI.dll")));
          EXPECT_TRUE(FileExists(InDriverFolder("3/TarvGI.dll")));
          EXPECT_TRUE(FileExists(InSystemFolder("hwport.dll")));
      },
      "EnumPrinterDriversA=1722" },
    // The setup library refuses to let the INF go (devices use it): it stays, with its .pnf.
    { "PurgeKeepsTheInfTheSetupLibraryRefuses", "/UNINSTALL /PURGE", 1603,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "setup library: SetupUninstallOEMInfA tarv.inf: failed, error 3758096957; the INF is kept",
        "purged {drivers}\\3\\TarvUI.dll" },
      [](Context &) { InstallQuietly(); },
      [](const Context &) {
          EXPECT_TRUE(FileExists(InInfFolder("tarv.inf")));
          EXPECT_TRUE(FileExists(InInfFolder("tarv.pnf")));
          EXPECT_FALSE(FileExists(InSystemFolder("hwport.dll")));
      },
      "SetupUninstallOEMInfA=3758096957" },
    // A file the spooler lists for the model outside its version folders (the
    // registration names "3\..\..\Tarvf.hlp") is not ours to delete.
    { "PurgeLeavesAListedFileOutsideTheVersionFolders", "/UNINSTALL /PURGE", 0,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "left {drivers}\\3\\..\\..\\Tarvf.hlp: not in a version folder of {drivers}",
        "purged {drivers}\\3\\Tarvf.hlp" },
      [](Context &) {
          InstallQuietly();
          WriteFile(InDriverFolder("../Tarvf.hlp"), "another's help");
          std::string key = "HKLM\\System\\CurrentControlSet\\Control\\Print\\Environments\\"
                            + Field(DriverLine(), "env") + "\\Drivers\\Version-3\\" + kModel;
          ASSERT_EQ(RunWine({ "reg", "add", key, "/v", "Help File", "/d", "..\\..\\Tarvf.hlp", "/f" }), 0) << key;
          ASSERT_NE(DriverLine().find("\\3\\..\\..\\Tarvf.hlp"), std::string::npos) << DriverLine() << key;
      },
      [](const Context &) {
          EXPECT_EQ(ReadFile(InDriverFolder("../Tarvf.hlp")), "another's help");
          RemoveAll(InDriverFolder("../Tarvf.hlp"));
      } },
    // A service that refuses to stop is no service that was not running: it
    // goes at the next restart, 3010.
    { "PurgeOfAServiceThatWillNotStopEndsWith3010", "/UNINSTALL /PURGE", 3010,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" }, { "IDS_RESTART_NEEDED", "OK" } },
      { "service hwbridge: not stopped after 3000 ms (state 4)",
        "service hwbridge marked for deletion: it goes at the next restart" },
      [](Context &) { InstallQuietly(); }, nullptr, "ControlService=5" },
    // A service that will not stop goes at the next restart, even when its
    // file goes now (the driver stopped as far as the file knows): 3010.
    { "PurgeOfAServiceThatWillNotStopAndAFileThatGoesEndsWith3010", "/UNINSTALL /PURGE", 3010,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" }, { "IDS_RESTART_NEEDED", "OK" } },
      { "service hwbridge: not stopped after 3000 ms (state 4)", "purged {windows}\\system32\\drivers\\hwbridge.sys" },
      [](Context &) {
          InstallQuietly();
          Probe({ "stop-service", "hwbridge" });
      },
      [](const Context &) {
          EXPECT_FALSE(FileExists(KernelDriverFile()));
          EXPECT_EQ(Probe({ "pending-renames" }).find("hwbridge"), std::string::npos);
      },
      "ControlService=5,QueryServiceStatus=4" },
    // Without the Windows folder neither the kernel driver nor the INF folder can be found.
    { "PurgeWithoutTheWindowsFolderFails", "/UNINSTALL /PURGE", 1603, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "kernel driver: no path, error 5" },
      [](Context &) { InstallQuietly(); },
      [](const Context &) {
          EXPECT_EQ(LinesHolding("the INF folder cannot be read, error 5"), 1u) << ReadFile(LogPath());
          for (const std::string &line : LogLines(LogPath()))
              if (line.find("the INF folder") != std::string::npos)
                  EXPECT_EQ(line, "the INF folder cannot be read, error 5");
      },
      "GetWindowsDirectoryA=5" },
    // A file in use goes at the next restart: 3010.
    { "PurgeOfAFileInUseEndsWith3010", "/UNINSTALL /PURGE", 3010,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" }, { "IDS_RESTART_NEEDED", "OK" } },
      { "scheduled {drivers}\\3\\TarvUI.dll for deletion at the next "
        "restart: in use, error 32" },
      [](Context &context) {
          InstallQuietly();
          HoldFile(context, InDriverFolder("3/TarvUI.dll"));
      },
      [](const Context &) {
          std::string pending = Probe({ "pending-renames" });
          EXPECT_NE(pending.find(InFolders("from=\"\\??\\{drivers}\\3\\TarvUI.dll\" to=\"\"")), std::string::npos)
              << pending;
          // The spooler lists the file twice (driver and dependent file): one attempt, one line.
          EXPECT_EQ(LinesHolding("TarvUI.dll for deletion"), 1u) << ReadFile(LogPath());
          EXPECT_FALSE(FileExists(InDriverFolder("3/TarvGI.dll")));
      } },
    // The driver's data file too: the purge leaves it to the restart, 3010.
    { "PurgeOfADataFileInUseEndsWith3010", "/UNINSTALL /PURGE", 3010,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" }, { "IDS_RESTART_NEEDED", "OK" } },
      { "delete failed {drivers}\\3\\Tarv.ini (the driver's data file): error 32",
        "scheduled {drivers}\\3\\Tarv.ini for deletion at the next restart: in use, error 32" },
      [](Context &context) {
          InstallQuietly();
          HoldFile(context, InDriverFolder("3/Tarv.ini"));
      },
      [](const Context &) {
          std::string pending = Probe({ "pending-renames" });
          EXPECT_NE(pending.find(InFolders("from=\"\\??\\{drivers}\\3\\Tarv.ini\" to=\"\"")), std::string::npos)
              << pending;
      } },
    // The driver's data file already gone is what the deletion wants: 0.
    { "DataFileAlreadyGoneIsNoFailure", "/UNINSTALL", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "delete failed {drivers}\\3\\Tarv.ini (the driver's data file): error 2" },
      [](Context &) {
          InstallQuietly();
          RemoveAll(InDriverFolder("3/Tarv.ini"));
      },
      [](const Context &) { EXPECT_EQ(QueueLine(), ""); } },
    // "/VERIFY" compares the machine with what a complete setup from these
    // media leaves, changes nothing (the snapshot after it is the one before)
    // and asks nothing: 0 the same, 1 not installed, 2 different.
    { "VerifyAfterASetupFindsItTheSame", "/VERIFY", 0, { { "IDS_VERIFY_SAME", "OK" } },
      { "action: verification; platform: Windows XP", "verify: queue \"Corvan Tessik\" on port LPT1:",
        "verify: as these media install it" },
      [](Context &context) {
          InstallQuietly();
          context.snapshot = MachineSnapshot();
      },
      [](const Context &context) {
          ExpectAsBefore(context);
          EXPECT_EQ(LinesHolding("verify: "), 3u) << ReadFile(LogPath());
      } },
    { "VerifyOnACleanMachineFindsNothing", "/VERIFY", 1, { { "IDS_VERIFY_NOT_INSTALLED", "OK" } },
      { "verify: Corvan Tessik: no queue", "verify: Corvan Tessik: no driver registration",
        "verify: {drivers}\\TarvUI.dll: missing", "verify: not installed" },
      [](Context &context) { context.snapshot = MachineSnapshot(); }, ExpectAsBefore },
    { "VerifyAfterTheQueueWasDeletedByHand", "/VERIFY", 2, { { "IDS_VERIFY_DIFFERS", "OK" } },
      { "verify: Corvan Tessik: no queue", "verify: 1 difference(s)" },
      [](Context &context) {
          InstallQuietly();
          Probe({ "delete-printer", kModel });
          context.snapshot = MachineSnapshot();
      },
      ExpectAsBefore },
    { "VerifyAfterADriverFileChanged", "/VERIFY", 2, { { "IDS_VERIFY_DIFFERS", "OK" } },
      { "verify: {drivers}\\3\\TarvUI.dll: not the media's file", "verify: 1 difference(s)" },
      [](Context &context) {
          InstallQuietly();
          WriteFile(InDriverFolder("3/TarvUI.dll"), "changed");
          context.snapshot = MachineSnapshot();
      },
      ExpectAsBefore },
    // On a share, a log that another computer's account made is appended to
    // (the injector makes Z: a network drive); on a local disk it is moved
    // aside, since a local user could have planted it.
    { "LogOfAnotherAccountOnAShareIsAppendedTo", "/VERIFY", 1, { { "IDS_VERIFY_NOT_INSTALLED", "OK" } },
      { "verify: not installed" }, ForeignLog,
      [](const Context &) { EXPECT_EQ(LinesHolding("moved to"), 0u) << ReadFile(LogPath()); }, "GetDriveTypeA=4:Z:" },
    { "LogOfAnotherAccountOnALocalDiskIsMovedAside", "/VERIFY", 1, { { "IDS_VERIFY_NOT_INSTALLED", "OK" } },
      { ": not a plain file of a trusted owner; moved to " }, ForeignLog, nullptr },
    // The media's bytes and one more are another file.
    { "VerifyAfterADriverFileGrewByOneByte", "/VERIFY", 2, { { "IDS_VERIFY_DIFFERS", "OK" } },
      { "verify: {drivers}\\3\\TarvUI.dll: not the media's file", "verify: 1 difference(s)" },
      [](Context &context) {
          InstallQuietly();
          WriteFile(InDriverFolder("3/TarvUI.dll"), MediaFile("Nt2000/TarvUI.dll") + "x");
          context.snapshot = MachineSnapshot();
      },
      ExpectAsBefore },
    // A restart stops the demand-start driver: it is installed all the same.
    { "VerifyAfterARestartFindsItTheSame", "/VERIFY", 0, { { "IDS_VERIFY_SAME", "OK" } },
      { "verify: note: hwbridge is stopped, as a demand-start driver is after a restart",
        "verify: as these media install it" },
      [](Context &context) {
          InstallQuietly();
          RestartWine();
          context.snapshot = MachineSnapshot();
      },
      ExpectAsBefore },
    // A check that cannot be made is no answer: 1603.
    { "VerifyWithoutTheSpoolersDriversFails", "/VERIFY", 1603, { { "IDS_VERIFY_FAILED", "OK" } },
      { "verify: the spooler's drivers cannot be listed: error 1722", "verify: the check could not be made" },
      [](Context &) { InstallQuietly(); }, nullptr, "EnumPrinterDriversA=1722" },
    // A quiet complete deletion goes on from any state, and ends with 0 when
    // nothing of what it removes is left: no queue, no driver registration,
    // none of the marked files.
    { "DeletionOnACleanMachineEndsWith0", "/UNINSTALL", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "spooler: printer \"Corvan Tessik\" not opened, error 1801", "already gone {drivers}\\Tarvf.hlp",
        "complete deletion done from what was left" },
      nullptr, ExpectNothingInstalled },
    { "DeletionAfterTheQueueAndDriverWentByHand", "/UNINSTALL", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "spooler: printer \"Corvan Tessik\" not opened, error 1801", "deleted {drivers}\\Tarvf.hlp",
        "complete deletion done from what was left" },
      [](Context &) {
          InstallQuietly();
          Probe({ "delete-printer", kModel, "delete-driver", kModel });
      },
      [](const Context &) {
          EXPECT_EQ(QueueLine(), "");
          EXPECT_EQ(DriverLine(), "");
          EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp")));
          EXPECT_FALSE(FileExists(InDriverFolder("Tarva.hlp")));
      } },
    // Never past a queue that is there but cannot be opened: the driver and its files stay.
    { "QueueThatCannotBeOpenedStopsTheDeletion", "/UNINSTALL", 1603,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" }, { "IDS_DELETE_STEP1", "OK" } },
      { "spooler: printer \"Corvan Tessik\" not opened, error 5" }, [](Context &) { InstallQuietly(); },
      [](const Context &) {
          ExpectInstalledOn("LPT1:");
          EXPECT_TRUE(FileExists(InDriverFolder("Tarvf.hlp"))) << ReadFile(LogPath());
      },
      "OpenPrinterA=5" },
    { "MarkedFileAlreadyGoneIsNoFailure", "/UNINSTALL", 0, { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" } },
      { "already gone {drivers}\\Tarva.hlp", "complete deletion done" },
      [](Context &) {
          InstallQuietly();
          RemoveAll(InDriverFolder("Tarva.hlp"));
      },
      [](const Context &) { EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp"))); } },
    // What it cannot remove is a real miss: reported, 1603, and the rest goes.
    { "FileNotDeletedGoesOn", "/UNINSTALL", 1603,
      { { "IDS_CONFIRM_COMPLETE_DELETION", "Yes" }, { "IDS_FILE_NOT_DELETED", "OK" } },
      { "delete failed {drivers}\\Tarva.hlp: error 32" },
      [](Context &context) {
          InstallQuietly();
          HoldFile(context, InDriverFolder("Tarva.hlp"));
      },
      [](const Context &) { EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp"))); } },
    { "FormNotDeletedGoesOn", "/ONLYDELETEPRINTDEVICE", 1603,
      { { "IDS_CONFIRM_SIMPLE_DELETION", "Yes" }, { "IDS_FORM_NOT_DELETED", "OK" } },
      { "spooler: form \"Tarv Card\" deleted: failed, error 5", "spooler: driver \"Corvan Tessik\" deleted" },
      [](Context &) { InstallQuietly(); },
      [](const Context &) {
          EXPECT_EQ(QueueLine(), "");
          EXPECT_EQ(DriverLine(), "");
          EXPECT_TRUE(FileExists(InDriverFolder("TarvUI.dll")));
      },
      "DeleteFormA=5" },
    { "ReplaceQuestionTakesTheDefaultAnswer", "", 0, {},
      { "replace question for ", ": answered Yes (the entry's default answer)", ": answered No (the entry's default answer)" },
      [](Context &context) {
          for (const char *name : { "yes.txt", "no.txt", "none.txt" }) {
              WriteFile(context.media + "/drivers/Test/" + name, "new");
              WriteFile(context.target + "/" + name, "old");
          }
      },
      [](const Context &context) {
          EXPECT_EQ(ReadFile(context.target + "/yes.txt"), "new");
          EXPECT_EQ(ReadFile(context.target + "/no.txt"), "old");
          EXPECT_EQ(ReadFile(context.target + "/none.txt"), "old");
      },
      nullptr, "winxp", { "ask1,Test\\,yes.txt", "ask2,Test\\,no.txt", "ask0,Test\\,none.txt" } },
    { "FileFactsUnknownKeepTheFile", "", 1603, { { "IDS_FACTS_UNKNOWN", "OK" } },
      { "kept ", "the facts of a file cannot be read" },
      [](Context &context) { WriteFile(context.target + "/gone.txt", "old"); },
      [](const Context &context) { EXPECT_EQ(ReadFile(context.target + "/gone.txt"), "old"); }, nullptr, "winxp",
      { "ask1,Test\\,gone.txt" } },
    { "PathTooLongStops", "", 1603, { { "IDS_PATH_TOO_LONG", "OK" }, { "IDS_COPY_FAILED", "No" } },
      { "copy failed for long.txt: a path does not fit" },
      [](Context &context) {
          WriteFile(context.media + "/drivers/Test/long.txt", "new");
          context.target += "/" + std::string(480, 'd');
      },
      nullptr, nullptr, "winxp", { "always,Test\\,long.txt" } },
};

class Quiet : public CleanMachineRows {
protected:

    // Runs a row in one language and checks everything it promises.
    static void RunRow(const Row &row, const Language &language)
    {
        SCOPED_TRACE(language.locale);
        CleanInstallState();
        FreshQuietFolder();
        Context context;
        Options options;
        if (row.deploy.empty()) {
            std::string logSwitch = "/LOG=" + WinPath(LogPath());
            std::string tail = row.tail;
            size_t at = tail.find("{log}");
            if (at != std::string::npos)
                tail.replace(at, 5, logSwitch);
            else
                tail = logSwitch + " " + tail;
            options = SetupOptions(std::string(strstr(row.tail, "/QUIET") ? "" : "/QUIET ") + tail, {});
            options.tailFromFile = tail.find_first_of("\r\n") != std::string::npos;
            context.media = options.media;
        } else {
            context.media = WorkRoot() + "/quiet/deploy";
            context.target = context.media + "/target";
            fs::create_directories(context.media + "/drivers/Test");
            fs::create_directories(context.target);
        }
        if (row.prepare)
            row.prepare(context);
        if (!context.skip.empty())
            GTEST_SKIP() << context.skip;
        if (!row.deploy.empty()) {
            options.program = ToolsBin() + "/deploytest.exe";
            options.cwd = context.media;
            options.tail = "--quiet " + WinPath(LogPath()) + " " + WinPath(context.target) + " "
                           + WinPath(context.media + "/result.txt");
            for (const std::string &item : row.deploy)
                options.tail += " " + item;
        }
        options.version = row.version;
        options.locale = language.locale;
        if (row.faults) {
            options.injectAtStart = true;
            options.env["TARV_FAULTS"] = row.faults;
        }
        if (row.dllOverrides)
            options.env["WINEDLLOVERRIDES"] = std::string("winedbg.exe=d;") + row.dllOverrides;
        Outcome run = RunSetup(options);
        if (context.afterRun)
            context.afterRun();

        EXPECT_TRUE(run.windows.empty() && run.mainTitles.empty()) << "a window was seen\n" << run.Describe();
        int exitCode = run.exitCode;
        if (!row.deploy.empty()) {
            std::string result = ReadFile(context.media + "/result.txt");
            size_t at = result.find("EXIT ");
            exitCode = at == std::string::npos ? -1 : std::stoi(result.substr(at + 5));
        }
        EXPECT_EQ(exitCode, row.exitCode) << run.Describe();

        std::vector<std::string> lines = LogLines(LogPath());
        std::vector<std::string> said;
        for (const std::string &line : lines)
            if (line.rfind("message ", 0) == 0)
                said.push_back(line);
        ASSERT_EQ(said.size(), row.messages.size()) << ReadFile(LogPath());
        for (size_t i = 0; i < said.size(); i++)
            EXPECT_TRUE(std::regex_match(said[i], MessagePattern(row.messages[i], language.file)))
                << said[i] << "\nexpected " << row.messages[i].id << " answered " << row.messages[i].answer;
        for (const char *part : row.lines)
            EXPECT_TRUE(Holds(lines, InFolders(part))) << "no line with \"" << InFolders(part) << "\" in\n"
                                                         << ReadFile(LogPath());
        if (row.lineCount)
            EXPECT_EQ(lines.size(), row.lineCount) << ReadFile(LogPath());
        if (row.deploy.empty()) {
            ASSERT_FALSE(lines.empty());
            EXPECT_NE(lines.front().find(" started; mode: "), std::string::npos) << lines.front();
            EXPECT_EQ(lines.back(), "Setup.exe ended; exit code " + std::to_string(row.exitCode));
        }
        if (row.check)
            row.check(context);
    }
};

}  // namespace

TEST_P(Quiet, AnswersItsQuestionsAndLogsTheRun)
{
    const Row &row = kRows[GetParam()];
    for (const Language &language : kLanguages)
        RunRow(row, language);
}

INSTANTIATE_TEST_SUITE_P(Rows, Quiet, ::testing::Range<size_t>(0, sizeof kRows / sizeof kRows[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kRows[info.param].name; });

// Without the token array nothing is parsed, but the log, found without it,
// still says why the run ends.
TEST(QuietRun, StartUpFailureEndsWith1603AndChangesNothing)
{
    CleanInstallState();
    FreshQuietFolder();
    Options options = SetupOptions("/QUIET /UNINSTALL /LOG=" + WinPath(LogPath()), {});
    options.injectAtStart = true;
    options.env["TARV_FAULTS"] = "GlobalAlloc=8";
    Outcome run = RunSetup(options);
    EXPECT_TRUE(run.windows.empty() && run.mainTitles.empty()) << run.Describe();
    EXPECT_EQ(run.exitCode, 1603);
    std::vector<std::string> lines = LogLines(LogPath());
    ASSERT_EQ(lines.size(), 3u) << ReadFile(LogPath());
    EXPECT_NE(lines[0].find("action: unknown, the command line cannot be read; platform: none"), std::string::npos)
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], MessagePattern({ "IDS_NO_MEMORY", "OK" }, "en-US.rc"))) << lines[1];
    EXPECT_EQ(lines[2], "Setup.exe ended; exit code 1603");
}

// A command line too long for one log line is cut, never the fixed fields:
// mode, action and platform come first, and the cut line says it was cut.
TEST(QuietRun, ALongCommandLineIsCutAfterTheFixedFields)
{
    FreshQuietFolder();
    std::string word = "/" + std::string(2000, 'W');
    Outcome run = RunSetup(SetupOptions("/QUIET /LOG=" + WinPath(LogPath()) + " " + word, {}));
    EXPECT_EQ(run.exitCode, 87) << run.Describe();
    std::vector<std::string> lines = LogLines(LogPath());
    ASSERT_FALSE(lines.empty()) << ReadFile(LogPath());
    EXPECT_NE(lines.front().find(" started; mode: quiet; action: usage; platform: none; command line: "),
              std::string::npos) << lines.front();
    EXPECT_EQ(lines.front().substr(lines.front().size() - 6), " [cut]") << lines.front();
    EXPECT_EQ(lines.back(), "Setup.exe ended; exit code 87");
}

// Two setups started at the same moment: one does the work, the other
// changes nothing and says why.
TEST(QuietRun, TwoSetupsStartedTogetherOneWorksTheOtherEndsWith1618)
{
    CleanInstallState();
    FreshQuietFolder();
    Options options = SetupOptions("/QUIET /PORT=LPT1: /LOG=" + WinPath(LogPath()), {});
    options.twice = true;
    Outcome run = RunSetup(options);
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    std::multiset<int> codes = { run.exitCode, run.secondExitCode };
    EXPECT_EQ(codes, (std::multiset<int>{ 0, 1618 })) << run.Describe() << ReadFile(LogPath());
    ExpectInstalledOn("LPT1:");
    EXPECT_EQ(Field(ServiceLine(), "state"), "4");
    EXPECT_TRUE(FileExists(InSystemFolder("hwport.dll")));
    std::vector<std::string> lines = LogLines(LogPath());
    EXPECT_TRUE(Holds(lines, "\\TarvSetup.lck: held by another run of Setup.exe"))
        << ReadFile(LogPath());
    // Both runs append to one log: no line of either may overwrite the other's,
    // and each run's lines carry its process id, its first line to its last.
    std::map<std::string, std::vector<std::string>> byProcess;
    std::istringstream raw(ReadFile(LogPath()));
    static const std::regex field("^\\S+ \\S+ \\[(\\d+)\\] (.*?)\\r?$");
    std::smatch match;
    for (std::string line; std::getline(raw, line);)
        if (std::regex_match(line, match, field))
            byProcess[match[1]].push_back(match[2]);
    ASSERT_EQ(byProcess.size(), 2u) << ReadFile(LogPath());
    std::vector<std::string> ends;
    for (const auto &run : byProcess) {
        EXPECT_NE(run.second.front().find(" started; mode: quiet"), std::string::npos) << ReadFile(LogPath());
        ends.push_back(run.second.back());
        bool busy = run.second.back() == "Setup.exe ended; exit code 1618";
        EXPECT_EQ(Holds(run.second, "\\TarvSetup.lck: held by another run"), busy)
            << ReadFile(LogPath());
    }
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, (std::vector<std::string>{ "Setup.exe ended; exit code 0", "Setup.exe ended; exit code 1618" }));
    CleanInstallState();
}

// What another program holds under the names of the old named locks (an
// event, a mutex), or an interactive run standing at its confirmation, keeps
// no run out: the lock is a file only administrators can make, taken after
// the confirmation.
TEST(QuietRun, NoNamedObjectNorAnOpenConfirmationKeepsARunOut)
{
    CleanInstallState();
    FreshQuietFolder();
    std::thread event([] { Probe({ "hold-event", "Global\\TarvDriverSetupRun", "6000" }); });
    std::thread mutex([] { Probe({ "hold-mutex", "Global\\TarvDriverSetupLog", "6000" }); });
    // One that no one else may open (an empty DACL), named like the Windows 9x lock.
    std::thread locked([] { Probe({ "hold-locked-mutex", "TarvDriverSetupRun", "6000" }); });
    Options interactive;
    interactive.media = MakeMedia("waiting");
    interactive.tail = "/UNINSTALL";
    interactive.answers = { "wait 5000;click 7" };
    Outcome waiting;
    std::thread confirmation([&] { waiting = RunSetup(interactive); });
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    Outcome run = RunSetup(SetupOptions("/QUIET /PORT=LPT1: /LOG=" + WinPath(LogPath()), {}));
    confirmation.join();
    event.join();
    mutex.join();
    locked.join();
    EXPECT_EQ(run.exitCode, 0) << run.Describe() << ReadFile(LogPath());
    ASSERT_FALSE(waiting.windows.empty()) << waiting.Describe();
    EXPECT_NE(waiting.At(0).MessageText().find("Please confirm complete deletion"), std::string::npos)
        << waiting.Describe();
    ExpectInstalledOn("LPT1:");
    // The lines of a log take turns by a lock of the file itself: none waited.
    std::vector<std::string> lines = LogLines(LogPath());
    EXPECT_EQ(lines.back(), "Setup.exe ended; exit code 0");
    CleanInstallState();
}

// An interactive run started while a quiet one holds the lock (paused before
// its first spooler call) takes the lock after its confirmation, says so and
// changes nothing; the quiet run then finishes its work.
TEST(QuietRun, InteractiveRunWhileAQuietOneWorksChangesNothing)
{
    CleanInstallState();
    FreshQuietFolder();
    std::string ready = WorkRoot() + "/quiet/paused", release = WorkRoot() + "/quiet/go-on";
    Options quietOptions = SetupOptions("/QUIET /PORT=LPT1:", {});
    quietOptions.injectAtStart = true;
    quietOptions.env = { { "TARV_PAUSE_AT", "EnumPortsA" }, { "TARV_PAUSE_READY", WinPath(ready) },
                         { "TARV_PAUSE_UNTIL", WinPath(release) } };
    Outcome quiet;
    std::thread worker([&] { quiet = RunSetup(quietOptions); });
    for (int waited = 0; waited < 30000 && !FileExists(ready); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(FileExists(ready)) << "the quiet run never reached its first spooler call";

    Options interactive;
    interactive.media = MakeMedia("busy");
    interactive.tail = "/UNINSTALL /LOG=" + WinPath(LogPath());
    interactive.answers = { "click 6", "click 1" };
    Outcome busy = RunSetup(interactive);
    WriteFile(release, "");
    worker.join();

    ASSERT_EQ(busy.windows.size(), 2u) << busy.Describe();
    EXPECT_EQ(busy.At(1).title, "Tarv Driver setup failure");
    EXPECT_EQ(busy.At(1).MessageText(), "Another setup of Tarv Driver is already running on this computer.\r\n"
                                        "Please wait until it has ended, then start this one again.");
    EXPECT_EQ(busy.At(1).owner, "main");
    EXPECT_EQ(busy.exitCode, 1);
    std::vector<std::string> lines = LogLines(LogPath());
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.front().find("mode: interactive; action: complete deletion"), std::string::npos);
    EXPECT_TRUE(Holds(lines, "\\TarvSetup.lck: held by another run of Setup.exe")) << ReadFile(LogPath());
    EXPECT_EQ(lines.back(), "Setup.exe ended; exit code 1");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.Describe();
    ExpectInstalledOn("LPT1:");
    CleanInstallState();
}

// A command line too long for a log line is cut between whole characters,
// whichever byte the cut falls on.
TEST(QuietRun, LongJapaneseCommandLineIsCutBetweenWholeCharacters)
{
    std::string kanji;
    for (int i = 0; i < 1100; i++)
        kanji += "\xe6\x97\xa5";  // U+65E5, two bytes in code page 932: longer than a log line
    for (const char *padding : { "", "x" }) {
        SCOPED_TRACE(std::string("padding \"") + padding + "\"");
        FreshQuietFolder();
        std::string word = std::string("/X") + padding + kanji;
        std::string tail;
        ASSERT_TRUE(catalogue::ToCodePage("CP932", "/QUIET /LOG=" + WinPath(LogPath()) + " " + word, &tail));
        Options options = SetupOptions(tail, {});
        options.tailFromFile = true;
        options.locale = "ja_JP.UTF-8";
        Outcome run = RunSetup(options);
        EXPECT_EQ(run.exitCode, 87) << run.Describe();
        std::vector<std::string> lines = LogLines(LogPath());
        ASSERT_EQ(lines.size(), 4u) << ReadFile(LogPath());
        for (size_t i : { 0, 1 }) {
            size_t at = lines[i].find("/X");
            ASSERT_NE(at, std::string::npos) << lines[i];
            std::string logged = lines[i].substr(at);
            ASSERT_GT(logged.size(), 6u);
            EXPECT_EQ(logged.substr(logged.size() - 6), " [cut]") << "a cut line without its mark";
            logged.resize(logged.size() - 6);
            EXPECT_GT(logged.size(), 1500u);
            EXPECT_LT(logged.size(), word.size());
            EXPECT_EQ(word.compare(0, logged.size(), logged), 0) << "not a whole-character prefix: ..."
                                                                 << logged.substr(logged.size() - 12);
        }
    }
}

TEST(QuietRun, LogThatCannotBeOpenedStopsAQuietRunButNotAnInteractiveOne)
{
    CleanInstallState();
    std::string missing = WinPath(WorkRoot() + "/quiet/no-such-folder/run.log");
    RemoveAll(WorkRoot() + "/quiet");
    Outcome quiet = RunSetup(SetupOptions("/QUIET /PORT=LPT1: /LOG=" + missing, {}));
    EXPECT_TRUE(quiet.windows.empty() && quiet.mainTitles.empty()) << quiet.Describe();
    EXPECT_EQ(quiet.exitCode, 1603);
    ExpectNothingInstalled(Context());

    Outcome interactive = RunSetup(SetupOptions("/UNINSTALL /LOG=" + missing, { "click 1", "click 7" }));
    ASSERT_EQ(interactive.windows.size(), 2u) << interactive.Describe();
    EXPECT_EQ(interactive.At(0).title, "Tarv Driver setup failure");
    EXPECT_EQ(interactive.At(0).MessageText(), "The log file " + missing
                                                   + " cannot be opened for reason 3.\r\nThis run goes on without a log.");
    EXPECT_EQ(interactive.At(1).MessageText().rfind("Please confirm complete deletion", 0), 0u);
    EXPECT_EQ(interactive.exitCode, 1);
}

// With only "/LOG=" added, an interactive run shows what it always shows.
TEST(QuietRun, InteractiveRunWithALogShowsTheSameDialogsAndLogsThem)
{
    CleanInstallState();
    FreshQuietFolder();
    Outcome run = RunSetup(SetupOptions("/LOG=" + WinPath(LogPath()),
                                        { "click 6", "select LPT1:;click 1", "click 1" }));
    ExpectCompleted(run);
    EXPECT_NE(PortDialog(run), nullptr);
    std::vector<std::string> lines = LogLines(LogPath());
    ASSERT_GT(lines.size(), 2u) << ReadFile(LogPath());
    EXPECT_TRUE(std::regex_match(lines[1], MessagePattern({ "IDS_CONFIRM_COMPLETE_SETUP", "Yes" }, "en-US.rc", false)))
        << lines[1];
    for (const char *part : { "mode: interactive; action: complete setup", "port LPT1:, chosen in the port dialog",
                              "copy ", "setup complete" })
        EXPECT_TRUE(Holds(lines, part)) << part << "\n" << ReadFile(LogPath());
    EXPECT_EQ(lines.back(), "Setup.exe ended; exit code 1");
    ExpectInstalledOn("LPT1:");
    CleanInstallState();
}

TEST(QuietRun, PortSwitchReplacesThePortDialogOnlyForAListedPort)
{
    CleanInstallState();
    Outcome listed = RunSetup(SetupOptions("/ONLYADDPRINTDEVICE /PORT=com2:", { "click 6", "click 1" }));
    ExpectCompleted(listed);
    EXPECT_EQ(PortDialog(listed), nullptr);
    ExpectInstalledOn("COM2:");
    CleanInstallState();

    Outcome unlisted = RunSetup(SetupOptions("/ONLYADDPRINTDEVICE /PORT=LPT9:", { "click 6", "select LPT2:;click 1", "click 1" }));
    ExpectCompleted(unlisted);
    EXPECT_NE(PortDialog(unlisted), nullptr);
    ExpectInstalledOn("LPT2:");
    CleanInstallState();
}

// Two runs one after the other leave both, complete; a relative path counts
// from the working folder at start, though the run changes it.
TEST(QuietRun, RunsAppendToTheLogNamedFromTheStartFolder)
{
    CleanInstallState();
    Options options = SetupOptions("/QUIET /PORT=LPT1: /LOG=relative.log", {});
    std::string log = options.media + "/relative.log";
    RunSetup(options);
    options.tail = "/QUIET /UNINSTALL /LOG=relative.log";
    Outcome second = RunSetup(options);
    EXPECT_EQ(second.exitCode, 0) << second.Describe();
    std::vector<std::string> starts, ends;
    for (const std::string &line : LogLines(log)) {
        if (line.find(" started; ") != std::string::npos)
            starts.push_back(line);
        if (line.rfind("Setup.exe ended", 0) == 0)
            ends.push_back(line);
    }
    ASSERT_EQ(starts.size(), 2u) << ReadFile(log);
    EXPECT_NE(starts[0].find("action: complete setup"), std::string::npos);
    EXPECT_NE(starts[1].find("action: complete deletion"), std::string::npos);
    EXPECT_EQ(ends, (std::vector<std::string>{ "Setup.exe ended; exit code 0", "Setup.exe ended; exit code 0" }));
    EXPECT_FALSE(FileExists(options.media + "/drivers/relative.log"));
    CleanInstallState();
}

// A log name that is a second link to another file (made by a user who wants
// the system account to write into that file) is moved aside, never
// written through: the other file stays as it was, and the run logs to a
// new file.
TEST(QuietRun, ALogThatIsASecondLinkIsMovedAsideNotWrittenThrough)
{
    // In code page 932 the last byte of "ソ" is that of a backslash: the log
    // goes aside beside itself all the same.
    for (const Language &language : kLanguages) {
        SCOPED_TRACE(language.locale);
        FreshQuietFolder();
        bool japanese = std::string(language.locale) == "ja_JP.UTF-8";
        std::string victim = WorkRoot() + "/quiet/victim.txt", log = WorkRoot() + "/quiet/" + (japanese ? "ソフト.log" : "run.log");
        WriteFile(victim, "not a log\r\n");
        fs::create_hard_link(victim, log);
        CleanInstallState();
        Options options = SetupOptions("/QUIET /PORT=LPT1: /LOG=" + WinPath(log), {});
        options.locale = language.locale;
        Outcome run = RunSetup(options);
        EXPECT_EQ(run.exitCode, 0) << run.Describe() << ReadFile(log);
        CleanInstallState();
        EXPECT_EQ(ReadFile(victim), "not a log\r\n");
        std::vector<std::string> lines = LogLines(log);
        ASSERT_GE(lines.size(), 2u) << ReadFile(log);
        EXPECT_NE(lines.front().find(" started; "), std::string::npos) << lines.front();
        EXPECT_NE(lines[1].find(": not a plain file of a trusted owner; moved to "), std::string::npos) << ReadFile(log);
        size_t asides = 0;
        for (const auto &entry : fs::directory_iterator(WorkRoot() + "/quiet"))
            asides += entry.path().filename().string().rfind("trv", 0) == 0;
        EXPECT_EQ(asides, 1u);
    }
}

// A folder only administrators can write on the NT family, where no user
// can make the file first.
TEST(QuietRun, WithoutALogSwitchItLogsToItsOwnFolder)
{
    std::string log = StateFolder() + "/TarvSetup.log";
    RemoveAll(log);
    Outcome run = RunSetup(SetupOptions("/QUIET /X", {}));
    EXPECT_EQ(run.exitCode, 87);
    std::vector<std::string> lines = LogLines(log);
    EXPECT_TRUE(Holds(lines, "not a switch on the command line: \"/X\"")) << ReadFile(log);
    RemoveAll(log);
}

// Run as the system account, a quiet run loads and installs what lies on the
// media: where others may write in its folders, it says so. Its start-up has
// also made sure that no critical-error box waits for a person.
TEST(QuietRun, StartUpSetsItsErrorModeAndWarnsOfMediaOthersCanWrite)
{
    CleanInstallState();
    FreshQuietFolder();
    Options options = SetupOptions("/QUIET /PORT=LPT1: /LOG=" + WinPath(LogPath()), {});
    std::string modeFile = WorkRoot() + "/quiet/error-mode.txt";
    options.injectAtStart = true;
    options.env["TARV_ERRORMODE_OUT"] = WinPath(modeFile);
    for (const std::string &folder : { options.media, options.media + "/drivers" })
        fs::permissions(folder, fs::perms::others_write, fs::perm_options::add);
    Outcome run = RunSetup(options);
    EXPECT_EQ(run.exitCode, 0) << run.Describe() << ReadFile(LogPath());
    // SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX
    EXPECT_EQ(ReadFile(modeFile), std::to_string(0x8003)) << run.Describe();
    std::vector<std::string> warnings;
    for (const std::string &line : LogLines(LogPath()))
        if (line.rfind("warning: ", 0) == 0)
            warnings.push_back(line);
    EXPECT_EQ(warnings, (std::vector<std::string>{ "warning: non-administrators can write in " + WinPath(options.media),
                                                   "warning: non-administrators can write in "
                                                       + WinPath(options.media + "/drivers") }))
        << ReadFile(LogPath());
    ExpectInstalledOn("LPT1:");
    CleanInstallState();
}

// Where appending means looking up the end first (Windows 9x), runs that
// share a log take turns. The first run stands in its first line, its turn
// had and the end looked up, while the second wants to write: the second
// waits, and no line overwrites another.
TEST(QuietRun, Windows9xRunsSharingALogTakeTurns)
{
    FreshQuietFolder();
    std::string writing = WorkRoot() + "/quiet/first-writes", release = WorkRoot() + "/quiet/go-on",
                waiting = WorkRoot() + "/quiet/second-waits";
    Options first = SetupOptions("/QUIET /X /LOG=" + WinPath(LogPath()), {});
    first.version = "win98";
    first.injectAtStart = true;
    Options second = first;
    first.env = { { "TARV_PAUSE_AT", "WriteFile" }, { "TARV_PAUSE_READY", WinPath(writing) },
                  { "TARV_PAUSE_UNTIL", WinPath(release) } };
    // The second run's first wait for its turn only marks the moment.
    second.env = { { "TARV_PAUSE_AT", "Sleep" }, { "TARV_PAUSE_READY", WinPath(waiting) },
                   { "TARV_PAUSE_UNTIL", WinPath(writing) } };
    Outcome firstRun, secondRun;
    std::thread firstThread([&] { firstRun = RunSetup(first); });
    for (int waited = 0; waited < 30000 && !FileExists(writing); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(FileExists(writing)) << "the first run never wrote a line";
    std::atomic<bool> secondEnded(false);
    std::thread secondThread([&] {
        secondRun = RunSetup(second);
        secondEnded = true;
    });
    for (int waited = 0; waited < 30000 && !FileExists(waiting) && !secondEnded; waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WriteFile(release, "");
    firstThread.join();
    secondThread.join();
    std::map<std::string, std::vector<std::string>> byProcess;
    std::istringstream raw(ReadFile(LogPath()));
    static const std::regex field("^\\S+ \\S+ \\[(\\d+)\\] (.*?)\\r?$");
    std::smatch match;
    for (std::string line; std::getline(raw, line);) {
        EXPECT_TRUE(std::regex_match(line, match, field)) << "a damaged line: " << line << "\n" << ReadFile(LogPath());
        if (std::regex_match(line, match, field))
            byProcess[match[1]].push_back(match[2]);
    }
    ASSERT_EQ(byProcess.size(), 2u) << ReadFile(LogPath());
    std::multiset<std::string> ends;
    for (const auto &one : byProcess) {
        EXPECT_NE(one.second.front().find(" started; mode: quiet; action: usage"), std::string::npos)
            << ReadFile(LogPath());
        ends.insert(one.second.back());
    }
    std::multiset<std::string> expected = { "Setup.exe ended; exit code " + std::to_string(firstRun.exitCode),
                                            "Setup.exe ended; exit code " + std::to_string(secondRun.exitCode) };
    EXPECT_EQ(ends, expected) << ReadFile(LogPath());
}

// An interactive "/VERIFY" asks nothing and shows its result in one box, in
// the language of the interface, naming the first differences; it changes
// nothing either.
TEST(QuietRun, InteractiveVerifyShowsTheFirstDifferencesInOneBox)
{
    CleanInstallState();
    InstallQuietly();
    Probe({ "delete-printer", kModel });
    WriteFile(InDriverFolder("3/TarvGI.dll"), "changed");
    std::string before = MachineSnapshot();
    for (const Language &language : kLanguages) {
        SCOPED_TRACE(language.locale);
        Options options = SetupOptions("/VERIFY", { "click 1" });
        options.locale = language.locale;
        Outcome run = RunSetup(options);
        ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
        std::map<std::string, std::string> texts = catalogue::Strings(TARV_SOURCE_DIR, language.file);
        EXPECT_EQ(run.At(0).title, texts.at("IDS_VERIFY_TITLE"));
        std::string format = texts.at("IDS_VERIFY_DIFFERS");
        EXPECT_EQ(run.At(0).MessageText(),
                  format.substr(0, format.find("%s")) + "\r\n\tCorvan Tessik\r\n\tTarvGI.dll" + format.substr(format.find("%s") + 2))
            << run.Describe();
        EXPECT_EQ(run.At(0).owner, "main");
    }
    EXPECT_EQ(MachineSnapshot(), before);
    CleanInstallState();
}
