// The imports of the built images, read from the files: every call into the
// import tables lands on a named entry, only system DLLs are imported, and the
// test tools are not mixed with the product. Each check covers the shipped
// i686 build and the x86_64 twin where one is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "tests/image/images.h"
#include "tests/image/pe_image.h"

using namespace image;

namespace {

std::string Lower(std::string text)
{
    for (auto &c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

std::string Hex(uint64_t value)
{
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

void CheckReferencesIntoImports(const Built &built)
{
    std::string path = SetupExe(built);
    PeImage pe(path);
    ASSERT_TRUE(pe.Valid()) << path;
    std::string output;
    std::vector<Reference> references = AbsoluteReferences(built, path, &output);
    ASSERT_FALSE(references.empty()) << output;
    const auto ranges = pe.ImportRanges();
    const auto &slots = pe.ImportSlots();
    int calls = 0;
    for (const Reference &reference : references) {
        if (reference.address < pe.ImageBase())
            continue;
        uint64_t rva = reference.address - pe.ImageBase();
        bool inImports = std::any_of(ranges.begin(), ranges.end(), [rva](const std::pair<uint32_t, uint32_t> &r) {
            return rva >= r.first && rva < r.second;
        });
        if (!inImports)
            continue;
        auto slot = slots.find((uint32_t)rva);
        if (reference.indexed)
            ADD_FAILURE() << "an indexed reference into the imports cannot be proven: " << reference.instruction;
        else if (slot == slots.end())
            ADD_FAILURE() << Hex(reference.address) << " is no import slot (a gap): " << reference.instruction;
        else if (slot->second.function.empty())
            ADD_FAILURE() << Hex(reference.address) << " is the terminator of " << slot->second.dll
                          << "'s table: " << reference.instruction;
        else if (reference.branch)
            calls++;
    }
    // The program calls dozens of system functions; none found means the
    // disassembly was not read.
    EXPECT_GT(calls, 20) << output;
}

}  // namespace

// A reference that falls on a terminator, a zero slot or a gap between tables
// calls whatever the loader leaves there (a null pointer, at best).
TEST(Build, EveryReferenceIntoTheImportTablesIsANamedEntry)
{
    for (const Built &built : BuiltImages()) {
        SCOPED_TRACE(built.arch);
        CheckReferencesIntoImports(built);
    }
}

// The four DLLs every platform of the catalogue has. Not the C runtime's
// msvcrt.dll, which the first Windows 95, Windows NT 3.51 and Win32s lack, so
// that the loader would refuse to start the program there; not winspool.drv or
// comctl32.dll, which the loader would take by name, from the media first.
TEST(Build, ImportsOnlyDllsThatEveryPlatformLoadsFromTheSystem)
{
    const std::set<std::string> allowed = { "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll" };
    for (const Built &built : BuiltImages()) {
        SCOPED_TRACE(built.arch);
        PeImage pe(SetupExe(built));
        ASSERT_TRUE(pe.Valid()) << SetupExe(built);
        std::vector<std::string> dlls = pe.ImportDlls();
        EXPECT_FALSE(dlls.empty());
        for (const std::string &dll : dlls)
            EXPECT_TRUE(allowed.count(Lower(dll))) << "unexpected import " << dll;
        EXPECT_EQ(pe.DirectoryRva(13), 0u) << "delay imports";
    }
}

// What the loaders of the oldest platforms require: Windows NT 3.51 refuses a
// subsystem version above its own, Windows 95 one above 4.0; Win32s loads
// every program into one address space and needs its relocations; Windows 9x
// maps sections by page and keeps the space below 4 MiB to itself.
TEST(Build, HeaderLoadsOnEveryPlatformOfTheCatalogue)
{
    for (const Built &built : BuiltImages()) {
        SCOPED_TRACE(built.arch);
        PeImage pe(SetupExe(built));
        ASSERT_TRUE(pe.Valid());
        EXPECT_EQ(pe.Subsystem(), 2) << "Windows GUI";
        EXPECT_EQ(pe.HeaderVersion(4), 3) << "subsystem major version";
        EXPECT_EQ(pe.HeaderVersion(5), 10) << "subsystem minor version";
        EXPECT_EQ(pe.HeaderVersion(0), 3) << "operating system major version";
        EXPECT_EQ(pe.HeaderVersion(1), 10) << "operating system minor version";
        EXPECT_NE(pe.DirectoryRva(5), 0u) << "base relocations";
        EXPECT_GT(pe.DirectorySize(5), 8u) << "base relocations";
        EXPECT_EQ(pe.Characteristics() & 0x0001, 0) << "relocations stripped";
        EXPECT_EQ(pe.SectionAlignment(), 4096u);
        EXPECT_EQ(pe.FileAlignment(), 512u);
        if (!pe.Is64())
            EXPECT_EQ(pe.ImageBase(), 0x400000u);
        // The entry point is code of the program's own: the start-up code that
        // replaces the C runtime's.
        const Section *entry = pe.SectionAt(pe.EntryPoint());
        ASSERT_NE(entry, nullptr) << "entry point outside every section";
        EXPECT_NE(entry->characteristics & 0x20000000, 0u) << "entry point in " << entry->name;
    }
}

TEST(Build, ProductFolderHoldsOnlySetupAndItsMedia)
{
    for (const Built &built : BuiltImages()) {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(built.bin))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{ "Setup.exe", "drivers" })) << built.bin;
    }
}

// The robot finds the hook procedures by their plain names, and the planted
// DLL must export the setup library's function under its plain name too.
TEST(Build, TestToolsExportUndecoratedNames)
{
    struct Expected { const char *file; std::set<std::string> names; };
    const Expected expected[] = {
        { "inject.dll", { "InjectCbtProc", "InjectHookProc" } },
        { "planted/SetupApi.dll", { "SetupCopyOEMInfA" } },
    };
    for (const Built &built : BuiltImages()) {
        for (const Expected &item : expected) {
            PeImage pe(built.tools + "/" + item.file);
            ASSERT_TRUE(pe.Valid()) << built.tools << "/" << item.file;
            std::vector<std::string> names = pe.ExportNames();
            EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), item.names) << built.tools << "/" << item.file;
        }
    }
}
