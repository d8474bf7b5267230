// Helpers of the installation tests: running a setup on the sample media,
// reading back the spooler and service records, and leaving the prefix as it
// was found (no queue, driver, service, copied files, INF copies or extra ports).
#ifndef TARV_E2E_INSTALL_ENV_H
#define TARV_E2E_INSTALL_ENV_H

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace install {

extern const char kModel[];
extern const char kSharingDriver[];  // another driver a test registers, listing a file of the model's name

// Removes everything a setup can leave behind.
void CleanInstallState();

// Rows of a table that each start and end on a machine without the printer.
class CleanMachineRows : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override { CleanInstallState(); }
    void TearDown() override { CleanInstallState(); }
};

// Adds ports to the spooler's list for one test; RemoveTestPorts takes them away.
void AddTestPort(const std::string &name);
void RemoveTestPorts();

// Runs Setup.exe with the tail on a fresh copy of the sample media.
e2e::Options SetupOptions(const std::string &tail, const std::vector<std::string> &answers);

// A field of a probe line read raw: the probe prints Windows paths unescaped.
std::string RawField(const std::string &line, const std::string &key);

// The probe's line for the model's queue or driver, or "" when there is none.
std::string QueueLine();
std::string DriverLine();
std::string ServiceLine();

// Message boxes of a run as "caption|text", in order; the confirmation and
// the completion dialog are not message boxes here.
std::vector<std::string> Boxes(const e2e::Outcome &run);

// The run reached the completion dialog, its last window, and used every answer.
void ExpectCompleted(const e2e::Outcome &run);

// NAME with its last extension replaced (".bku" gives the backup's name).
std::string WithExtension(const std::string &name, const std::string &extension);

// The completion dialog of a run, or null.
const e2e::Window *Completion(const e2e::Outcome &run);
const e2e::Window *PortDialog(const e2e::Outcome &run);

std::string InDriverFolder(const std::string &name);
std::string InSystemFolder(const std::string &name);
std::string InInfFolder(const std::string &name);
std::string KernelDriverFile();
// The program's own folder below the system folder (the undo journal).
std::string StateFolder();

// The text with "{drivers}", "{system}" and "{windows}" replaced by the
// printer-driver, system and Windows folders the prefix reports, so that an
// expected path never names one architecture's folders.
std::string InFolders(std::string text);

// Holds a file open without sharing (the probe, in a thread of its own) until
// the returned function is called; or, asLibrary, keeps it loaded as a DLL.
std::function<void()> HoldFileOpen(const std::string &path, bool asLibrary = false);

// What the machine holds that a setup or removal may change: the spooler's
// printers and drivers, the hwbridge service, the renames due at restart and
// the files (names, sizes and content) of the printer-driver, system,
// kernel-driver, INF and state folders.
std::string MachineSnapshot();

// Content of a sample media file as laid out by the build.
std::string MediaFile(const std::string &relative);

}  // namespace install

#endif
