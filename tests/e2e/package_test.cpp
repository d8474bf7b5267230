// The Windows Installer package (Tarv.msi) under Wine's msiexec: installs,
// upgrades and removals that run Setup.exe from the installed media, checked
// by their real exit codes and against the machine state, the registration
// and Setup.exe's log. The package is that of the architecture the tests run:
// the shipped i686 one, or the x64 package of the x86_64 twin.
#include <gtest/gtest.h>

#include <stdio.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "tests/e2e/install_env.h"

using namespace e2e;
using namespace install;

namespace fs = std::filesystem;

namespace {

const char kProduct[] = "Tarv Driver";

std::string Work() { return WorkRoot() + "/package"; }
std::string Builds() { return WorkRoot() + "/package-builds"; }  // kept across Clean()
std::string InstallFolderWin() { return ProgramFilesFolder() + "\\Tarv Driver"; }
std::string InstallFolder() { return UnixPath(InstallFolderWin()); }
std::string DefaultLogWin() { return WindowsFolder() + "\\system32\\LogFiles\\TarvSetup\\TarvSetup.log"; }

// msiexec through the robot, for its real exit code; the end of its verbose
// log joins the transcript.
Outcome Msiexec(const std::string &arguments)
{
    std::string verbose = Work() + "/msiexec.log";
    RemoveAll(verbose);
    Options options;
    options.media = options.cwd = Work();
    options.program = UnixPath(SystemFolder() + "\\msiexec.exe");
    options.tail = arguments + " /l*v " + WinPath(verbose);
    options.version = "";  // Setup.exe's own is set in SetUp
    Outcome run = RunSetup(options);
    std::string text = ReadFile(verbose);
    std::string ours;
    for (size_t at = text.find("Setup.exe: "); at != std::string::npos; at = text.find("Setup.exe: ", at + 1))
        ours += text.substr(at, text.find('\n', at) - at) + "\n";
    run.wineOutput += "--- msiexec's log, the custom actions' lines:\n" + ours + "--- msiexec's log, last part:\n"
                      + text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
    return run;
}

// The copy of Setup.exe a kept journal has beside it, which a rollback runs
// once Wine's msiexec has taken the installed media back.
std::string KeptCopyWin()
{
    return InFolders("{system}\\LogFiles\\TarvSetup\\TarvUndo.exe");
}

// What a failed check shows: the transcript, msiexec's log and Setup.exe's.
std::string Shown(const Outcome &run, const std::string &log)
{
    return run.Describe() + "--- Setup.exe's log:\n" + ReadFile(log);
}

// Add/Remove Programs entries of the product: ProductCode -> DisplayVersion.
std::map<std::string, std::string> Registered()
{
    std::string output;
    RunWine({ "reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s" }, &output);
    static const std::regex value("^\\s+(\\S+)\\s+REG_\\w+\\s+(.*?)\\r?$");
    std::map<std::string, std::map<std::string, std::string>> keys;
    std::istringstream in(output);
    std::string line, key;
    std::smatch match;
    while (std::getline(in, line)) {
        if (line.rfind("HKEY_", 0) == 0)
            key = line.substr(line.rfind('\\') + 1, line.find_last_not_of("\r") - line.rfind('\\'));
        else if (std::regex_match(line, match, value))
            keys[key][match[1]] = match[2];
    }
    std::map<std::string, std::string> products;
    for (auto &entry : keys)
        if (entry.second["DisplayName"] == kProduct)
            products[entry.first] = entry.second["DisplayVersion"];
    return products;
}

// The Setup.exe runs a log holds, each as its lines without the time stamps.
std::vector<std::vector<std::string>> Runs(const std::string &path)
{
    std::vector<std::vector<std::string>> runs;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        // Past the time stamp and the process id.
        size_t text = line.find("] ");
        line = text == std::string::npos ? line : line.substr(text + 2);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find(" started; mode: ") != std::string::npos || runs.empty())
            runs.emplace_back();
        runs.back().push_back(line);
    }
    return runs;
}

// A Setup.exe run from the installed media (or program) with this tail,
// holding these lines and ending with this code.
void ExpectRun(const std::vector<std::string> &run, const std::string &tail, const std::vector<std::string> &lines,
               int exitCode, const std::string &log, std::string program = "")
{
    std::string all;
    for (const std::string &line : run)
        all += line + "\n";
    if (program.empty())
        program = InstallFolderWin() + "\\Setup.exe";
    EXPECT_NE(all.find("; command line: \"" + program + "\" " + tail + "\n"), std::string::npos)
        << "expected the command line with " << tail << " in\n" << log;
    for (const std::string &part : lines)
        EXPECT_NE(all.find(part), std::string::npos) << "no \"" << part << "\" in\n" << log;
    if (exitCode >= 0)
        EXPECT_EQ(run.back(), "Setup.exe ended; exit code " + std::to_string(exitCode)) << log;
}

// The state of a quiet complete setup on the port, from the installed media.
void ExpectSetUp(const std::string &port)
{
    EXPECT_EQ(RawField(QueueLine(), "port"), port);
    EXPECT_NE(DriverLine(), "");
    EXPECT_EQ(Field(ServiceLine(), "state"), "4");
    EXPECT_TRUE(FileExists(InSystemFolder("hwport.dll")));
    EXPECT_TRUE(FileExists(InstallFolder() + "/Setup.exe"));
    for (const auto &entry : fs::recursive_directory_iterator(WinBin() + "/drivers"))
        EXPECT_TRUE(FileExists(InstallFolder() + "/drivers/" + fs::relative(entry.path(), WinBin() + "/drivers").string()))
            << entry.path() << " is not installed";
}

// That, and one product registered.
void ExpectInstalled(const std::string &port, const std::string &version)
{
    ExpectSetUp(port);
    std::map<std::string, std::string> products = Registered();
    ASSERT_EQ(products.size(), 1u) << "registered products: " << products.size();
    EXPECT_EQ(products.begin()->second, version);
}

void ExpectPackageGone()
{
    std::string left;
    if (FileExists(InstallFolder()))
        for (const auto &entry : fs::recursive_directory_iterator(InstallFolder()))
            left += " " + entry.path().string();
    EXPECT_FALSE(FileExists(InstallFolder())) << "left:" << left;
    EXPECT_TRUE(Registered().empty());
}

struct Row {
    const char *name;
    bool defaultLog;             // LOGFILE not given; else {log} stands for the test's log
    std::string install;         // msiexec properties of the install
    int installExit;             // msiexec's: Setup.exe's outcome
    std::string setupTail;       // Setup.exe's command line after its name
    std::vector<std::string> setupLines;
    int setupExit;
    std::string port;            // the queue's after the install
    void (*beforeRemoval)();
    std::string remove;          // msiexec properties of the removal
    std::string removalTail;
    int removalExit;             // Setup.exe's, -1 unchecked, and msiexec's
};

const Row kRows[] = {
    { "BuildDefaultsThenDeletion", true, "", 0, "/QUIET /PORT=" TARV_MSI_PORT " /LOG={log} /KEEPUNDO", {}, 0,
      TARV_MSI_PORT, nullptr, "", "/UNINSTALL /QUIET /LOG={log}", 0 },
    { "PropertiesThenPurge", false, "PORT=COM2: LOGFILE={log}", 0, "/QUIET /PORT=COM2: /LOG={log} /KEEPUNDO", {}, 0,
      "COM2:", nullptr, "PURGE=1 LOGFILE={log}", "/UNINSTALL /PURGE /QUIET /LOG={log}", 0 },
    // msiexec ends as Setup.exe did, and its own log says why.
    { "UnlistedPortFailsAndRollsBack", false, "PORT=LPT9: LOGFILE={log}", 1603,
      "/QUIET /PORT=LPT9: /LOG={log} /KEEPUNDO", { "port \"LPT9:\" of /PORT= is not listed by the spooler" }, 87, "",
      nullptr, "", "", 0 },
    // A deletion converges: after the queue was deleted by hand it removes
    // the rest, and ends with 0.
    { "QueueDeletedByHandStillRemoves", true, "", 0, "/QUIET /PORT=" TARV_MSI_PORT " /LOG={log} /KEEPUNDO", {}, 0,
      TARV_MSI_PORT, [] { Probe({ "delete-printer", kModel }); }, "", "/UNINSTALL /QUIET /LOG={log}", 0 },
};

class Package : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(TARV_MSI).empty())
            GTEST_SKIP() << "no package built: wixl and msitools were not found when the build was configured";
        // msiexec starts Setup.exe, so the robot cannot set its Windows version.
        RunWine({ "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\Setup.exe", "/v", "Version", "/d", "winxp", "/f" });
        Clean();
    }
    void TearDown() override
    {
        if (!IsSkipped())
            Clean();
    }
    static void Clean()
    {
        for (const auto &product : Registered())
            Msiexec("/x " + product.first + " /qn");
        CleanInstallState();
        // A port a rolled-back removal left behind would be taken for an installed one.
        RunWine({ "reg", "delete", "HKLM\\Software\\Corvan Tessik", "/f" });
        RemoveAll(InstallFolder());
        RemoveAll(UnixPath(DefaultLogWin()));
        RemoveAll(Work());
        fs::create_directories(Work());
    }
};

class PackageRow : public Package, public ::testing::WithParamInterface<size_t> {};

TEST_P(PackageRow, InstallsAndRemovesThroughSetupExe)
{
    const Row &row = kRows[GetParam()];
    std::string logWin = row.defaultLog ? DefaultLogWin() : WinPath(Work() + "/setup.log");
    std::string log = UnixPath(logWin);
    auto filled = [&](std::string text) {
        size_t at = text.find("{log}");
        return at == std::string::npos ? text : text.replace(at, 5, logWin);
    };
    std::string install = "/i " + WinPath(TARV_MSI) + " /qn " + filled(row.install);
    Outcome first = Msiexec(install);
    ASSERT_EQ(first.exitCode, row.installExit) << Shown(first, log);
    ASSERT_GE(Runs(log).size(), 1u) << Shown(first, log);
    ExpectRun(Runs(log)[0], filled(row.setupTail), row.setupLines, row.setupExit, ReadFile(log));
    if (row.installExit != 0) {
        // Setup.exe's lines of the failed run are in msiexec's log too.
        std::string verbose = ReadFile(Work() + "/msiexec.log");
        for (const std::string &part : row.setupLines)
            EXPECT_NE(verbose.find(part), std::string::npos) << "no \"" << part << "\" in\n" << verbose;
        EXPECT_NE(verbose.find("Setup.exe: ended with exit code " + std::to_string(row.setupExit)), std::string::npos)
            << verbose;
        EXPECT_EQ(QueueLine(), "");
        ExpectPackageGone();
        EXPECT_FALSE(FileExists(StateFolder() + "/TarvUndo.exe"));
        return;
    }
    ExpectInstalled(row.port, TARV_PRODUCT_VERSION);
    // The installation committed: Setup.exe ended the journal it kept.
    std::vector<std::vector<std::string>> runs = Runs(log);
    ASSERT_EQ(runs.size(), 2u) << Shown(first, log);
    ExpectRun(runs[1], filled("/COMMIT /QUIET /LOG={log}"), {}, 0, ReadFile(log));
    EXPECT_FALSE(FileExists(StateFolder() + "/TarvSetup.jnl"));
    EXPECT_FALSE(FileExists(StateFolder() + "/TarvUndo.exe"));

    // The same version again is already installed: Setup.exe does not run.
    Outcome again = Msiexec(install);
    EXPECT_EQ(again.exitCode, 0) << Shown(again, log);
    EXPECT_EQ(Runs(log).size(), 2u) << ReadFile(log);

    if (row.beforeRemoval)
        row.beforeRemoval();
    Outcome removal = Msiexec("/x " + WinPath(TARV_MSI) + " /qn " + filled(row.remove));
    EXPECT_EQ(removal.exitCode, row.removalExit) << Shown(removal, log);
    runs = Runs(log);
    ASSERT_EQ(runs.size(), 3u) << Shown(removal, log);
    ExpectRun(runs[2], filled(row.removalTail), {}, row.removalExit, ReadFile(log));
    ExpectPackageGone();
    // Nothing of ours: no queue, no driver, none of the files a complete deletion removes.
    EXPECT_EQ(QueueLine(), "");
    EXPECT_EQ(DriverLine(), "");
    EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp")));
}

INSTANTIATE_TEST_SUITE_P(Package, PackageRow, ::testing::Range<size_t>(0, sizeof kRows / sizeof kRows[0]),
                         [](const ::testing::TestParamInfo<size_t> &info) { return kRows[info.param].name; });

// The fixed time the build made its package with ("time N" in the package
// settings), or "" when it had none.
std::string BuildTime()
{
    std::istringstream settings(ReadFile(std::string(TARV_BUILD_DIR) + "/package/settings.txt"));
    for (std::string line; std::getline(settings, line);)
        if (line.rfind("time ", 0) == 0)
            return line.substr(5);
    return "";
}

// A package of these media made by the same script as the product's;
// failAfter ("setup" or "removal") makes the test-only one that fails there.
void BuildPackage(const std::string &version, const std::string &port, const std::string &media,
                  const std::string &out, const std::string &failAfter = "")
{
    std::string epoch = BuildTime();
    std::string command = (epoch.empty() ? "" : "SOURCE_DATE_EPOCH=" + epoch + " ") + "TARV_MSI_FAIL_AFTER='" + failAfter +
                          "' '" TARV_SOURCE_DIR "/package/build-msi.sh' " +
                          version + " " + port + " '" + media + "' '" + WinBin() + "/../package/TarvCA.dll' '" + out
                          + "' 2>&1";
    std::string output;
    FILE *script = popen(command.c_str(), "r");
    for (int c; script && (c = fgetc(script)) != EOF;)
        output += (char)c;
    ASSERT_TRUE(script && pclose(script) == 0) << command << "\n" << output;
}

// Media whose Tarv.ini says which version packaged them.
std::string OlderMedia(const std::string &version)
{
    std::string media = Builds() + "/media-" + version;
    RemoveAll(media);
    fs::create_directories(Builds());
    fs::copy(WinBin(), media, fs::copy_options::recursive);
    for (const auto &entry : fs::recursive_directory_iterator(media + "/drivers"))
        if (entry.path().filename() == "Tarv.ini")
            WriteFile(entry.path().string(), ReadFile(entry.path().string()) + "; packaged as " + version + "\r\n");
    return media;
}

// The setup of the installed media, as the package runs it, on port.
std::string SetupTail(const std::string &port)
{
    return "/QUIET /PORT=" + port + " /LOG=" + DefaultLogWin() + " /KEEPUNDO";
}
std::string CommitTail() { return "/COMMIT /QUIET /LOG=" + DefaultLogWin(); }

// A lower version, packaged by the same script from media whose Tarv.ini
// differs and with another default port, is replaced by Tarv.msi: its own
// Setup.exe deletion runs first, then the new setup from the new media, on
// the port the lower version's queue was on.
TEST_F(Package, HigherVersionReplacesALowerOneOnItsPort)
{
    std::string media = OlderMedia("0.9.0.0"), old = Builds() + "/Tarv-0.9.msi";
    BuildPackage("0.9.0.0", "COM3:", media, old);

    std::string log = UnixPath(DefaultLogWin());
    Outcome lower = Msiexec("/i " + WinPath(old) + " /qn");
    ASSERT_EQ(lower.exitCode, 0) << Shown(lower, log);
    ExpectInstalled("COM3:", "0.9.0.0");
    EXPECT_EQ(ReadFile(InDriverFolder("3/Tarv.ini")), ReadFile(media + "/drivers/Nt2000/Tarv.ini"));

    Outcome higher = Msiexec("/i " + WinPath(TARV_MSI) + " /qn");
    ASSERT_EQ(higher.exitCode, 0) << Shown(higher, log);
    ExpectInstalled("COM3:", TARV_PRODUCT_VERSION);
    EXPECT_EQ(ReadFile(InDriverFolder("Tarv.ini")), MediaFile("Nt2000/Tarv.ini"));
    EXPECT_EQ(ReadFile(InDriverFolder("3/Tarv.ini")), MediaFile("Nt2000/Tarv.ini"));
    std::vector<std::vector<std::string>> runs = Runs(log);
    ASSERT_EQ(runs.size(), 5u) << Shown(higher, log);
    ExpectRun(runs[2], "/UNINSTALL /QUIET /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log));
    ExpectRun(runs[3], SetupTail("COM3:"), {}, 0, ReadFile(log));
    ExpectRun(runs[4], CommitTail(), {}, 0, ReadFile(log));

    // The lower one cannot come back over it: its launch condition refuses.
    Outcome downgrade = Msiexec("/i " + WinPath(old) + " /qn");
    EXPECT_EQ(downgrade.exitCode, 1603) << Shown(downgrade, log);
    EXPECT_EQ(Runs(log).size(), 5u) << ReadFile(log);
    ExpectInstalled("COM3:", TARV_PRODUCT_VERSION);
}

// The same sources packaged again give the very same package: Windows
// Installer finds it installed (0) and runs nothing, where a package drawn
// with a new PackageCode would end with 1638.
TEST_F(Package, TheSamePackageBuiltAgainFindsItselfInstalled)
{
    if (BuildTime().empty())
        GTEST_SKIP() << "no build time was fixed when the build was configured (no SOURCE_DATE_EPOCH, no commit)";
    std::string again = Builds() + "/Tarv-again.msi";
    BuildPackage(TARV_PRODUCT_VERSION, TARV_MSI_PORT, WinBin(), again);
    EXPECT_EQ(ReadFile(again), ReadFile(TARV_MSI)) << "the package built again differs from " << TARV_MSI;

    std::string log = UnixPath(DefaultLogWin());
    Outcome first = Msiexec("/i " + WinPath(TARV_MSI) + " /qn");
    ASSERT_EQ(first.exitCode, 0) << Shown(first, log);
    Outcome second = Msiexec("/i " + WinPath(again) + " /qn");
    EXPECT_EQ(second.exitCode, 0) << Shown(second, log);
    EXPECT_EQ(Registered().size(), 1u);
    EXPECT_EQ(Runs(log).size(), 2u) << ReadFile(log);
    ExpectInstalled(TARV_MSI_PORT, TARV_PRODUCT_VERSION);
}

// Repair (Add or Remove Programs, msiexec /f) runs Setup.exe's setup again
// from the installed media, on the port the queue was installed on; a PORT
// given to the repair moves the queue there, and is remembered. Wine's
// msiexec cannot run /f (a ProductCode is "not implemented yet", a package
// path is taken for a ProductCode: 1605), so the repair is asked for as /f
// asks Windows Installer for it: REINSTALL=ALL with a reinstall mode.
TEST_F(Package, RepairPutsTheQueueBackOnItsPortOrMovesIt)
{
    const std::string repair = "/i " + WinPath(TARV_MSI) + " REINSTALL=ALL REINSTALLMODE=omus /qn";
    std::string log = UnixPath(DefaultLogWin());
    // A repair (with properties) that ends with 0 and leaves the printer on port.
    auto repairedOn = [&](const std::string &properties, const std::string &port) {
        Outcome run = Msiexec(repair + properties);
        ASSERT_EQ(run.exitCode, 0) << Shown(run, log);
        ExpectInstalled(port, TARV_PRODUCT_VERSION);
        std::vector<std::vector<std::string>> runs = Runs(log);
        ASSERT_GE(runs.size(), 2u) << ReadFile(log);
        ExpectRun(runs[runs.size() - 2], SetupTail(port), {}, 0, ReadFile(log));
        ExpectRun(runs.back(), CommitTail(), {}, 0, ReadFile(log));
    };
    Outcome installed = Msiexec("/i " + WinPath(TARV_MSI) + " /qn PORT=COM2:");
    ASSERT_EQ(installed.exitCode, 0) << Shown(installed, log);
    Probe({ "delete-printer", kModel });
    ASSERT_EQ(QueueLine(), "");

    repairedOn("", "COM2:");
    repairedOn(" PORT=LPT2:", "LPT2:");
    Probe({ "delete-printer", kModel });
    repairedOn("", "LPT2:");

    // A repair whose setup fails (a port the spooler does not list) fails,
    // and leaves the printer where it was.
    Outcome failed = Msiexec(repair + " PORT=LPT9:");
    EXPECT_EQ(failed.exitCode, 1603) << Shown(failed, log);
    ExpectInstalled("LPT2:", TARV_PRODUCT_VERSION);
    Probe({ "delete-printer", kModel });
    repairedOn("", "LPT2:");
}

// A PORT or LOGFILE that Setup.exe would read as more words (a blank, a
// quote, a slash) or the actions' data would split (a bar) fails the
// installation before anything changes.
TEST_F(Package, UnsafePropertiesAreRefusedBeforeAnyChange)
{
    std::string log = UnixPath(DefaultLogWin());
    std::string before = MachineSnapshot();
    for (const char *property : { "\"PORT=LPT1: /UNINSTALL\"", "PORT=LPT1:/PURGE", "\"LOGFILE=C:\\a b.log\"",
                                  "LOGFILE=\\\\host/x", "PORT=LPT1:|" }) {
        SCOPED_TRACE(property);
        Outcome install = Msiexec("/i " + WinPath(TARV_MSI) + " /qn " + property);
        EXPECT_NE(install.exitCode, 0) << Shown(install, log);
        EXPECT_NE(ReadFile(Work() + "/msiexec.log").find("RefuseUnsafeValue"), std::string::npos);
        EXPECT_TRUE(Runs(log).empty()) << Shown(install, log);
        ExpectPackageGone();
        EXPECT_EQ(MachineSnapshot(), before);
    }
}

// msiexec ends as Setup.exe did: a removal whose Setup.exe fails (a marked
// file that cannot be deleted) fails, and the rollback installs the printer
// again on its port; a purge that leaves a file to the restart ends with 3010.
TEST_F(Package, RemovalEndsAsSetupExeDid)
{
    std::string log = UnixPath(DefaultLogWin());
    Outcome installed = Msiexec("/i " + WinPath(TARV_MSI) + " /qn PORT=COM2:");
    ASSERT_EQ(installed.exitCode, 0) << Shown(installed, log);
    SetReadOnly(InDriverFolder("Tarva.hlp"));
    Outcome removal = Msiexec("/x " + WinPath(TARV_MSI) + " /qn");
    EXPECT_EQ(removal.exitCode, 1603) << Shown(removal, log);
    std::vector<std::vector<std::string>> runs = Runs(log);
    ASSERT_EQ(runs.size(), 4u) << Shown(removal, log);
    ExpectRun(runs[2], "/UNINSTALL /QUIET /LOG=" + DefaultLogWin(), { "delete failed " }, 1603, ReadFile(log));
    ExpectRun(runs[3], "/QUIET /PORT=COM2: /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log));
    ExpectSetUp("COM2:");
    std::string verbose = ReadFile(Work() + "/msiexec.log");
    EXPECT_NE(verbose.find("Setup.exe: ended with exit code 1603"), std::string::npos) << verbose;

    // Whatever Wine's rollback kept of the registration, the purge removes the printer.
    Clean();
    installed = Msiexec("/i " + WinPath(TARV_MSI) + " /qn");
    ASSERT_EQ(installed.exitCode, 0) << Shown(installed, log);
    auto release = HoldFileOpen(InDriverFolder("3/TarvUI.dll"));
    Outcome purge = Msiexec("/x " + WinPath(TARV_MSI) + " /qn PURGE=1");
    release();
    EXPECT_EQ(purge.exitCode, 3010) << Shown(purge, log);
    EXPECT_NE(ReadFile(log).find("for deletion at the next restart"), std::string::npos) << ReadFile(log);
    ExpectPackageGone();
}

// The package's sequence, read from its tables: a setup's rollback comes
// after it (a setup that failed was undone by Setup.exe, and has none), and
// so does its commit; a deletion's rollback comes before it. PORT is no
// secure property: a standard user's maintenance run cannot move the queue.
TEST(PackageTables, RollbackActionsStandWhereTheirActionsNeedThem)
{
    if (std::string(TARV_MSI).empty())
        GTEST_SKIP() << "no package built: wixl and msitools were not found when the build was configured";
    auto table = [](const std::string &name) {
        std::string output;
        FILE *pipe = popen(("msiinfo export '" + std::string(TARV_MSI) + "' " + name + " 2>&1").c_str(), "r");
        for (int c; pipe && (c = fgetc(pipe)) != EOF;)
            output += (char)c;
        EXPECT_TRUE(pipe && pclose(pipe) == 0) << output;
        std::map<std::string, std::vector<std::string>> rows;
        std::istringstream in(output);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::vector<std::string> fields;
            std::istringstream cells(line);
            for (std::string cell; std::getline(cells, cell, '\t');)
                fields.push_back(cell);
            if (!fields.empty())
                rows[fields[0]] = fields;
        }
        return rows;
    };
    auto sequence = table("InstallExecuteSequence"), actions = table("CustomAction"), properties = table("Property");
    auto at = [&](const std::string &action) {
        EXPECT_EQ(sequence.count(action), 1u) << action;
        return sequence.count(action) ? std::stoi(sequence[action].back()) : -1;
    };
    auto type = [&](const std::string &action) {
        EXPECT_EQ(actions.count(action), 1u) << action;
        return actions.count(action) ? std::stoi(actions[action][1]) : 0;
    };
    EXPECT_GT(at("TarvSetupRollback"), at("TarvSetup"));
    EXPECT_GT(at("TarvSetupCommit"), at("TarvSetup"));
    EXPECT_LT(at("TarvDeletionRollback"), at("TarvDeletion"));
    EXPECT_LT(at("TarvDeletionRollback"), at("TarvPurge"));
    EXPECT_GT(at("TarvSetup"), at("InstallFiles"));
    EXPECT_LT(at("TarvDeletion"), at("RemoveFiles"));
    for (const char *action : { "TarvSetup", "TarvDeletion", "TarvPurge" }) {
        SCOPED_TRACE(action);
        EXPECT_EQ(type(action) & 0x7C0, 0x400);  // in the script, checked, neither rollback nor commit
        EXPECT_LT(at(std::string(action) + "Data"), at(action));
    }
    EXPECT_EQ(type("TarvSetupRollback") & 0x300, 0x100);
    EXPECT_EQ(type("TarvDeletionRollback") & 0x300, 0x100);
    EXPECT_EQ(type("TarvSetupCommit") & 0x300, 0x200);
    // The restart a deferred action cannot ask for is asked for after the script.
    EXPECT_GT(at("TarvAskForRestart"), at("InstallFinalize"));
    EXPECT_EQ(type("TarvAskForRestart") & 0xC00, 0);
    ASSERT_EQ(properties.count("SecureCustomProperties"), 1u);
    EXPECT_EQ(("; " + properties["SecureCustomProperties"][1] + ";").find(";PORT;"), std::string::npos);
}

// msiexec failing after Setup.exe ran leaves the machine as it was: the
// test-only packages fail right after Setup.exe's setup or deletion, and the
// rollback actions take Setup.exe's work back. Wine's msiexec, measured:
// - it runs the rollback custom actions after the rollback of the standard
//   actions: the installed files are gone before a rollback action of an
//   install runs, and Setup.exe cannot start there (the DLL logs it);
// - it runs every rollback action scheduled, also those after the action
//   that failed;
// - RemoveExistingProducts commits the older version's removal on its own,
//   so a failed upgrade cannot bring it back.
// The rows that need what Wine lacks check everything up to the point where
// Wine departs, and say so when it does.
std::string FailingPackage(const std::string &failAfter)
{
    std::string path = Builds() + "/fails-after-" + failAfter + ".msi";
    BuildPackage(TARV_PRODUCT_VERSION, TARV_MSI_PORT, WinBin(), path, failAfter);
    return path;
}

// Whether msiexec's verbose log names this rollback action after the last
// run of the failing action: the rollback started it.
bool RolledBackWith(const std::string &action)
{
    std::string text = ReadFile(Work() + "/msiexec.log");
    size_t failed = text.rfind("TarvTestFailure");
    return failed != std::string::npos && text.find(action, failed) != std::string::npos;
}

// A failed removal leaves the product installed, its printer on the port it
// was installed on, which the package kept.
TEST_F(Package, AFailedRemovalLeavesItInstalled)
{
    std::string log = UnixPath(DefaultLogWin()), failing = FailingPackage("removal");
    Outcome installed = Msiexec("/i " + WinPath(failing) + " /qn PORT=COM2:");
    ASSERT_EQ(installed.exitCode, 0) << Shown(installed, log);
    Outcome removal = Msiexec("/x " + WinPath(failing) + " /qn");
    EXPECT_NE(removal.exitCode, 0) << Shown(removal, log);
    EXPECT_TRUE(RolledBackWith("TarvDeletionRollback")) << Shown(removal, log);
    std::vector<std::vector<std::string>> runs = Runs(log);
    ASSERT_EQ(runs.size(), 4u) << Shown(removal, log);
    ExpectRun(runs[2], "/UNINSTALL /QUIET /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log));
    ExpectRun(runs[3], "/QUIET /PORT=COM2: /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log));
    ExpectSetUp("COM2:");
    if (Registered().empty())
        GTEST_SKIP() << "Wine's msiexec also takes back the product's registration when it rolls back a removal "
                        "(the immediate pass's reverse of PublishProduct); the printer and the media are back";
    ExpectInstalled("COM2:", TARV_PRODUCT_VERSION);
}

// A failed upgrade leaves the earlier version installed, with its printer on its port.
TEST_F(Package, AFailedUpgradeLeavesTheEarlierVersion)
{
    std::string log = UnixPath(DefaultLogWin()), failing = FailingPackage("setup");
    std::string older = Builds() + "/Tarv-0.9.msi", olderMedia = OlderMedia("0.9.0.0");
    BuildPackage("0.9.0.0", "COM3:", olderMedia, older);
    Outcome lower = Msiexec("/i " + WinPath(older) + " /qn");
    ASSERT_EQ(lower.exitCode, 0) << Shown(lower, log);
    Outcome upgrade = Msiexec("/i " + WinPath(failing) + " /qn");
    EXPECT_NE(upgrade.exitCode, 0) << Shown(upgrade, log);
    std::vector<std::vector<std::string>> runs = Runs(log);
    ASSERT_GE(runs.size(), 4u) << Shown(upgrade, log);
    ExpectRun(runs[2], "/UNINSTALL /QUIET /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log));
    ExpectRun(runs[3], SetupTail("COM3:"), {}, 0, ReadFile(log));
    EXPECT_TRUE(RolledBackWith("TarvSetupRollback")) << Shown(upgrade, log);
    if (Registered().empty()) {
        // The new version's setup is undone all the same.
        ASSERT_EQ(runs.size(), 5u) << Shown(upgrade, log);
        ExpectRun(runs[4], "/ROLLBACK /QUIET /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log), KeptCopyWin());
        ExpectPackageGone();
        GTEST_SKIP() << "Wine's msiexec committed the older version's removal before the rollback actions ran; "
                        "bringing the earlier version back needs Windows Installer";
    }
    ExpectInstalled("COM3:", "0.9.0.0");
    EXPECT_EQ(ReadFile(InDriverFolder("3/Tarv.ini")), ReadFile(olderMedia + "/drivers/Nt2000/Tarv.ini"))
        << Shown(upgrade, log);
}

// A failed first installation over a printer installed by hand from the
// media leaves that printer as it was; over a clean machine, nothing of ours.
TEST_F(Package, AFailedFirstInstallationLeavesTheMachineAsItWas)
{
    std::string log = UnixPath(DefaultLogWin()), failing = FailingPackage("setup");
    ASSERT_EQ(RunSetup(SetupOptions("/QUIET /PORT=COM2:", {})).exitCode, 0);
    RemoveAll(log);
    std::string before = MachineSnapshot();
    Outcome first = Msiexec("/i " + WinPath(failing) + " /qn PORT=COM2:");
    EXPECT_NE(first.exitCode, 0) << Shown(first, log);
    ExpectPackageGone();
    std::vector<std::vector<std::string>> runs = Runs(log);
    ASSERT_GE(runs.size(), 1u) << Shown(first, log);
    ExpectRun(runs[0], SetupTail("COM2:"), {}, 0, ReadFile(log));
    EXPECT_TRUE(RolledBackWith("TarvSetupRollback")) << Shown(first, log);
    // The printer installed by hand is there, on its port, whatever follows.
    EXPECT_EQ(RawField(QueueLine(), "port"), "COM2:");
    EXPECT_NE(DriverLine(), "");
    // Wine takes the installed media back before the rollback actions: the
    // rollback runs the copy of Setup.exe kept beside the journal, which goes.
    ASSERT_EQ(runs.size(), 2u) << Shown(first, log);
    ExpectRun(runs[1], "/ROLLBACK /QUIET /LOG=" + DefaultLogWin(), {}, 0, ReadFile(log), KeptCopyWin());
    EXPECT_EQ(MachineSnapshot(), before) << Shown(first, log);
}

// A copy beside the journal that others could have changed never runs as
// the system account: the rollback says so and leaves the journal to
// Setup.exe /ROLLBACK from the media.
TEST_F(Package, ARollbackNeverRunsACopyOthersCouldChange)
{
    std::string log = UnixPath(DefaultLogWin()), failing = FailingPackage("setup");
    std::string copy = StateFolder() + "/TarvUndo.exe";
    fs::create_directories(StateFolder());
    WriteFile(copy, "planted");
    fs::permissions(copy, fs::perms::others_write, fs::perm_options::add);
    Outcome first = Msiexec("/i " + WinPath(failing) + " /qn PORT=COM2:");
    EXPECT_NE(first.exitCode, 0) << Shown(first, log);
    EXPECT_EQ(Runs(log).size(), 1u) << Shown(first, log);
    EXPECT_NE(ReadFile(Work() + "/msiexec.log")
                  .find("Setup.exe: the copy kept beside the undo journal is not as Setup.exe left it: it is not run"),
              std::string::npos)
        << Shown(first, log);
    EXPECT_TRUE(FileExists(StateFolder() + "/TarvSetup.jnl"));
    RemoveAll(copy);
    EXPECT_EQ(RunSetup(SetupOptions("/ROLLBACK /QUIET", {})).exitCode, 0) << ReadFile(log);
    EXPECT_EQ(QueueLine(), "");
    EXPECT_FALSE(FileExists(StateFolder() + "/TarvSetup.jnl"));
}

}  // namespace
