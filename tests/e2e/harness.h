// End-to-end harness: runs Setup.exe under Wine through the test robot and
// reads back the robot's transcript and the state left in the Wine prefix.
#ifndef TARV_E2E_HARNESS_H
#define TARV_E2E_HARNESS_H

#include <map>
#include <string>
#include <vector>

namespace e2e {

struct Control {
    int id = 0;
    std::string className;
    unsigned long style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string text;
    std::vector<std::string> lines;  // list-box lines
    int selected = -1;               // list-box selection
    long rangeLow = -1, rangeHigh = -1, pos = -1;  // progress bar at first sight
};

struct Window {
    int index = 0;
    std::string className;
    std::string title;
    unsigned long style = 0;
    unsigned long exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string owner;  // "main", "none" or the index of the owning window
    int foreground = 0;
    int defId = 0;
    int focus = 0;      // control ID with the focus, 0 if none
    long openedAt = -1, answeredAt = -1, closedAt = -1;
    std::string answer;
    std::vector<Control> controls;
    std::vector<long> progress;  // every position the robot saw after the first sight
    long progressHigh = -1;

    const Control *Find(int id) const;
    std::string Text(int id) const;  // "" when there is no such control
    // A message box: the static with ID 0xFFFF carries its text.
    bool IsMessageBox() const { return Find(65535) != nullptr && Find(1017) == nullptr && className == "#32770"; }
    std::string MessageText() const { return Text(65535); }
    // Button IDs in the box, in the order they were listed.
    std::vector<int> Buttons() const;
};

struct Outcome {
    int exitCode = -1;
    int secondExitCode = -1;  // the second copy's, with Options::twice
    bool timedOut = false;
    bool unanswered = false;
    int unusedAnswers = 0;
    long exitAt = -1;
    std::string transcript;
    std::string wineOutput;               // what Wine printed (a crash report, say)
    std::vector<std::string> unreadable;  // transcript lines that could not be parsed
    std::vector<Window> windows;
    std::vector<std::string> mainTitles;  // each title the main window showed, in order
    std::vector<int> mainIconic;          // the iconic state recorded with each
    std::vector<std::string> events;      // other robot lines (SYSMENU, AFTER-*, STILL-OPEN, ...)

    // Windows whose class is a dialog, in order of appearance.
    const Window &At(size_t index) const { return windows.at(index); }
    std::vector<const Window *> MessageBoxes() const;
    // The transcript, and Wine's own output when there is any.
    std::string Describe() const;
    // The robot saw the program end and every line of its transcript was read.
    bool Complete() const { return unreadable.empty() && (exitAt >= 0 || timedOut); }
};

struct Options {
    std::string media;        // unix folder holding Setup.exe and drivers/ (MakeMedia)
    std::string cwd;          // working folder; defaults to media
    std::string program;      // defaults to media/Setup.exe
    std::string tail;         // command-line tail
    bool tailFromFile = false;
    std::string version = "win2k";  // Wine's reported Windows version, "default" to clear
    std::string locale;       // LC_ALL for the program; default English
    std::vector<std::string> answers;
    bool closeMainEarly = false;
    bool probeMain = false;   // needs inject to read the system menu
    bool inject = false;      // loads tools/inject into Setup.exe; faults from env["TARV_FAULTS"]
    bool injectEarly = false; // loads it before the main window exists (start-up faults,
                              // env["TARV_DENY_WINDOW_CLASS"])
    bool injectAtStart = false; // loads it before the program's first instruction (quiet runs,
                                // which have no window to hook)
    bool twice = false;       // a second copy started at the same moment (runs without windows)
    bool cutShort = false;    // the test ends the Wine session while the run stands paused
    int timeoutMs = 60000;
    std::map<std::string, std::string> env;  // extra environment (WINEDLLOVERRIDES, ...)
};

// Prepares a fresh copy of the distribution media (Setup.exe and, when the
// build produced it, the drivers folder) in a folder of its own; returns it.
std::string MakeMedia(const std::string &name, bool withDrivers = true);

Outcome RunSetup(const Options &options);

// Runs the probe tool with the given commands and returns its output.
std::string Probe(const std::vector<std::string> &args);

// Lines of the probe output that start with prefix.
std::vector<std::string> ProbeLines(const std::vector<std::string> &args, const std::string &prefix);

// Value of key in a probe line (key="value" or key=value).
std::string Field(const std::string &line, const std::string &key);

// Windows path for a unix path (Wine's Z: drive) and back; C: maps into the prefix.
std::string WinPath(const std::string &unixPath);
std::string UnixPath(const std::string &winPath);

// Folders of the prefix as the system reports them (Windows form).
std::string SystemFolder();
std::string DriverFolder();
std::string WindowsFolder();
std::string TempFolder();
std::string ProgramFilesFolder();  // of the tests' architecture, where its package installs

std::string Prefix();
std::string WinBin();       // Setup.exe and its media, as built for the tests
std::string ToolsBin();     // the test tools (robot, probe, inject.dll, ...) of the same build
std::string WorkRoot();     // scratch space for the tests

bool FileExists(const std::string &unixPath);
std::string ReadFile(const std::string &unixPath);
void WriteFile(const std::string &unixPath, const std::string &content);
void RemoveAll(const std::string &unixPath);
// The read-only attribute as Wine maps it: no write permission for anyone.
void SetReadOnly(const std::string &unixPath, bool readOnly = true);
bool Writable(const std::string &unixPath);

// What a restart of the machine does to the prefix: every Windows process
// ends (services and kernel drivers with them), then Wine starts again and
// carries out the renames and deletions due at restart. The wineserver is
// kept alive again, as between tests.
void RestartWine();

// Runs a command (argv) with the Wine environment and returns its exit code;
// standard output is appended to *output and standard error to *errors when given.
int RunWine(const std::vector<std::string> &args, std::string *output = nullptr,
            const std::map<std::string, std::string> &env = {}, std::string *errors = nullptr);

}  // namespace e2e

#endif
