#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "catalog/product_names.h"

namespace {

int ShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

}  // namespace

// What a purge may touch: only the row's own driver files, only in a version
// folder right below the printer-driver folder.
TEST(ProductNames, OnlyTheModelsFilesInAVersionFolder)
{
    for (const char *name : { "TarvUI.dll", "tarvgi.DLL", "Tarv.ini", "Tarva.hlp", "Tarvf.hlp" })
        EXPECT_TRUE(IsModelDriverFile(5, name)) << name;
    for (const char *name : { "hwport.dll", "Tarv.drv", "TarvUI.bku", "", "wineps.drv" })
        EXPECT_FALSE(IsModelDriverFile(5, name)) << name;
    EXPECT_TRUE(IsModelDriverFile(3, "NoxGI.dll"));  // NT 3.51 registers other names than it copies
    EXPECT_TRUE(IsModelDriverFile(0, "Tarv.drv"));
    EXPECT_FALSE(IsModelDriverFile(7, "Tarv.drv"));  // Win32s has no driver
    EXPECT_FALSE(IsModelDriverFile(8, "Tarv.drv"));

    const char folder[] = "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";
    struct Case {
        const char *path;
        bool inside;
    };
    const Case cases[] = {
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\TarvUI.dll", true },
        { "c:\\windows\\SYSTEM32\\spool\\drivers\\W32X86\\2\\TarvUI.dll", true },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\TarvUI.dll", false },   // the folder itself
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\x\\TarvUI.dll", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\\\TarvUI.dll", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86x\\3\\TarvUI.dll", false },
        { "C:\\WINDOWS\\system32\\TarvUI.dll", false },
        { "TarvUI.dll", false },
        // Dot segments and forward slashes would leave the folder once resolved.
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\..\\TarvUI.dll", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\.\\TarvUI.dll", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\..", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\../../x.dll", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\..\\..\\x.dll", false },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\.hidden.dll", true },
        // "\x95\x5c" is one double-byte character whose trail byte is '\'.
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\\x95\x5c\\TarvUI.dll", true },
        { "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\\x95\x5c.dll", true },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InVersionFolder(c.path, folder, ShiftJisLead) != 0, c.inside) << c.path;
    EXPECT_STREQ(PathFileName("C:\\a\\b\\TarvUI.dll", ShiftJisLead), "TarvUI.dll");
    EXPECT_STREQ(PathFileName("TarvUI.dll", ShiftJisLead), "TarvUI.dll");
    EXPECT_STREQ(PathFileName("C:\\a\\\x95\x5c.dll", ShiftJisLead), "\x95\x5c.dll");
}

// A message's caption: the folder of a path, cut to its buffer however long
// the path is (a spooler path can outgrow any buffer of ours).
TEST(ProductNames, PathFolderKeepsWhatFitsOfTheFolder)
{
    struct Case {
        std::string path;
        size_t size;
        std::string folder;
    };
    const std::string longFolder = "C:\\" + std::string(600, 'd');
    const Case cases[] = {
        { "C:\\a\\b\\TarvUI.dll", 512, "C:\\a\\b" },
        { "TarvUI.dll", 512, "" },
        { "C:\\a\\\x95\x5c.dll", 512, "C:\\a" },
        { "C:\\a\\b\\TarvUI.dll", 4, "C:\\" },
        { longFolder + "\\TarvUI.dll", 512, longFolder.substr(0, 511) },
        { longFolder + "\\" + std::string(600, 'n'), 1, "" },
    };
    for (const Case &c : cases) {
        std::vector<char> out(c.size, 'x');
        PathFolder(out.data(), out.size(), c.path.c_str(), ShiftJisLead);
        EXPECT_EQ(std::string(out.data()), c.folder) << c.path.substr(0, 40) << " in " << c.size;
    }
}
