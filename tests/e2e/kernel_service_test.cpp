// The hwbridge kernel service of the complete setup on the NT family:
// re-creation over an earlier service and the reports of each failing step.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/e2e/install_env.h"

using namespace e2e;
using namespace install;

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kAnswers = { "click 6", "select LPT1:;click 1", "click 1" };

class KernelService : public ::testing::Test {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override { CleanInstallState(); }

    static std::string State() { return Field(ServiceLine(), "state"); }
    static bool DeviceOpens() { return Field(Probe({ "device", "hwbridge" }), "open") == "1"; }

    // Message boxes with the service's caption, shown with no owner.
    static std::vector<std::string> ServiceBoxes(const Outcome &run)
    {
        std::vector<std::string> texts;
        for (const Window &window : run.windows)
            if (window.IsMessageBox() && window.title == "Install Driver") {
                EXPECT_EQ(window.owner, "none");
                EXPECT_EQ(window.Buttons(), std::vector<int>{ 1 });
                texts.push_back(window.MessageText());
            }
        return texts;
    }
};

}  // namespace

TEST_F(KernelService, SecondCompleteSetupReplacesTheRunningService)
{
    Outcome first = RunSetup(SetupOptions("/OS=WINNTXP", kAnswers));
    ASSERT_NE(Completion(first), nullptr) << first.Describe();
    ASSERT_EQ(State(), "4");
    // An older driver file is overwritten.
    WriteFile(KernelDriverFile(), "old");

    Outcome second = RunSetup(SetupOptions("/OS=WINNT40", kAnswers));
    ASSERT_NE(Completion(second), nullptr) << second.Describe();
    EXPECT_EQ(Boxes(second), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(KernelDriverFile()), MediaFile("Commun/hwbridge.sys"));
    EXPECT_EQ(State(), "4");
    EXPECT_TRUE(DeviceOpens());
}

TEST_F(KernelService, ServiceStillMarkedForDeletionCannotBeCreatedAgain)
{
    Outcome first = RunSetup(SetupOptions("/OS=WINNTXP", kAnswers));
    ASSERT_EQ(State(), "4") << first.Describe();

    // Another process holds the old service open (long enough for the setup
    // to reach it on a loaded machine), so deleting it only marks it. Without
    // its file the old service cannot start again either.
    Options options = SetupOptions("/OS=WINNTXP", { "click 6", "select LPT1:;click 1", "click 1", "click 1",
                                                    "click 1", "click 1" });
    fs::remove(options.media + "/drivers/Commun/hwbridge.sys");
    fs::remove(KernelDriverFile());
    std::string held;
    std::thread holder([&held] { held = Probe({ "hold-service", "hwbridge", "40000" }); });
    Outcome run = RunSetup(options);
    holder.join();
    EXPECT_NE(held.find("HOLD-SERVICE 1"), std::string::npos) << held;

    ASSERT_NE(Completion(run), nullptr) << run.Describe();
    std::vector<std::string> texts = ServiceBoxes(run);
    // The start and the device check still ran and reported what they met:
    // the marked service opens but its driver is gone.
    ASSERT_EQ(texts.size(), 3u) << run.Describe();
    EXPECT_EQ(texts[0], "Error CreateSC 1072\r\n");
    EXPECT_EQ(texts[1].rfind("Error StartSC ", 0), 0u) << texts[1];
    EXPECT_EQ(texts[2], "Error CreateFile 2\r\n");
}

TEST_F(KernelService, MissingDriverFileIsNotReportedByTheCopy)
{
    Options options = SetupOptions("/OS=WINNTXP", { "click 6", "select LPT1:;click 1", "click 1", "click 1",
                                                    "click 1" });
    fs::remove(options.media + "/drivers/Commun/hwbridge.sys");
    Outcome run = RunSetup(options);
    ASSERT_NE(Completion(run), nullptr) << run.Describe();
    std::vector<std::string> texts = ServiceBoxes(run);
    // Creation succeeds (the binary path is not checked then); the start and
    // the device check meet the missing file.
    ASSERT_EQ(texts.size(), 2u) << run.Describe();
    EXPECT_EQ(texts[0].rfind("Error StartSC ", 0), 0u) << texts[0];
    EXPECT_EQ(texts[1], "Error CreateFile 2\r\n");
    EXPECT_EQ(Boxes(run).size(), 2u);
    EXPECT_EQ(Field(ServiceLine(), "exists"), "1");
    EXPECT_FALSE(FileExists(KernelDriverFile()));
}

TEST_F(KernelService, ServiceManagerRefusedStillCopiesAndChecks)
{
    Outcome run = RunSetup([] {
        Options options = SetupOptions("/OS=WINNTXP", { "click 6", "select LPT1:;click 1", "click 1", "click 1",
                                                        "click 1", "click 1" });
        options.inject = true;
        options.env["TARV_FAULTS"] = "OpenSCManagerA=5";
        return options;
    }());
    ASSERT_NE(Completion(run), nullptr) << run.Describe();
    EXPECT_EQ(ServiceBoxes(run), (std::vector<std::string>{ "Error OpenSC 5\r\n", "Error CreateSC 6\r\n",
                                                             "Error CreateFile 2\r\n" }));
    EXPECT_EQ(ReadFile(KernelDriverFile()), MediaFile("Commun/hwbridge.sys"));
    EXPECT_EQ(Field(ServiceLine(), "exists"), "0");
    // Nothing else reported, and the rest of the setup is in place.
    EXPECT_EQ(Boxes(run).size(), 3u) << run.Describe();
    EXPECT_NE(QueueLine(), "");
    EXPECT_NE(DriverLine(), "");
    EXPECT_EQ(ReadFile(InSystemFolder("hwport.dll")), MediaFile("Commun/hwport.dll"));
    EXPECT_EQ(ReadFile(InSystemFolder("tarvcomm.exe")), MediaFile("Commun/Tarvcomm.exe"));
}
