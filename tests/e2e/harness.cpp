#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

extern char **environ;

namespace fs = std::filesystem;

namespace e2e {

namespace {

bool Is32Bit() { return std::string(TARV_E2E_ARCH) == "i686"; }

std::string WineLoader() { return Is32Bit() ? "/usr/lib/wine/wine" : "/usr/lib/wine/wine64"; }

std::map<std::string, std::string> WineEnvironment()
{
    std::map<std::string, std::string> env;
    for (char **entry = environ; *entry; entry++) {
        const char *eq = strchr(*entry, '=');
        if (eq)
            env[std::string(*entry, (size_t)(eq - *entry))] = eq + 1;
    }
    env["WINEPREFIX"] = Prefix();
    env["WINEARCH"] = Is32Bit() ? "win32" : "win64";
    env["WINELOADER"] = WineLoader();
    env["WINEDEBUG"] = "-all";
    env["LC_ALL"] = "en_US.UTF-8";
    // A crashing program ends at once with its exception code instead of
    // waiting in the debugger.
    env["WINEDLLOVERRIDES"] = "winedbg.exe=d";
    env.erase("DISPLAY");
    return env;
}

int Spawn(const std::vector<std::string> &args, const std::map<std::string, std::string> &env,
          std::string *output, std::string *errors = nullptr)
{
    std::vector<std::string> envStrings;
    for (const auto &item : env)
        envStrings.push_back(item.first + "=" + item.second);
    std::vector<char *> envp;
    for (auto &item : envStrings)
        envp.push_back(item.data());
    envp.push_back(nullptr);
    std::vector<char *> argv;
    std::vector<std::string> argsCopy = args;
    for (auto &item : argsCopy)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    // Output goes to a file, never a pipe: a wineserver started by this call
    // inherits the descriptors and outlives the call.
    char outputPath[] = "/tmp/tarv-e2e-XXXXXX";
    char errorPath[] = "/tmp/tarv-e2e-err-XXXXXX";
    int outputFd = mkstemp(outputPath);
    if (outputFd < 0)
        return -1;
    int errorFd = errors ? mkstemp(errorPath) : -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    if (errorFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outputFd);
    int status = 0;
    if (rc == 0)
        waitpid(pid, &status, 0);
    if (output)
        *output += ReadFile(outputPath);
    unlink(outputPath);
    if (errorFd >= 0) {
        close(errorFd);
        *errors += ReadFile(errorPath);
        unlink(errorPath);
    }
    if (rc != 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Parses key=value and key="escaped value" pairs after the first words.
std::map<std::string, std::string> Pairs(const std::string &line)
{
    std::map<std::string, std::string> pairs;
    size_t i = 0;
    while (i < line.size()) {
        size_t eq = line.find('=', i);
        if (eq == std::string::npos)
            break;
        size_t keyStart = line.rfind(' ', eq);
        keyStart = keyStart == std::string::npos ? 0 : keyStart + 1;
        std::string key = line.substr(keyStart, eq - keyStart);
        std::string value;
        size_t j = eq + 1;
        if (j < line.size() && line[j] == '"') {
            for (j++; j < line.size() && line[j] != '"'; j++) {
                if (line[j] == '\\' && j + 1 < line.size()) {
                    char c = line[++j];
                    if (c == 'r') value += '\r';
                    else if (c == 'n') value += '\n';
                    else if (c == 't') value += '\t';
                    else if (c == 'x' && j + 2 < line.size()) {
                        value += (char)std::stoi(line.substr(j + 1, 2), nullptr, 16);
                        j += 2;
                    } else value += c;
                } else {
                    value += line[j];
                }
            }
            j++;
        } else {
            size_t end = line.find(' ', j);
            if (end == std::string::npos)
                end = line.size();
            value = line.substr(j, end - j);
            j = end;
        }
        pairs[key] = value;
        i = j;
    }
    return pairs;
}

std::string Unquote(const std::string &quoted)
{
    return Pairs("x=" + quoted)["x"];
}

void ParseRect(const std::string &text, int *x, int *y, int *w, int *h)
{
    sscanf(text.c_str(), "%d,%d,%d,%d", x, y, w, h);
}

Window *WindowByIndex(Outcome &run, int index)
{
    for (auto &window : run.windows)
        if (window.index == index)
            return &window;
    return nullptr;
}

// Reads one transcript line into run; throws on a malformed one.
void ParseLine(const std::string &line, Outcome &run, Window *&current)
{
    if (line.rfind("  CONTROL ", 0) == 0 && current) {
        auto pairs = Pairs(line);
        Control control;
        control.id = std::stoi(pairs["id"]);
        control.className = pairs["class"];
        control.style = std::stoul(pairs["style"], nullptr, 16);
        control.text = pairs["text"];
        ParseRect(pairs["rect"], &control.x, &control.y, &control.width, &control.height);
        if (pairs.count("range"))
            sscanf(pairs["range"].c_str(), "%ld..%ld", &control.rangeLow, &control.rangeHigh);
        if (pairs.count("pos"))
            control.pos = std::stol(pairs["pos"]);
        current->controls.push_back(control);
        return;
    }
    if (line.rfind("    LINE ", 0) == 0 && current && !current->controls.empty()) {
        current->controls.back().lines.push_back(Unquote(line.substr(9)));
        return;
    }
    if (line.rfind("    SELECTED ", 0) == 0 && current && !current->controls.empty()) {
        current->controls.back().selected = std::stoi(line.substr(13));
        return;
    }
    if (line.rfind("UNUSED-ANSWERS ", 0) == 0) {
        run.unusedAnswers = std::stoi(line.substr(15));
        return;
    }
    if (line.empty() || line[0] != '@')
        return;
    size_t space = line.find(' ');
    long at = std::stol(line.substr(1, space - 1));
    std::string rest = line.substr(space + 1);
    std::string word = rest.substr(0, rest.find(' '));
    if (word == "WINDOW") {
        Window window;
        window.index = std::stoi(rest.substr(7));
        auto pairs = Pairs(rest);
        window.className = pairs["class"];
        window.title = pairs["title"];
        window.style = std::stoul(pairs["style"], nullptr, 16);
        window.exStyle = std::stoul(pairs["exstyle"], nullptr, 16);
        ParseRect(pairs["rect"], &window.x, &window.y, &window.width, &window.height);
        window.owner = pairs["owner"];
        window.foreground = std::stoi(pairs["fg"]);
        window.defId = std::stoi(pairs["defid"]);
        window.focus = std::stoi(pairs["focus"]);
        window.openedAt = at;
        run.windows.push_back(window);
        current = &run.windows.back();
    } else if (word == "ANSWER") {
        int index = std::stoi(rest.substr(7));
        if (Window *window = WindowByIndex(run, index)) {
            window->answeredAt = at;
            window->answer = rest.substr(rest.find(": ") + 2);
        }
    } else if (word == "CLOSED") {
        if (Window *window = WindowByIndex(run, std::stoi(rest.substr(7))))
            window->closedAt = at;
    } else if (word == "PROGRESS") {
        auto pairs = Pairs(rest);
        if (Window *window = WindowByIndex(run, std::stoi(rest.substr(9)))) {
            window->progress.push_back(std::stol(pairs["pos"]));
            window->progressHigh = std::stol(pairs["high"]);
        }
    } else if (word == "MAIN") {
        auto pairs = Pairs(rest);
        run.mainTitles.push_back(pairs["title"]);
        run.mainIconic.push_back(std::stoi(pairs["iconic"]));
    } else if (word == "EXIT") {
        // An exception code (0xC0000005, say) is printed unsigned.
        run.exitCode = (int)(uint32_t)std::stoul(rest.substr(5));
        run.exitAt = at;
    } else if (word == "EXIT2") {
        run.secondExitCode = (int)(uint32_t)std::stoul(rest.substr(6));
    } else if (word == "TIMEOUT") {
        run.timedOut = true;
    } else if (word == "UNANSWERED") {
        run.unanswered = true;
    } else {
        run.events.push_back(rest);
    }
}

Outcome ParseTranscript(const std::string &transcript)
{
    Outcome run;
    run.transcript = transcript;
    std::istringstream in(transcript);
    std::string line;
    Window *current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A crash or a failed start leaves lines the robot never wrote, or cut
        // ones: they are kept for the failure message instead of ending the test.
        try {
            ParseLine(line, run, current);
        } catch (const std::exception &) {
            run.unreadable.push_back(line);
        }
    }
    return run;
}

class WineEnvironmentSetup : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!fs::exists(Prefix() + "/system.reg")) {
            std::string script = std::string(TARV_SOURCE_DIR) + "/tools/wine-prefix.sh";
            std::string out;
            int rc = Spawn({ "bash", script, Prefix(), TARV_E2E_ARCH }, WineEnvironment(), &out);
            ASSERT_EQ(rc, 0) << "wine prefix creation failed: " << out;
        }
        // Keep the wineserver (and the services it runs) alive between tests.
        Spawn({ "wineserver", "-p", "120" }, WineEnvironment(), nullptr);
    }
};

const ::testing::Environment *const g_wineEnvironment =
    ::testing::AddGlobalTestEnvironment(new WineEnvironmentSetup);

}  // namespace

const Control *Window::Find(int id) const
{
    for (const auto &control : controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

std::string Window::Text(int id) const
{
    const Control *control = Find(id);
    return control ? control->text : std::string();
}

std::vector<int> Window::Buttons() const
{
    std::vector<int> ids;
    for (const auto &control : controls)
        if (control.className == "Button")
            ids.push_back(control.id);
    return ids;
}

std::string Outcome::Describe() const
{
    std::string text = transcript.empty() ? "(the robot printed nothing)\n" : transcript;
    for (const std::string &line : unreadable)
        text += "UNREADABLE: " + line + "\n";
    if (!wineOutput.empty())
        text += "--- Wine's output:\n" + wineOutput;
    return text;
}

std::vector<const Window *> Outcome::MessageBoxes() const
{
    std::vector<const Window *> boxes;
    for (const auto &window : windows)
        if (window.IsMessageBox())
            boxes.push_back(&window);
    return boxes;
}

std::string Prefix()
{
    return std::string(TARV_BUILD_DIR) + "/wineprefix-" + TARV_E2E_ARCH;
}

std::string WinBin() { return TARV_WIN_BIN; }
std::string ToolsBin() { return TARV_TOOLS_BIN; }
std::string WorkRoot() { return std::string(TARV_BUILD_DIR) + "/e2e-work"; }

std::string WinPath(const std::string &unixPath)
{
    std::string path = "Z:" + unixPath;
    for (auto &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string UnixPath(const std::string &winPath)
{
    std::string rest = winPath.size() > 2 ? winPath.substr(2) : std::string();
    for (auto &c : rest)
        if (c == '\\')
            c = '/';
    char drive = (char)toupper((unsigned char)winPath[0]);
    if (drive == 'Z')
        return rest;
    // Wine's C: drive is case-insensitive; find each component on disk.
    std::string path = Prefix() + "/drive_c";
    std::istringstream parts(rest);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty())
            continue;
        std::string match = part;
        if (fs::is_directory(path)) {
            for (const auto &entry : fs::directory_iterator(path)) {
                std::string name = entry.path().filename().string();
                if (strcasecmp(name.c_str(), part.c_str()) == 0) {
                    match = name;
                    break;
                }
            }
        }
        path += "/" + match;
    }
    return path;
}

int RunWine(const std::vector<std::string> &args, std::string *output,
            const std::map<std::string, std::string> &env, std::string *errors)
{
    std::map<std::string, std::string> full = WineEnvironment();
    for (const auto &item : env)
        full[item.first] = item.first == "WINEDLLOVERRIDES" ? item.second + ";" + full[item.first] : item.second;
    // The loader of the prefix: another one may be given with it.
    std::vector<std::string> command = { full["WINELOADER"] };
    command.insert(command.end(), args.begin(), args.end());
    return Spawn(command, full, output, errors);
}

void RestartWine()
{
    std::map<std::string, std::string> env = WineEnvironment();
    Spawn({ "wineserver", "-k" }, env, nullptr);
    Spawn({ "wineserver", "-w" }, env, nullptr);
    Spawn({ WineLoader(), "wineboot", "-r" }, env, nullptr);
    Spawn({ "wineserver", "-p", "120" }, env, nullptr);
}

std::string MakeMedia(const std::string &name, bool withDrivers)
{
    std::string folder = WorkRoot() + "/" + name;
    RemoveAll(folder);
    fs::create_directories(folder);
    fs::copy_file(WinBin() + "/Setup.exe", folder + "/Setup.exe");
    if (withDrivers && fs::exists(WinBin() + "/drivers"))
        fs::copy(WinBin() + "/drivers", folder + "/drivers", fs::copy_options::recursive);
    return folder;
}

Outcome RunSetup(const Options &options)
{
    std::string media = options.media.empty() ? MakeMedia("default") : options.media;
    std::string cwd = options.cwd.empty() ? media : options.cwd;
    std::string program = options.program.empty() ? media + "/Setup.exe" : options.program;
    // Runs from several threads at once keep their scripts apart.
    std::string scratch = WorkRoot() + "/robot-" + std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()) % 100000);
    fs::create_directories(scratch);
    std::string answersFile = scratch + "/answers.txt";
    std::string answers;
    for (const auto &answer : options.answers)
        answers += answer + "\n";
    WriteFile(answersFile, answers);

    std::vector<std::string> args = { ToolsBin() + "/robot.exe", "--cwd", WinPath(cwd), "--answers",
                                      WinPath(answersFile), "--timeout", std::to_string(options.timeoutMs) };
    if (!options.version.empty()) {
        args.push_back("--version");
        args.push_back(options.version);
    }
    if (options.tailFromFile) {
        std::string tailFile = scratch + "/tail.txt";
        WriteFile(tailFile, options.tail);
        args.push_back("--tail-file");
        args.push_back(WinPath(tailFile));
    } else if (!options.tail.empty()) {
        args.push_back("--tail");
        args.push_back(options.tail);
    }
    if (options.closeMainEarly)
        args.push_back("--close-main-early");
    if (options.probeMain)
        args.push_back("--probe-main");
    if (options.inject)
        args.push_back("--inject");
    if (options.injectEarly)
        args.push_back("--inject-early");
    if (options.injectAtStart)
        args.push_back("--inject-at-start");
    if (options.twice)
        args.push_back("--twice");
    args.push_back("--");
    args.push_back(WinPath(program));

    std::map<std::string, std::string> env = options.env;
    if (!options.locale.empty())
        env["LC_ALL"] = options.locale;
    std::string transcript;
    std::string wineOutput;
    RunWine(args, &transcript, env, &wineOutput);
    // A wineserver that is just shutting down can refuse the start; the robot
    // then printed nothing at all, so starting again is safe.
    if (transcript.find("STARTED") == std::string::npos && transcript.find("START-FAILED") == std::string::npos
        && !options.cutShort) {
        transcript.clear();
        wineOutput.clear();
        RunWine(args, &transcript, env, &wineOutput);
    }
    Outcome run = ParseTranscript(transcript);
    run.wineOutput = wineOutput;
    if (!run.Complete() && !options.cutShort) {
        ADD_FAILURE() << "the robot's transcript does not show the run to its end"
                      << (run.unreadable.empty() ? "" : " (unreadable lines)") << "\n" << run.Describe();
    }
    if ((options.inject || options.injectAtStart)
        && std::find(run.events.begin(), run.events.end(), "INJECTED") == run.events.end())
        ADD_FAILURE() << "inject.dll was not loaded into Setup.exe\n" << transcript;
    return run;
}

std::string Probe(const std::vector<std::string> &args)
{
    std::vector<std::string> command = { ToolsBin() + "/probe.exe" };
    command.insert(command.end(), args.begin(), args.end());
    std::string output;
    RunWine(command, &output);
    return output;
}

std::vector<std::string> ProbeLines(const std::vector<std::string> &args, const std::string &prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(Probe(args));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

std::string Field(const std::string &line, const std::string &key)
{
    auto pairs = Pairs(line);
    auto it = pairs.find(key);
    return it == pairs.end() ? std::string() : it->second;
}

namespace {

std::string Folder(const char *prefix)
{
    static std::map<std::string, std::string> cache;
    if (cache.empty()) {
        std::istringstream in(Probe({ "folders" }));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            size_t space = line.find(' ');
            if (space != std::string::npos)
                cache[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return cache[prefix];
}

}  // namespace

std::string SystemFolder() { return Folder("SYSDIR"); }
std::string DriverFolder() { return Folder("DRIVERDIR"); }
std::string WindowsFolder() { return Folder("WINDIR"); }
std::string TempFolder() { return Folder("TEMPDIR"); }
std::string ProgramFilesFolder() { return Folder("PROGRAMFILES"); }

bool FileExists(const std::string &unixPath)
{
    return fs::exists(unixPath);
}

std::string ReadFile(const std::string &unixPath)
{
    std::ifstream in(unixPath, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string &unixPath, const std::string &content)
{
    fs::create_directories(fs::path(unixPath).parent_path());
    std::ofstream out(unixPath, std::ios::binary | std::ios::trunc);
    out << content;
}

void RemoveAll(const std::string &unixPath)
{
    std::error_code error;
    // Read-only files left by a test must not block the clean-up.
    if (fs::exists(unixPath, error))
        for (const auto &entry : fs::recursive_directory_iterator(unixPath, error))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    fs::remove_all(unixPath, error);
}

void SetReadOnly(const std::string &unixPath, bool readOnly)
{
    fs::permissions(unixPath, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

bool Writable(const std::string &unixPath)
{
    return (fs::status(unixPath).permissions() & fs::perms::owner_write) != fs::perms::none;
}

}  // namespace e2e
