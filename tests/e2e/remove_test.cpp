// Removal: simple and complete deletion of the queue, the driver registration,
// the form and the marked driver files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace fs = std::filesystem;

namespace {

const char kModel[] = "Corvan Tessik";
const char kOtherDriver[] = "Tarv Test Other";
const char kDeletionTitle[] = "Tarv Driver deletion";
const char kDeletionFailure[] = "Tarv Driver deletion failure";
const char kNotDeleted[] = "The file has not been deleted...";

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

void MakeReadOnly(const std::string &path, bool readOnly)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

void RemoveFile(const std::string &path)
{
    std::error_code error;
    if (fs::exists(path, error))
        MakeReadOnly(path, false);
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

    static void ExpectFailureBox(const Window &box, const std::string &text)
    {
        EXPECT_TRUE(box.IsMessageBox());
        EXPECT_EQ(box.title, kDeletionFailure);
        EXPECT_EQ(box.MessageText(), text);
        EXPECT_EQ(box.Buttons(), std::vector<int>{ 1 });
        EXPECT_EQ(box.owner, "main");
    }

    static bool ShowedDeletionTitle(const Outcome &run)
    {
        return std::find(run.mainTitles.begin(), run.mainTitles.end(), kDeletionTitle) != run.mainTitles.end();
    }

    std::string dataFile;  // the spooler's copy of the data file
};

}  // namespace

TEST_F(Removal, SimpleDeletionKeepsEveryFile)
{
    Install(false);
    Outcome run = Run("/OS=WINNT50 /ONLYDELETEPRINTDEVICE", { "click 6" });
    ExpectCleanSuccess(run);
    for (const char *name : kNtFiles)
        EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
    EXPECT_TRUE(FileExists(dataFile));
}

TEST_F(Removal, CompleteDeletionOnNt4KeepsTheModules)
{
    Install(false);
    Outcome run = Run("/OS=WINNT40 /UNINSTALL", { "click 6" });
    ExpectCleanSuccess(run);
    EXPECT_FALSE(FileExists(dataFile));
    for (const char *name : { "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" })
        EXPECT_FALSE(FileExists(InDriverFolder(name))) << name;
    for (const char *name : { "TarvUI.dll", "TarvGI.dll" }) {
        EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
        EXPECT_TRUE(FileExists(InDriverFolder(std::string("3/") + name))) << name;
    }
}

TEST_F(Removal, CompleteDeletionOnNt5RowsRemovesAllFive)
{
    for (const char *code : { "WINNT50", "WINNTXP" }) {
        SCOPED_TRACE(code);
        Install(false);
        Outcome run = Run(std::string("/OS=") + code + " /UNINSTALL", { "click 6" });
        ExpectCleanSuccess(run);
        EXPECT_FALSE(FileExists(dataFile));
        for (const char *name : kNtFiles)
            EXPECT_FALSE(FileExists(InDriverFolder(name))) << name;
        Clean();
    }
}

TEST_F(Removal, CompleteDeletionOnNineXKeepsTheDriverFile)
{
    Install(true);
    // A form failure would show up here if the 9x family tried to delete one.
    Outcome run = Run("/OS=WIN98 /UNINSTALL", { "click 6" }, "DeleteFormA=1902");
    ExpectCleanSuccess(run);
    EXPECT_FALSE(FileExists(dataFile));
    EXPECT_TRUE(FileExists(InDriverFolder("Tarv.drv")));
    EXPECT_FALSE(FileExists(InDriverFolder("Tarva.hlp")));
    EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp")));
}

TEST_F(Removal, CommonFilesAndKernelServiceStay)
{
    for (const char *name : kCommonFiles)
        WriteFile(InSystemFolder(name), name);
    std::string output;
    RunWine({ "sc", "create", "hwbridge", "type=", "kernel", "start=", "demand", "binpath=",
              WindowsFolder() + "\\hwbridge.sys" }, &output);
    ASSERT_EQ(Field(Probe({ "service", "hwbridge" }), "exists"), "1") << output;

    Install(false);
    Outcome run = Run("/OS=WINNT50 /UNINSTALL", { "click 6" });
    ExpectCleanSuccess(run);
    for (const char *name : kCommonFiles) {
        EXPECT_TRUE(FileExists(InSystemFolder(name))) << name;
        RemoveFile(InSystemFolder(name));
    }
    EXPECT_EQ(Field(Probe({ "service", "hwbridge" }), "exists"), "1");
    Probe({ "delete-service", "hwbridge" });
}

TEST_F(Removal, FileThatCannotBeDeletedIsReportedAndTheWalkGoesOn)
{
    Install(false);
    RemoveFile(InDriverFolder("Tarva.hlp"));
    MakeReadOnly(InDriverFolder("Tarv.ini"), true);
    Outcome run = Run("/OS=WINNT40 /UNINSTALL", { "click 6", "click 1", "click 1" });
    ASSERT_EQ(run.windows.size(), 3u) << run.Describe();
    // Read-only Tarv.ini, then the missing Tarva.hlp; both name the folder.
    for (size_t i = 1; i < 3; i++) {
        const Window &box = run.At(i);
        EXPECT_TRUE(box.IsMessageBox());
        EXPECT_EQ(box.title, DriverFolder());
        EXPECT_EQ(box.MessageText(), kNotDeleted);
        EXPECT_EQ(box.Buttons(), std::vector<int>{ 1 });
        EXPECT_EQ(box.owner, "main");
    }
    // The read-only file is left read-only, and the next file still goes.
    EXPECT_TRUE(FileExists(InDriverFolder("Tarv.ini")));
    EXPECT_EQ(fs::status(InDriverFolder("Tarv.ini")).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_FALSE(FileExists(InDriverFolder("Tarvf.hlp")));
    EXPECT_FALSE(FileExists(dataFile));
    EXPECT_FALSE(DriverRegistered());
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(Removal, MissingQueueStopsBeforeTheDriver)
{
    Install(false);
    Probe({ "delete-printer", kModel });
    Outcome run = Run("/OS=WINNT50 /UNINSTALL", { "click 6", "click 1" });
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    ExpectFailureBox(run.At(1), "Printer deletion has failed for reason 1801 step 1...");
    EXPECT_TRUE(ShowedDeletionTitle(run)) << run.Describe();
    EXPECT_TRUE(DriverRegistered());
    for (const char *name : kNtFiles)
        EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(Removal, RefusedQueueDeletionKeepsTheDriver)
{
    Install(false);
    Outcome run = Run("/OS=WINNT50 /UNINSTALL", { "click 6", "click 1" }, "DeletePrinter=5");
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    ExpectFailureBox(run.At(1), "Printer deletion has failed for reason 5 step 2...");
    EXPECT_TRUE(DriverRegistered());
    EXPECT_TRUE(FileExists(dataFile));
    EXPECT_TRUE(FileExists(InDriverFolder("Tarv.ini")));
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(Removal, RefusedDriverDeletionKeepsItsFiles)
{
    Install(false);
    Outcome run = Run("/OS=WINNT50 /UNINSTALL", { "click 6", "click 1" }, "DeletePrinterDriverA=2001");
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    ExpectFailureBox(run.At(1), "Printer driver deletion has failed for reason 2001...");
    EXPECT_FALSE(QueueExists());
    EXPECT_TRUE(DriverRegistered());
    // The data file goes only once the spooler has forgotten the driver.
    EXPECT_TRUE(FileExists(dataFile));
    for (const char *name : kNtFiles)
        EXPECT_TRUE(FileExists(InDriverFolder(name))) << name;
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(Removal, FormFailureOnNtIsReportedAndTheDeletionGoesOn)
{
    Install(false);
    Outcome run = Run("/OS=WINNT50 /ONLYDELETEPRINTDEVICE", { "click 6", "click 1" }, "DeleteFormA=1902");
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    ExpectFailureBox(run.At(1), "Paper format created for printer has not been deleted from the system...");
    EXPECT_FALSE(QueueExists());
    EXPECT_FALSE(DriverRegistered());
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(Removal, UnknownTargetFoldersStopEverything)
{
    Install(false);
    Outcome run = Run("/OS=WINNT50 /UNINSTALL", { "click 6", "click 1" }, "GetPrinterDriverDirectoryA=5");
    ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
    ExpectFailureBox(run.At(1), "Cannot get target folders names...");
    ASSERT_FALSE(run.mainTitles.empty());
    EXPECT_EQ(run.mainTitles[0], "Tarv Driver setup");
    EXPECT_TRUE(ShowedDeletionTitle(run)) << run.Describe();
    EXPECT_TRUE(QueueExists());
    EXPECT_TRUE(DriverRegistered());
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(Removal, QueueOnAnotherDriverKeepsThatDriversDataFile)
{
    Install(false);
    WriteFile(InDriverFolder("Other.ini"), "other");
    Register({ "add-driver", kOtherDriver, "TarvGI.dll", "Other.ini", "TarvUI.dll", "-", "Other.ini" });
    Probe({ "delete-printer", kModel });
    Register({ "add-printer", kModel, "LPT1:", kOtherDriver });
    std::string otherData = UnixPath(RegisteredDataFile(kOtherDriver));
    ASSERT_TRUE(FileExists(otherData)) << otherData;

    Outcome run = Run("/OS=WINNT50 /UNINSTALL", { "click 6" });
    ExpectCleanSuccess(run);
    EXPECT_TRUE(FileExists(otherData));
    EXPECT_TRUE(Listed("drivers", "DRIVER", kOtherDriver));
}
