#include "tests/image/images.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace image {

std::vector<Built> BuiltImages()
{
    std::vector<Built> images = { { "i686", TARV_BUILD_DIR "/i686/bin", TARV_BUILD_DIR "/i686/test-tools",
                                    TARV_OBJDUMP_I686 } };
    if (std::string(TARV_E2E_ARCH) != "i686")
        images.push_back({ TARV_E2E_ARCH, TARV_BUILD_DIR "/" TARV_E2E_ARCH "/bin",
                           TARV_BUILD_DIR "/" TARV_E2E_ARCH "/test-tools", TARV_OBJDUMP_X86_64 });
    return images;
}

std::string SetupExe(const Built &built)
{
    const char *other = getenv("TARV_CHECK_IMAGE");
    if (other && *other && built.arch == "i686")
        return other;
    return built.bin + "/Setup.exe";
}

namespace {

std::vector<std::string> SplitOperands(const std::string &text)
{
    std::vector<std::string> operands;
    std::string current;
    int depth = 0;
    for (char c : text) {
        if (c == '(')
            depth++;
        else if (c == ')')
            depth--;
        if (c == ',' && depth == 0) {
            operands.push_back(current);
            current.clear();
        } else if (c != ' ') {
            current += c;
        }
    }
    if (!current.empty())
        operands.push_back(current);
    return operands;
}

bool ParseNumber(const std::string &text, uint64_t *value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    *value = strtoull(text.c_str(), &end, 0);
    return end && *end == '\0';
}

// One "  401123:\tcall   *0x40b458" line: the absolute memory references in it.
void ReadInstruction(const std::string &line, std::vector<Reference> *references)
{
    size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find(':') > tab)
        return;
    std::string text = line.substr(tab + 1);
    std::string comment;
    size_t hash = text.find('#');
    if (hash != std::string::npos) {
        comment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    size_t symbol = text.find(" <");
    if (symbol != std::string::npos)
        text = text.substr(0, symbol);
    std::istringstream words(text);
    std::string mnemonic;
    words >> mnemonic;
    static const char *const kPrefixes[] = { "lock", "rep", "repz", "repnz", "repe", "repne", "notrack",
                                             "bnd", "data16", "addr32", "cs", "ds", "es", "fs", "gs", "ss" };
    for (bool prefix = true; prefix && words;) {
        prefix = mnemonic.rfind("rex", 0) == 0;
        for (const char *known : kPrefixes)
            prefix = prefix || mnemonic == known;
        if (prefix)
            words >> mnemonic;
    }
    if (mnemonic.empty())
        return;
    std::string rest;
    std::getline(words, rest);
    bool branchMnemonic = mnemonic[0] == 'j' || mnemonic.rfind("call", 0) == 0 || mnemonic.rfind("loop", 0) == 0;
    for (std::string operand : SplitOperands(rest)) {
        bool indirect = !operand.empty() && operand[0] == '*';
        if (indirect)
            operand = operand.substr(1);
        if (operand.empty() || operand[0] == '$' || operand[0] == '%')
            continue;
        if (branchMnemonic && !indirect)
            continue;  // a direct branch target, not memory
        Reference reference;
        reference.branch = branchMnemonic;
        reference.instruction = line;
        size_t paren = operand.find('(');
        if (operand.find("(%rip)") != std::string::npos || operand.find("(%eip)") != std::string::npos) {
            std::string target = comment.substr(0, comment.find('<'));
            while (!target.empty() && target.back() == ' ')
                target.pop_back();
            while (!target.empty() && target[0] == ' ')
                target.erase(0, 1);
            if (!ParseNumber(target, &reference.address))
                continue;
        } else if (paren != std::string::npos) {
            std::string displacement = operand.substr(0, paren);
            if (displacement.empty() || displacement[0] == '-' || !ParseNumber(displacement, &reference.address))
                continue;
            reference.indexed = true;
        } else if (!ParseNumber(operand, &reference.address)) {
            continue;
        }
        references->push_back(reference);
    }
}

}  // namespace

std::vector<Reference> AbsoluteReferences(const Built &built, const std::string &path, std::string *output)
{
    std::vector<Reference> references;
    std::string command = built.objdump + " -d --no-show-raw-insn '" + path + "' 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        *output = "cannot run " + command;
        return references;
    }
    std::string text;
    char buffer[4096];
    size_t length;
    while ((length = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, length);
    int status = pclose(pipe);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        ReadInstruction(line, &references);
    if (status != 0 || references.empty())
        *output = command + " (status " + std::to_string(status) + "):\n" + text.substr(0, 4000);
    return references;
}

}  // namespace image
