// Installation: simple and complete setup end to end, the spooler records they
// leave, their failure reports and the completion dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/copy_messages.h"
#include "tests/e2e/install_env.h"

using namespace e2e;
using namespace install;

namespace fs = std::filesystem;

namespace {

const unsigned long kCaptionBar = 0x00C00000;  // WS_CAPTION
const char kNoFolders[] = "Tarv Driver setup failure|Cannot get target folders names...";

class Install : public ::testing::Test {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override { CleanInstallState(); }

    static Outcome Run(Options options, const std::string &faults = "")
    {
        if (!faults.empty()) {
            options.inject = true;
            options.env["TARV_FAULTS"] = faults;
        }
        return RunSetup(options);
    }

    static void Register(const std::vector<std::string> &command)
    {
        std::string output = Probe(command);
        ASSERT_NE(output.find(" 1"), std::string::npos) << output;
    }

    // An earlier installation: another driver record of the model on COM2:.
    static void RegisterEarlier()
    {
        Register({ "add-driver", kModel, "Old.dll", "Old.ini", "OldUI.dll", "-", "Old.ini" });
        Register({ "add-printer", kModel, "COM2:", kModel });
    }

    static std::string Registered(const std::string &name) { return DriverFolder() + "\\3\\" + name; }

    static std::string RegisteredList(const std::vector<std::string> &names)
    {
        std::string joined;
        for (const std::string &name : names)
            joined += (joined.empty() ? "" : "|") + Registered(name);
        return joined;
    }

    static void ExpectQueueOn(const std::string &port)
    {
        std::vector<std::string> queues;
        for (const std::string &line : ProbeLines({ "printers" }, "PRINTER"))
            if (RawField(line, "name") == kModel)
                queues.push_back(line);
        ASSERT_EQ(queues.size(), 1u);
        const std::string &line = queues.front();
        EXPECT_EQ(RawField(line, "port"), port);
        EXPECT_EQ(RawField(line, "driver"), kModel);
        EXPECT_EQ(RawField(line, "comment"), kModel);
        EXPECT_EQ(RawField(line, "processor"), "winprint");
        EXPECT_EQ(RawField(line, "datatype"), "RAW");
        EXPECT_EQ(Field(line, "attributes"), "0x1041");
    }

    // Wine files every driver under its environment's version 3 whatever
    // version the record carries, so the version is checked by the unit tests.
    static void ExpectNtDriver()
    {
        std::string line = DriverLine();
        ASSERT_NE(line, "");
        EXPECT_EQ(RawField(line, "driver"), Registered("TarvGI.dll"));
        EXPECT_EQ(RawField(line, "data"), Registered("Tarv.ini"));
        EXPECT_EQ(RawField(line, "config"), Registered("TarvUI.dll"));
        EXPECT_EQ(RawField(line, "help"), "(null)");
        EXPECT_EQ(RawField(line, "datatype"), "RAW");
        EXPECT_EQ(RawField(line, "dependent"),
                  RegisteredList({ "TarvGI.dll", "Tarv.ini", "TarvUI.dll", "Tarvf.hlp", "Tarva.hlp" }));
    }

    static bool ServiceExists() { return Field(ServiceLine(), "exists") == "1"; }
};

const std::vector<std::string> kSimpleAnswers = { "click 6", "select LPT1:;click 1", "click 1" };

}  // namespace

TEST_F(Install, SimpleSetupRegistersFromTheFilesInPlace)
{
    Outcome run = Run(SetupOptions("/OS=WINNTXP /ONLYADDPRINTDEVICE",
                                   { "click 6", "select LPT1:;click 1", "escape;wait 600;enter" }));
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    ASSERT_EQ(run.windows.size(), 3u) << run.Describe();  // confirmation, port, completion
    ExpectQueueOn("LPT1:");
    ExpectNtDriver();
    for (const char *name : { "TarvGI.dll", "TarvUI.dll", "Tarv.ini" })
        EXPECT_FALSE(FileExists(InDriverFolder(name))) << name;
    EXPECT_FALSE(FileExists(InSystemFolder("hwport.dll")));
    EXPECT_FALSE(FileExists(InInfFolder("tarv.inf")));
    EXPECT_FALSE(ServiceExists());

    // The completion dialog: about a second after the port, in front, closed
    // by Enter but not by Escape.
    const Window &completion = *Completion(run);
    const Window &port = *install::PortDialog(run);
    EXPECT_GE(completion.openedAt - port.closedAt, 950) << run.Describe();
    EXPECT_LT(completion.openedAt - port.closedAt, 3000);
    EXPECT_EQ(completion.owner, "main");
    EXPECT_EQ(completion.foreground, 1);
    EXPECT_EQ(completion.style & kCaptionBar, 0ul);
    EXPECT_EQ(completion.Buttons(), std::vector<int>{ 1 });
    EXPECT_EQ(completion.Text(1), "Quit");
    EXPECT_EQ(completion.defId, 1);
    EXPECT_NE(std::find(run.events.begin(), run.events.end(), "STILL-OPEN"), run.events.end());
}

TEST_F(Install, CompleteSetupOnEachFamily)
{
    struct Case {
        const char *code;
        const char *folder;           // driver files and INF
        const char *hwportFolder;     // common files
        const char *tarvcommFolder;
        bool nineX;
    };
    const Case cases[] = {
        { "WIN95", "Win95-98", "Win95-98", "Win95-98", true },
        { "WINNT40", "Nt4.0", "Nt4.0", "Commun", false },
        { "WINNTXP", "Nt2000", "Commun", "Commun", false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        CleanInstallState();
        Outcome run = Run(SetupOptions(std::string("/OS=") + c.code, kSimpleAnswers));
        ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
        EXPECT_EQ(Boxes(run), std::vector<std::string>{});

        std::vector<std::string> files = c.nineX
            ? std::vector<std::string>{ "Tarv.drv", "Tarvf.hlp", "Tarva.hlp" }
            : std::vector<std::string>{ "TarvUI.dll", "TarvGI.dll", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" };
        for (const std::string &name : files)
            EXPECT_EQ(ReadFile(InDriverFolder(name)), MediaFile(std::string(c.folder) + "/" + name)) << name;
        // The INF reached the setup library, which keeps a copy.
        EXPECT_EQ(ReadFile(InInfFolder("tarv.inf")), MediaFile(std::string(c.folder) + "/tarv.inf"));
        EXPECT_EQ(ReadFile(InSystemFolder("hwport.dll")), MediaFile(std::string(c.hwportFolder) + "/hwport.dll"));
        EXPECT_EQ(ReadFile(InSystemFolder("tarvcomm.exe")),
                  MediaFile(std::string(c.tarvcommFolder) + "/Tarvcomm.exe"));

        ExpectQueueOn("LPT1:");
        if (c.nineX) {
            std::string line = DriverLine();
            EXPECT_EQ(RawField(line, "driver"), Registered("Tarv.drv"));
            EXPECT_EQ(RawField(line, "data"), Registered("Tarv.drv"));
            EXPECT_EQ(RawField(line, "config"), Registered("Tarv.drv"));
            EXPECT_EQ(RawField(line, "help"), Registered("Tarvf.hlp"));
            EXPECT_EQ(RawField(line, "dependent"), RegisteredList({ "Tarv.drv", "Tarvf.hlp", "Tarva.hlp" }));
            EXPECT_FALSE(ServiceExists());
            EXPECT_FALSE(FileExists(KernelDriverFile()));
        } else {
            ExpectNtDriver();
            std::string service = ServiceLine();
            EXPECT_EQ(Field(service, "exists"), "1");
            EXPECT_EQ(Field(service, "type"), "1");
            EXPECT_EQ(Field(service, "start"), "3");
            EXPECT_EQ(Field(service, "error"), "1");
            EXPECT_EQ(RawField(service, "binpath"), WindowsFolder() + "\\system32\\drivers\\hwbridge.sys");
            EXPECT_EQ(RawField(service, "display"), "Access memory");
            EXPECT_EQ(Field(service, "state"), "4");  // running
            EXPECT_EQ(ReadFile(KernelDriverFile()), MediaFile("Commun/hwbridge.sys"));
            EXPECT_EQ(Field(Probe({ "device", "hwbridge" }), "open"), "1");
        }
    }
}

TEST_F(Install, CompleteSetupWithoutTheSetupLibraryRegistersNoInf)
{
    Options options = SetupOptions("/OS=WINNTXP", kSimpleAnswers);
    options.env["WINEDLLOVERRIDES"] = "setupapi=d";
    Outcome run = Run(options);
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    EXPECT_EQ(Boxes(run), std::vector<std::string>{});
    EXPECT_FALSE(FileExists(InInfFolder("tarv.inf")));
    EXPECT_EQ(ReadFile(InDriverFolder("TarvGI.dll")), MediaFile("Nt2000/TarvGI.dll"));
    ExpectQueueOn("LPT1:");
    ExpectNtDriver();
    EXPECT_EQ(Field(ServiceLine(), "state"), "4");
}

TEST_F(Install, SecondSetupPurgesTheEarlierQueueAndDriver)
{
    ASSERT_NO_FATAL_FAILURE(RegisterEarlier());
    Outcome run = Run(SetupOptions("/OS=WINNT50 /ONLYADDPRINTDEVICE", kSimpleAnswers));
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    EXPECT_EQ(Boxes(run), std::vector<std::string>{});
    ExpectQueueOn("LPT1:");  // one queue: Wine would accept a duplicate
    ExpectNtDriver();
}

TEST_F(Install, RegistrationFailuresAreReportedAndTheSetupGoesOn)
{
    // The driver refused: the queue then fails too, for want of its driver.
    Outcome run = Run(SetupOptions("/OS=WINNTXP /ONLYADDPRINTDEVICE",
                                   { "click 6", "select LPT1:;click 1", "click 1", "click 1", "click 1" }),
                      "AddPrinterDriverA=5");
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    std::vector<std::string> boxes = Boxes(run);
    ASSERT_EQ(boxes.size(), 2u) << run.Describe();
    EXPECT_EQ(boxes[0], "Tarv Driver setup failure|Printer driver setup has failed for reason 5...");
    EXPECT_EQ(boxes[1].rfind("Tarv Driver setup failure|Printer setup has failed for reason ", 0), 0u) << boxes[1];
    EXPECT_EQ(boxes[1].find("reason 0."), std::string::npos);
    for (const Window &window : run.windows)
        if (window.IsMessageBox())
            EXPECT_EQ(window.owner, "main");
    EXPECT_EQ(DriverLine(), "");
    EXPECT_EQ(QueueLine(), "");

    // The queue refused alone.
    run = Run(SetupOptions("/OS=WINNTXP /ONLYADDPRINTDEVICE",
                           { "click 6", "select LPT1:;click 1", "click 1", "click 1" }),
              "AddPrinterA=1801");
    ASSERT_NO_FATAL_FAILURE(ExpectCompleted(run));
    EXPECT_EQ(Boxes(run), std::vector<std::string>{ "Tarv Driver setup failure|Printer setup has failed for reason 1801..." });
    ExpectNtDriver();
    EXPECT_EQ(QueueLine(), "");
}

TEST_F(Install, GivingUpOnADriverFileRegistersNothing)
{
    ASSERT_NO_FATAL_FAILURE(RegisterEarlier());
    Options options = SetupOptions("/OS=WINNTXP", { "click 6", "select LPT1:;click 1", "click 1", "click 7" });
    fs::remove(options.media + "/drivers/Nt2000/TarvGI.dll");
    Outcome run = Run(options);
    EXPECT_EQ(Completion(run), nullptr) << run.Describe();
    std::vector<std::string> boxes = Boxes(run);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), std::string("TarvGI.dll|") + kCopyFailed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.unusedAnswers, 0);
    // The earlier installation was purged; nothing new took its place.
    EXPECT_EQ(QueueLine(), "");
    EXPECT_EQ(DriverLine(), "");
    EXPECT_FALSE(FileExists(InDriverFolder("Tarv.ini")));  // the list stopped at its second entry
    EXPECT_FALSE(FileExists(InInfFolder("tarv.inf")));
    EXPECT_FALSE(ServiceExists());
}

TEST_F(Install, GivingUpOnACommonFileKeepsTheRegistrations)
{
    Options options = SetupOptions("/OS=WINNTXP", { "click 6", "select LPT1:;click 1", "click 1", "click 7" });
    fs::remove(options.media + "/drivers/Commun/hwport.dll");
    Outcome run = Run(options);
    EXPECT_EQ(Completion(run), nullptr) << run.Describe();
    std::vector<std::string> boxes = Boxes(run);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), std::string("hwport.dll|") + kCopyFailed);
    EXPECT_EQ(run.unusedAnswers, 0);
    ExpectQueueOn("LPT1:");
    ExpectNtDriver();
    EXPECT_FALSE(FileExists(InSystemFolder("tarvcomm.exe")));
    EXPECT_FALSE(ServiceExists());
}

TEST_F(Install, UnknownFoldersAreReportedBeforeAnyChange)
{
    ASSERT_NO_FATAL_FAILURE(RegisterEarlier());
    Outcome run = Run(SetupOptions("/OS=WINNTXP", { "click 6", "select LPT1:;click 1", "click 1" }),
                      "GetPrinterDriverDirectoryA=5");
    EXPECT_EQ(Boxes(run), std::vector<std::string>{ kNoFolders }) << run.Describe();
    EXPECT_EQ(Completion(run), nullptr);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(RawField(QueueLine(), "port"), "COM2:");
    EXPECT_EQ(RawField(DriverLine(), "driver"), Registered("Old.dll"));
    EXPECT_FALSE(FileExists(InSystemFolder("hwport.dll")));
    EXPECT_FALSE(ServiceExists());
}
