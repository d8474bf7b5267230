// The message catalogue as the resource files write it, for the host tests
// and the fuzzer: one reader instead of one per test.
#ifndef TARV_TEST_CATALOGUE_H
#define TARV_TEST_CATALOGUE_H

#include <map>
#include <string>
#include <vector>

namespace catalogue {

struct Language {
    const char *file;      // under res/lang/
    const char *codePage;  // iconv name of the language's ANSI code page
};

// English, French and Japanese, in that order.
const std::vector<Language> &Languages();

// STRINGTABLE entries of a resource file: IDS name -> text as written (escapes
// kept, UTF-8).
std::map<std::string, std::string> Strings(const std::string &sourceRoot, const std::string &file);

// Resource numbers by name from res/resource.h, for the names that start
// with prefix ("IDS_" for the messages, "IDD_" for the dialogs).
std::map<std::string, int> ResourceIds(const std::string &sourceRoot, const std::string &prefix);

// Resolves the \r, \n, \t and \\ escapes of a resource text.
std::string Unescape(const std::string &text);

// The bytes LoadStringA gives for a UTF-8 text under codePage; false when a
// character has no representation there.
bool ToCodePage(const char *codePage, const std::string &utf8, std::string *out);

// Every message of every language as the program loads it: unescaped and in
// the language's code page.
std::vector<std::string> AnsiMessages(const std::string &sourceRoot);

}  // namespace catalogue

#endif
