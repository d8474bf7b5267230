#include "tests/support/catalogue.h"

#include <iconv.h>

#include <fstream>
#include <regex>

namespace catalogue {

const std::vector<Language> &Languages()
{
    static const std::vector<Language> languages = {
        { "en-US.rc", "CP1252" }, { "fr-FR.rc", "CP1252" }, { "ja-JP.rc", "CP932" } };
    return languages;
}

std::map<std::string, std::string> Strings(const std::string &sourceRoot, const std::string &file)
{
    std::map<std::string, std::string> strings;
    std::ifstream in(sourceRoot + "/res/lang/" + file);
    const std::regex entry("^\\s*(IDS_\\w+)\\s+\"(.*)\"\\s*$");
    bool inTable = false;
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "STRINGTABLE")
            inTable = true;
        else if (line == "END")
            inTable = false;
        else if (inTable && std::regex_match(line, match, entry))
            strings[match[1]] = match[2];
    }
    return strings;
}

std::map<std::string, int> ResourceIds(const std::string &sourceRoot, const std::string &prefix)
{
    std::map<std::string, int> ids;
    std::ifstream in(sourceRoot + "/res/resource.h");
    const std::regex define("^#define (" + prefix + "\\w+)\\s+(\\d+)");
    std::string line;
    std::smatch match;
    while (std::getline(in, line))
        if (std::regex_search(line, match, define))
            ids[match[1]] = std::stoi(match[2]);
    return ids;
}

std::string Unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char c = text[++i];
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool ToCodePage(const char *codePage, const std::string &utf8, std::string *out)
{
    iconv_t converter = iconv_open(codePage, "UTF-8");
    if (converter == (iconv_t)-1)
        return false;
    std::vector<char> buffer(utf8.size() * 2 + 1);
    char *in = const_cast<char *>(utf8.data());
    size_t inLeft = utf8.size();
    char *outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t rc = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (rc == (size_t)-1 || inLeft != 0)
        return false;
    out->assign(buffer.data(), (size_t)(outPtr - buffer.data()));
    return true;
}

std::vector<std::string> AnsiMessages(const std::string &sourceRoot)
{
    std::vector<std::string> messages;
    for (const Language &language : Languages()) {
        for (const auto &item : Strings(sourceRoot, language.file)) {
            std::string bytes;
            if (ToCodePage(language.codePage, Unescape(item.second), &bytes))
                messages.push_back(bytes);
        }
    }
    return messages;
}

}  // namespace catalogue
