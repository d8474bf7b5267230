// Port selection: the list of the spooler's ports, the choice and its cancellation.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/install_env.h"

using namespace e2e;
using namespace install;

namespace {

class PortDialog : public ::testing::Test {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override
    {
        RemoveTestPorts();
        CleanInstallState();
    }

    // A simple setup answered with the port-dialog answer (and Quit when it completes).
    static Outcome Run(const std::string &portAnswer, bool completes, const std::string &faults = "")
    {
        std::vector<std::string> answers = { "click 6", portAnswer };
        if (completes)
            answers.push_back("click 1");
        Options options = SetupOptions("/OS=WINNTXP /ONLYADDPRINTDEVICE", answers);
        if (!faults.empty()) {
            options.inject = true;
            options.env["TARV_FAULTS"] = faults;
        }
        return RunSetup(options);
    }

    static std::vector<std::string> Lines(const Outcome &run)
    {
        const Window *dialog = install::PortDialog(run);
        const Control *list = dialog ? dialog->Find(1018) : nullptr;
        return list ? list->lines : std::vector<std::string>();
    }

    // A run that ended in the port dialog: no message, no change.
    static void ExpectCancelled(const Outcome &run)
    {
        ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
        EXPECT_NE(install::PortDialog(run), nullptr);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.unusedAnswers, 0);
    }
};

}  // namespace

TEST_F(PortDialog, ListsEveryPortSortedWithNothingSelected)
{
    // The spooler lists "B-Z:" before "BA:"; the list sorts it the other way.
    AddTestPort("B-Z:");
    AddTestPort("BA:");
    std::vector<std::string> spooler;
    for (const std::string &line : ProbeLines({ "ports" }, "PORT"))
        spooler.push_back(RawField(line, "name"));
    auto at = [&spooler](const char *name) { return std::find(spooler.begin(), spooler.end(), name); };
    ASSERT_LT(at("B-Z:"), at("BA:"));

    Outcome run = Run("click 2", false);
    ASSERT_NO_FATAL_FAILURE(ExpectCancelled(run));
    const Window &dialog = *install::PortDialog(run);
    EXPECT_EQ(dialog.owner, "main");
    EXPECT_EQ(dialog.focus, 1);
    EXPECT_EQ(dialog.defId, 1);
    EXPECT_EQ(dialog.Find(1018)->selected, -1);
    const std::vector<std::string> expected = {
        "BA:  (Local Port)", "B-Z:  (Local Port)", "COM1:  (Local Port)", "COM2:  (Local Port)",
        "COM3:  (Local Port)", "COM4:  (Local Port)", "FILE:  (Local Port)", "LPT1:  (Local Port)",
        "LPT2:  (Local Port)", "LPT3:  (Local Port)",
    };
    EXPECT_EQ(Lines(run), expected);
}

TEST_F(PortDialog, CancelEscapeAndCloseEndTheSetupWithoutChange)
{
    // An earlier installation stays as it is: the purge comes after the port.
    ASSERT_NE(Probe({ "add-driver", kModel, "TarvGI.dll", "Tarv.ini", "TarvUI.dll", "-", "Tarv.ini" })
                  .find("ADD-DRIVER 1"), std::string::npos);
    ASSERT_NE(Probe({ "add-printer", kModel, "COM2:", kModel }).find("ADD-PRINTER 1"), std::string::npos);
    for (const char *answer : { "select LPT1:;click 2", "select LPT1:;escape", "select LPT1:;close" }) {
        SCOPED_TRACE(answer);
        ASSERT_NO_FATAL_FAILURE(ExpectCancelled(Run(answer, false)));
        EXPECT_EQ(RawField(QueueLine(), "port"), "COM2:");
        EXPECT_NE(DriverLine(), "");
    }
}

TEST_F(PortDialog, OnlyOkConfirmsAndOnlyWithASelection)
{
    // OK with nothing selected and a double-click on a line leave the dialog open.
    Outcome run = Run("click 1;wait 400;select LPT2:;dblclick 1018;wait 400;click 2", false);
    ASSERT_NO_FATAL_FAILURE(ExpectCancelled(run));
    EXPECT_EQ(std::count(run.events.begin(), run.events.end(), "STILL-OPEN"), 2) << run.Describe();
    EXPECT_EQ(QueueLine(), "");

    run = Run("select LPT2:;click 1", true);
    EXPECT_EQ(Boxes(run), std::vector<std::string>{});
    EXPECT_EQ(RawField(QueueLine(), "port"), "LPT2:");
}

TEST_F(PortDialog, PortNameEndsAtTheFirstBlankButNotAtATab)
{
    AddTestPort("My Port:");
    AddTestPort("Tab\tPort:");
    struct Case { const char *line; const char *port; };
    for (const Case &c : { Case{ "My Port:  (Local Port)", "My" }, Case{ "Tab\tPort:  (Local Port)", "Tab\tPort:" } }) {
        SCOPED_TRACE(c.port);
        Outcome run = Run(std::string("select ") + c.line + ";click 1", true);
        EXPECT_NE(std::find(Lines(run).begin(), Lines(run).end(), c.line), Lines(run).end()) << run.Describe();
        EXPECT_NE(Completion(run), nullptr);
        EXPECT_EQ(RawField(QueueLine(), "port"), c.port);
    }
}

TEST_F(PortDialog, LongNamesAreKeptWholeOrLeftOut)
{
    const std::string cut(70, 'C');    // room for two characters of the description
    const std::string whole(79, 'W');  // fills the line alone
    const std::string over(80, 'X');   // cannot be named in the port buffer
    AddTestPort(cut);
    AddTestPort(whole);
    AddTestPort(over);
    Outcome run = Run("select " + whole + ";click 1", true);
    std::vector<std::string> lines = Lines(run);
    EXPECT_NE(std::find(lines.begin(), lines.end(), cut + "  (Lo...)"), lines.end()) << run.Describe();
    EXPECT_NE(std::find(lines.begin(), lines.end(), whole), lines.end());
    for (const std::string &line : lines)
        EXPECT_NE(line.substr(0, 1), "X") << line;
    EXPECT_EQ(RawField(QueueLine(), "port"), whole);
}

TEST_F(PortDialog, EmptyListLeavesOnlyCancel)
{
    // Wine always lists its local ports: the spooler's refusal stands in for none.
    Outcome run = Run("click 1;wait 400;enter;wait 400;click 2", false, "EnumPortsA=1722");
    ASSERT_NO_FATAL_FAILURE(ExpectCancelled(run));
    EXPECT_EQ(Lines(run), std::vector<std::string>{});
    EXPECT_EQ(std::count(run.events.begin(), run.events.end(), "STILL-OPEN"), 2);
    EXPECT_EQ(QueueLine(), "");
}
