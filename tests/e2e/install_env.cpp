#include "tests/e2e/install_env.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <cstring>
#include <strings.h>
#include <filesystem>

#include <gtest/gtest.h>

using namespace e2e;

namespace fs = std::filesystem;

namespace install {

const char kModel[] = "Corvan Tessik";
const char kSharingDriver[] = "Tarv Test Sharing";

namespace {

const char *const kDriverFiles[] = { "TarvUI.dll", "TarvGI.dll", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp", "Tarv.drv" };
const char *const kCommonFiles[] = { "hwport.dll", "tarvcomm.exe" };

std::vector<std::string> g_ports;

void RemoveFile(const std::string &path)
{
    std::error_code error;
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, error);
    fs::remove(path, error);
}

std::string FirstLine(const std::vector<std::string> &lines)
{
    return lines.empty() ? std::string() : lines.front();
}

bool HasText(const Window &window, const std::string &text)
{
    for (const Control &control : window.controls)
        if (control.text == text)
            return true;
    return false;
}

}  // namespace

void CleanInstallState()
{
    std::error_code error;
    Probe({ "delete-printer", kModel, "delete-driver", kModel, "delete-driver", kSharingDriver, "delete-service",
            "hwbridge", "clear-pending-renames" });
    for (const std::string folder : { "", "3/" })
        for (const char *name : kDriverFiles) {
            RemoveFile(InDriverFolder(folder + name));
            RemoveFile(InDriverFolder(folder + WithExtension(name, ".bku")));
        }
    for (const char *name : kCommonFiles) {
        RemoveFile(InSystemFolder(name));
        RemoveFile(InSystemFolder(WithExtension(name, ".bku")));
    }
    RemoveFile(KernelDriverFile());
    // What a run cut short or a purge of a file in use may leave: the undo
    // journal, its copies, files renamed aside ("trvXXXX.tmp").
    RemoveFile(StateFolder() + "/TarvSetup.jnl");
    RemoveFile(StateFolder() + "/TarvUndo.exe");
    for (const std::string &folder : { InDriverFolder(""), InDriverFolder("3"), InSystemFolder(""),
                                       UnixPath(WindowsFolder() + "\\system32\\drivers"), StateFolder(),
                                       UnixPath(WindowsFolder() + "\\inf") })
        for (const auto &entry : fs::directory_iterator(folder, error)) {
            std::string name = entry.path().filename().string();
            if (strncasecmp(name.c_str(), "trv", 3) == 0 && name.size() >= 8 && name.size() <= 11
                && strcasecmp(name.c_str() + name.size() - 4, ".tmp") == 0)
                RemoveFile(entry.path().string());
        }
    // The setup library keeps the INF's name, or picks oemN.inf when it is taken.
    for (const auto &entry : fs::directory_iterator(UnixPath(WindowsFolder() + "\\inf"), error)) {
        std::string name = entry.path().filename().string();
        bool ours = name == "tarv.inf" || name == "tarv.pnf"
                    || (name.rfind("oem", 0) == 0 && ReadFile(entry.path().string()).find(kModel) != std::string::npos);
        if (ours) {
            RemoveFile(entry.path().string());
            RemoveFile(WithExtension(entry.path().string(), ".pnf"));  // its precompiled form
        }
    }
}

void AddTestPort(const std::string &name)
{
    std::string out = Probe({ "add-port", name });
    ASSERT_NE(out.find("ADD-PORT 1"), std::string::npos) << out;
    g_ports.push_back(name);
}

void RemoveTestPorts()
{
    for (const std::string &name : g_ports)
        Probe({ "delete-port", name });
    g_ports.clear();
}

Options SetupOptions(const std::string &tail, const std::vector<std::string> &answers)
{
    Options options;
    options.media = MakeMedia("install");
    options.tail = tail;
    options.answers = answers;
    return options;
}

std::string RawField(const std::string &line, const std::string &key)
{
    std::string marker = " " + key + "=\"";
    size_t start = line.find(marker);
    if (start == std::string::npos)
        return std::string();
    start += marker.size();
    return line.substr(start, line.find('"', start) - start);
}

static std::string LineNamed(const char *what, const char *prefix, const std::string &name)
{
    for (const std::string &line : ProbeLines({ what }, prefix))
        if (RawField(line, "name") == name)
            return line;
    return std::string();
}

std::string QueueLine() { return LineNamed("printers", "PRINTER", kModel); }
std::string DriverLine() { return LineNamed("drivers", "DRIVER", kModel); }
std::string ServiceLine() { return FirstLine(ProbeLines({ "service", "hwbridge" }, "SERVICE")); }

std::vector<std::string> Boxes(const Outcome &run)
{
    std::vector<std::string> boxes;
    for (const Window &window : run.windows) {
        if (!window.IsMessageBox() || Completion(run) == &window || window.Find(1018))
            continue;
        if (window.title.empty() && window.MessageText().rfind("Please confirm", 0) == 0)
            continue;
        boxes.push_back(window.title + "|" + window.MessageText());
    }
    return boxes;
}

void ExpectCompleted(const Outcome &run)
{
    const Window *completion = Completion(run);
    ASSERT_NE(completion, nullptr) << run.Describe();
    EXPECT_EQ(completion, &run.windows.back());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.unusedAnswers, 0) << run.Describe();
}

std::string WithExtension(const std::string &name, const std::string &extension)
{
    return name.substr(0, name.rfind('.')) + extension;
}

const Window *Completion(const Outcome &run)
{
    for (const Window &window : run.windows)
        if (HasText(window, "Setup is complete !"))
            return &window;
    return nullptr;
}

const Window *PortDialog(const Outcome &run)
{
    for (const Window &window : run.windows)
        if (window.title == "Port Selection")
            return &window;
    return nullptr;
}

// Wine's C: drive is case-insensitive: each component is found on disk.
static std::string Below(const std::string &folder, std::string name)
{
    for (char &c : name)
        if (c == '/')
            c = '\\';
    return UnixPath(folder + "\\" + name);
}

std::string InDriverFolder(const std::string &name) { return Below(DriverFolder(), name); }
std::string InSystemFolder(const std::string &name) { return Below(SystemFolder(), name); }
std::string InInfFolder(const std::string &name) { return Below(WindowsFolder(), "inf\\" + name); }
std::string KernelDriverFile() { return Below(WindowsFolder(), "system32\\drivers\\hwbridge.sys"); }

std::string InFolders(std::string text)
{
    const std::pair<const char *, std::string> folders[] = {
        { "{drivers}", DriverFolder() }, { "{system}", SystemFolder() }, { "{windows}", WindowsFolder() } };
    for (const auto &folder : folders)
        for (size_t at = text.find(folder.first); at != std::string::npos; at = text.find(folder.first, at))
            text.replace(at, strlen(folder.first), folder.second);
    return text;
}

std::function<void()> HoldFileOpen(const std::string &path, bool asLibrary)
{
    std::string ready = WorkRoot() + "/held.ready", release = WorkRoot() + "/held.release";
    fs::remove(ready);
    fs::remove(release);
    auto holder = std::make_shared<std::thread>(
        [=] { Probe({ asLibrary ? "hold-library" : "hold-file", WinPath(path), WinPath(ready), WinPath(release) }); });
    for (int waited = 0; waited < 30000 && !FileExists(ready); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return [=] {
        WriteFile(release, "");
        holder->join();
    };
}

// A hash of the bytes, so that a snapshot tells a file put back byte for
// byte from another of the same size.
static std::string ContentHash(const std::string &path)
{
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : ReadFile(path))
        hash = (hash ^ c) * 1099511628211ull;
    char text[24];
    snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

static bool ProductName(const std::string &name)
{
    std::string lower = name;
    for (char &c : lower)
        c = (char)tolower((unsigned char)c);
    return lower.rfind("tarv", 0) == 0 || lower.rfind("hwport", 0) == 0 || lower.rfind("trv", 0) == 0
           || (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".bku") == 0);
}

// Names, sizes and content hashes below a folder, one line each, sorted;
// time stamps left out. In the system folder, whose hundreds of system files
// no run touches, only the product's names are hashed.
static std::string Listing(const std::string &folder, bool recursive, bool hashAll = true, bool logs = true)
{
    std::vector<std::string> lines;
    std::error_code error;
    auto add = [&](const fs::directory_entry &entry) {
        if (!entry.is_regular_file(error))
            return;
        std::string name = entry.path().filename().string();
        if (!logs && name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
            return;
        lines.push_back(entry.path().lexically_relative(folder).string() + " " + std::to_string(entry.file_size(error))
                        + (hashAll || ProductName(name) ? " " + ContentHash(entry.path().string()) : ""));
    };
    if (recursive)
        for (const auto &entry : fs::recursive_directory_iterator(folder, error))
            add(entry);
    else
        for (const auto &entry : fs::directory_iterator(folder, error))
            add(entry);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

std::string StateFolder() { return Below(SystemFolder(), "LogFiles\\TarvSetup"); }

std::string MachineSnapshot()
{
    std::string text = Probe({ "printers", "drivers", "service", "hwbridge", "pending-renames" });
    text += "== printer drivers\n" + Listing(UnixPath(DriverFolder()), true);
    text += "== system folder\n" + Listing(UnixPath(SystemFolder()), false, false);
    text += "== kernel drivers\n" + Listing(UnixPath(WindowsFolder() + "\\system32\\drivers"), false);
    text += "== INF folder\n" + Listing(UnixPath(WindowsFolder() + "\\inf"), false);
    // Runs without /LOG= log there: what counts is what else is left.
    text += "== state folder\n" + Listing(StateFolder(), true, true, false);
    return text;
}

std::string MediaFile(const std::string &relative)
{
    return ReadFile(WinBin() + "/drivers/" + relative);
}

}  // namespace install
