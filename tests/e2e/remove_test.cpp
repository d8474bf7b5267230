// Removal: simple and complete deletion of the queue, the driver registration,
// the form and the marked driver files.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/harness.h"
#include "tests/e2e/install_env.h"

using namespace e2e;

namespace fs = std::filesystem;

namespace {

const char kModel[] = "Corvan Tessik";
const char kOtherDriver[] = "Tarv Test Other";

const char *const kNtFiles[] = { "TarvUI.dll", "TarvGI.dll", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" };
const char *const kNineXFiles[] = { "Tarv.drv", "Tarva.hlp", "Tarvf.hlp" };
const char *const kCommonFiles[] = { "hwport.dll", "tarvcomm.exe" };

std::string InDriverFolder(const std::string &name) { return UnixPath(DriverFolder()) + "/" + name; }
std::string InSystemFolder(const std::string &name) { return UnixPath(SystemFolder()) + "/" + name; }

bool Listed(const char *what, const char *prefix, const std::string &name)
{
    for (const std::string &line : ProbeLines({ what }, prefix))
        if (Field(line, "name") == name)
            return true;
    return false;
}

bool QueueExists() { return Listed("printers", "PRINTER", kModel); }
bool DriverRegistered() { return Listed("drivers", "DRIVER", kModel); }

// Data file path of a registered driver as the spooler reports it (Windows
// form). The probe prints paths raw, so Field() would take their backslashes
// for escapes.
std::string RegisteredDataFile(const std::string &driver)
{
    for (const std::string &line : ProbeLines({ "drivers" }, "DRIVER")) {
        if (Field(line, "name") != driver)
            continue;
        size_t start = line.find(" data=\"");
        if (start == std::string::npos)
            break;
        start += 7;
        return line.substr(start, line.find('"', start) - start);
    }
    return std::string();
}

void RemoveFile(const std::string &path)
{
    std::error_code error;
    if (fs::exists(path, error))
        SetReadOnly(path, false);
    fs::remove(path, error);
}

class Removal : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        Probe({ "delete-printer", kModel, "delete-driver", kModel, "delete-driver", kOtherDriver });
        for (const std::string folder : { "", "3/" }) {
            for (const char *name : kNtFiles)
                RemoveFile(InDriverFolder(folder + name));
            for (const char *name : kNineXFiles)
                RemoveFile(InDriverFolder(folder + name));
            RemoveFile(InDriverFolder(folder + "Other.ini"));
        }
    }

    // Lays the row's driver files into the printer-driver folder the way a
    // complete setup leaves them and registers the driver and the queue.
    void Install(bool nineX)
    {
        if (nineX) {
            for (const char *name : kNineXFiles)
                WriteFile(InDriverFolder(name), std::string("9x ") + name);
            Register({ "add-driver", kModel, "Tarv.drv", "Tarv.drv", "Tarv.drv", "Tarvf.hlp",
                       "Tarv.drv|Tarvf.hlp|Tarva.hlp" });
        } else {
            for (const char *name : kNtFiles)
                WriteFile(InDriverFolder(name), std::string("nt ") + name);
            Register({ "add-driver", kModel, "TarvGI.dll", "Tarv.ini", "TarvUI.dll", "-",
                       "TarvGI.dll|Tarv.ini|TarvUI.dll|Tarvf.hlp|Tarva.hlp" });
        }
        Register({ "add-printer", kModel, "LPT1:", kModel });
        dataFile = UnixPath(RegisteredDataFile(kModel));
        ASSERT_TRUE(FileExists(dataFile)) << dataFile;
        // The spooler keeps its own copy; the folder's file is a different one.
        ASSERT_NE(dataFile, InDriverFolder(nineX ? "Tarv.drv" : "Tarv.ini"));
    }

    static void Register(const std::vector<std::string> &command)
    {
        std::string output = Probe(command);
        ASSERT_NE(output.find(" 1 0"), std::string::npos) << output;
    }

    static Outcome Run(const std::string &tail, const std::vector<std::string> &answers,
                       const std::string &faults = std::string())
    {
        Options options;
        options.media = MakeMedia("remove", false);
        options.tail = tail;
        options.answers = answers;
        if (!faults.empty()) {
            options.inject = true;
            options.env["TARV_FAULTS"] = faults;
        }
        return RunSetup(options);
    }

    static void ExpectCleanSuccess(const Outcome &run)
    {
        // Only the confirmation: nothing follows a successful removal.
        EXPECT_EQ(run.windows.size(), 1u) << run.Describe();
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.unusedAnswers, 0);
        EXPECT_FALSE(QueueExists());
        EXPECT_FALSE(DriverRegistered());
    }

    std::string dataFile;  // the spooler's copy of the data file
};

}  // namespace

TEST_F(Removal, SimpleDeletionKeepsEveryFile)
{
    ASSERT_NO_FATAL_FAILURE(Install(false));
    ExpectCleanSuccess(Run("/OS=WINNT50 /ONLYDELETEPRINTDEVICE", { "click 6" }));
    for (const char *name : kNtFiles)
        EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
    EXPECT_TRUE(FileExists(dataFile));
}

TEST_F(Removal, CompleteDeletionRemovesTheMarkedFilesOfEachRow)
{
    struct Case {
        const char *code;
        bool nineX;
        std::vector<const char *> gone, kept;
    };
    const Case cases[] = {
        { "WINNT40", false, { "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" }, { "TarvUI.dll", "TarvGI.dll" } },
        { "WINNT50", false, { "TarvUI.dll", "TarvGI.dll", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" }, {} },
        { "WINNTXP", false, { "TarvUI.dll", "TarvGI.dll", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" }, {} },
        { "WIN98", true, { "Tarva.hlp", "Tarvf.hlp" }, { "Tarv.drv" } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        Clean();
        ASSERT_NO_FATAL_FAILURE(Install(c.nineX));
        // A failing form deletion would show itself if the 9x family tried one.
        ExpectCleanSuccess(Run(std::string("/OS=") + c.code + " /UNINSTALL", { "click 6" },
                               c.nineX ? "DeleteFormA=1902" : ""));
        EXPECT_FALSE(FileExists(dataFile));
        for (const char *name : c.gone)
            EXPECT_FALSE(FileExists(InDriverFolder(name))) << name;
        for (const char *name : c.kept)
            EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
    }
}

TEST_F(Removal, CommonFilesAndKernelServiceStay)
{
    for (const char *name : kCommonFiles)
        WriteFile(InSystemFolder(name), name);
    std::string output;
    RunWine({ "sc", "create", "hwbridge", "type=", "kernel", "start=", "demand", "binpath=",
              WindowsFolder() + "\\hwbridge.sys" }, &output);
    ASSERT_EQ(Field(Probe({ "service", "hwbridge" }), "exists"), "1") << output;

    ASSERT_NO_FATAL_FAILURE(Install(false));
    ExpectCleanSuccess(Run("/OS=WINNT50 /UNINSTALL", { "click 6" }));
    for (const char *name : kCommonFiles) {
        EXPECT_TRUE(FileExists(InSystemFolder(name))) << name;
        RemoveFile(InSystemFolder(name));
    }
    EXPECT_EQ(Field(Probe({ "service", "hwbridge" }), "exists"), "1");
    Probe({ "delete-service", "hwbridge" });
}

TEST_F(Removal, FileThatCannotBeDeletedIsReportedAndTheWalkGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(Install(false));
    RemoveFile(InDriverFolder("Tarva.hlp"));
    SetReadOnly(InDriverFolder("Tarv.ini"));
    Outcome run = Run("/OS=WINNT40 /UNINSTALL", { "click 6", "click 1", "click 1" });
    ASSERT_EQ(run.windows.size(), 3u) << run.Describe();
    // Read-only Tarv.ini, then the missing Tarva.hlp; both name the folder.
    for (size_t i = 1; i < 3; i++) {
        EXPECT_TRUE(run.At(i).IsMessageBox());
        EXPECT_EQ(run.At(i).title, DriverFolder());
        EXPECT_EQ(run.At(i).MessageText(), "The file has not been deleted...");
        EXPECT_EQ(run.At(i).owner, "main");
    }
    // The read-only file is left read-only, and the next file still goes.
    EXPECT_TRUE(FileExists(InDriverFolder("Tarv.ini")));
    EXPECT_FALSE(Writable(InDriverFolder("Tarv.ini")));
    EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp")));
    EXPECT_FALSE(FileExists(dataFile));
    EXPECT_FALSE(DriverRegistered());
    EXPECT_EQ(run.exitCode, 1);
}

// Each failing step is reported with the deletion caption, stops the sequence
// where it says, and leaves every file in place.
TEST_F(Removal, FailingStepsAreReported)
{
    struct Case {
        const char *tail, *faults, *text;
        bool withQueue, queueAfter, driverAfter;
    };
    const Case cases[] = {
        { "/UNINSTALL", "", "Printer deletion has failed for reason 1801 step 1...", false, false, true },
        { "/UNINSTALL", "DeletePrinter=5", "Printer deletion has failed for reason 5 step 2...", true, true, true },
        { "/UNINSTALL", "DeletePrinterDriverA=2001", "Printer driver deletion has failed for reason 2001...",
          true, false, true },
        { "/UNINSTALL", "GetPrinterDriverDirectoryA=5", "Cannot get target folders names...", true, true, true },
        { "/ONLYDELETEPRINTDEVICE", "DeleteFormA=1902",
          "Paper format created for printer has not been deleted from the system...", true, false, false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Clean();
        ASSERT_NO_FATAL_FAILURE(Install(false));
        if (!c.withQueue)
            Probe({ "delete-printer", kModel });
        Outcome run = Run(std::string("/OS=WINNT50 ") + c.tail, { "click 6", "click 1" }, c.faults);
        ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
        const Window &box = run.At(1);
        EXPECT_TRUE(box.IsMessageBox());
        EXPECT_EQ(box.title, "Tarv Driver deletion failure");
        EXPECT_EQ(box.MessageText(), c.text);
        EXPECT_EQ(box.owner, "main");
        // The title changes before anything else, folder resolution included.
        ASSERT_FALSE(run.mainTitles.empty());
        EXPECT_EQ(run.mainTitles[0], "Tarv Driver setup");
        EXPECT_EQ(run.mainTitles.back(), "Tarv Driver deletion") << run.Describe();
        EXPECT_EQ(QueueExists(), c.queueAfter);
        EXPECT_EQ(DriverRegistered(), c.driverAfter);
        // The data file goes only once the spooler has forgotten the driver.
        EXPECT_TRUE(FileExists(dataFile));
        for (const char *name : kNtFiles)
            EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
        EXPECT_EQ(run.exitCode, 1);
    }
}

TEST_F(Removal, QueueOnAnotherDriverKeepsThatDriversDataFile)
{
    ASSERT_NO_FATAL_FAILURE(Install(false));
    WriteFile(InDriverFolder("Other.ini"), "other");
    Register({ "add-driver", kOtherDriver, "TarvGI.dll", "Other.ini", "TarvUI.dll", "-", "Other.ini" });
    Probe({ "delete-printer", kModel });
    Register({ "add-printer", kModel, "LPT1:", kOtherDriver });
    std::string otherData = UnixPath(RegisteredDataFile(kOtherDriver));
    ASSERT_TRUE(FileExists(otherData)) << otherData;

    ExpectCleanSuccess(Run("/OS=WINNT50 /UNINSTALL", { "click 6" }));
    EXPECT_TRUE(FileExists(otherData));
    EXPECT_TRUE(Listed("drivers", "DRIVER", kOtherDriver));
}

// A kernel driver that will not stop stays until the next restart: the purge
// marks its service for deletion, schedules its file and ends with 3010, and
// the restart completes the removal. Wine stops a driver even while its device
// is held open, so the driver here is one without an unload routine.
TEST(Purge, DriverThatWillNotStopGoesAtTheNextRestart)
{
    install::CleanInstallState();
    Options setup = install::SetupOptions("/QUIET /PORT=LPT1:", {});
    WriteFile(setup.media + "/drivers/Commun/hwbridge.sys", ReadFile(ToolsBin() + "/sticky/hwbridge.sys"));
    ASSERT_EQ(RunSetup(setup).exitCode, 0);
    ASSERT_EQ(Field(install::ServiceLine(), "state"), "4");
    std::string log = WorkRoot() + "/purge.log";
    RemoveAll(log);
    Options purge = setup;
    purge.tail = "/QUIET /UNINSTALL /PURGE /LOG=" + WinPath(log);
    EXPECT_EQ(RunSetup(purge).exitCode, 3010) << ReadFile(log);
    for (const char *line : { "service hwbridge: not stopped after 3000 ms",
                              "service hwbridge marked for deletion: it goes at the next restart",
                              "scheduled {windows}\\system32\\drivers\\hwbridge.sys for deletion at the next restart" })
        EXPECT_NE(ReadFile(log).find(install::InFolders(line)), std::string::npos) << line << "\n" << ReadFile(log);
    EXPECT_NE(Probe({ "delete-service", "hwbridge" }).find("DELETE-SERVICE 0 error=1072"), std::string::npos);
    // The file in use was renamed aside first: the restart deletes that name,
    // never a later setup's hwbridge.sys.
    std::string pending = Probe({ "pending-renames" });
    EXPECT_NE(pending.find(install::InFolders("from=\"\\??\\{windows}\\system32\\drivers\\trv")), std::string::npos)
        << pending;
    EXPECT_EQ(pending.find("hwbridge.sys"), std::string::npos) << pending;
    EXPECT_FALSE(FileExists(install::KernelDriverFile()));

    RestartWine();
    // Windows deletes a service marked for deletion at the restart; Wine
    // forgets the mark and keeps it, stopped, and a later setup replaces it.
    std::string service = install::ServiceLine();
    EXPECT_TRUE(Field(service, "exists") == "0" || Field(service, "state") == "1") << service;
    EXPECT_EQ(Probe({ "pending-renames" }), "");
    EXPECT_FALSE(FileExists(install::KernelDriverFile()));
    install::CleanInstallState();
}

// An interactive purge reports a file it cannot delete (message 150, the
// file's folder as caption) and goes on; a file in use goes at the next
// restart, which it says at the end.
TEST(Purge, InteractivePurgeReportsWhatItCannotDeleteAndTheRestart)
{
    install::CleanInstallState();
    ASSERT_EQ(RunSetup(install::SetupOptions("/QUIET /PORT=LPT1:", {})).exitCode, 0);
    SetReadOnly(install::InSystemFolder("tarvcomm.exe"));
    auto release = install::HoldFileOpen(install::InDriverFolder("3/TarvUI.dll"));
    Outcome run = RunSetup(install::SetupOptions("/UNINSTALL /PURGE", { "click 6", "click 1", "click 1" }));
    release();
    SetReadOnly(install::InSystemFolder("tarvcomm.exe"), false);
    ASSERT_EQ(run.windows.size(), 3u) << run.Describe();
    EXPECT_EQ(run.At(1).title, SystemFolder());
    EXPECT_EQ(run.At(1).MessageText(), "The file has not been deleted...");
    EXPECT_EQ(run.At(2).title, "Tarv Driver deletion");
    EXPECT_EQ(run.At(2).MessageText(), "Tarv Driver has been removed, but a file or the kernel driver is still in use."
                                       "\r\nRestart the computer to complete the removal.");
    EXPECT_EQ(run.At(2).owner, "main");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(FileExists(install::InSystemFolder("tarvcomm.exe")));
    EXPECT_FALSE(FileExists(install::InSystemFolder("hwport.dll")));
    install::CleanInstallState();
}
