#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "catalog/catalog.h"

namespace {

std::vector<std::string> Names(const FileEntry *list)
{
    std::vector<std::string> names;
    for (; list && list->name; list++)
        names.push_back(std::string(list->sourceFolder) + list->name + (list->removeOnDeletion ? "*" : ""));
    return names;
}

}  // namespace

TEST(Catalog, RowsMatchThePlatformTable)
{
    const char *codes[] = { "WIN95", "WIN98", "WIN98", "WINNT351", "WINNT40", "WINNT50", "WINNTXP", "WIN32S" };
    const char *names[] = { "Windows 95", "Windows 98", "Millenium", "Windows NT 3.51", "Windows NT 4.0",
                            "Windows 2000", "Windows XP", "Win32s sur plateforme 16 bits" };
    for (int row = 0; row < PLATFORM_COUNT; row++) {
        SCOPED_TRACE(row);
        const PlatformEntry &p = g_platforms[row];
        EXPECT_STREQ(p.code, codes[row]);
        EXPECT_STREQ(p.displayName, names[row]);
        EXPECT_EQ(p.supported, row == 7 ? 0 : 1);
        EXPECT_EQ(p.driverVersion, row == 7 ? 0ul : 1120ul);
        if (row < 7) {
            ASSERT_NE(p.systemFiles, nullptr);
            EXPECT_EQ(p.systemFiles->name, nullptr);  // present but empty
        } else {
            EXPECT_EQ(p.systemFiles, nullptr);
            EXPECT_EQ(p.driverFiles, nullptr);
            EXPECT_EQ(GetCommonFiles(7), nullptr);
        }
    }
    EXPECT_STREQ(g_platforms[0].driverFile, "Tarv.drv");
    EXPECT_STREQ(g_platforms[2].configFile, "Tarv.drv");
    EXPECT_STREQ(g_platforms[3].driverFile, "NoxGI.dll");
    EXPECT_STREQ(g_platforms[3].dataFile, "Nox.ini");
    EXPECT_STREQ(g_platforms[3].configFile, "NoxUI.dll");
    for (int row = 4; row <= 6; row++) {
        EXPECT_STREQ(g_platforms[row].driverFile, "TarvGI.dll");
        EXPECT_STREQ(g_platforms[row].dataFile, "Tarv.ini");
        EXPECT_STREQ(g_platforms[row].configFile, "TarvUI.dll");
    }
    EXPECT_STREQ(g_platforms[7].driverFile, "");
}

TEST(Catalog, DriverListsInOrderWithRemovalMarks)
{
    EXPECT_EQ(Names(g_platforms[0].driverFiles),
              (std::vector<std::string>{ "Win95-98\\Tarv.drv", "Win95-98\\Tarvf.hlp*", "Win95-98\\Tarva.hlp*" }));
    EXPECT_EQ(Names(g_platforms[1].driverFiles),
              (std::vector<std::string>{ "Win95-98\\Tarv.drv", "Win95-98\\Tarva.hlp*", "Win95-98\\Tarvf.hlp*" }));
    EXPECT_EQ(g_platforms[2].driverFiles, g_platforms[1].driverFiles);
    EXPECT_EQ(Names(g_platforms[4].driverFiles),
              (std::vector<std::string>{ "Nt4.0\\TarvUI.dll", "Nt4.0\\TarvGI.dll", "Nt4.0\\Tarv.ini*",
                                         "Nt4.0\\Tarva.hlp*", "Nt4.0\\Tarvf.hlp*" }));
    EXPECT_EQ(g_platforms[3].driverFiles, g_platforms[4].driverFiles);
    EXPECT_EQ(Names(g_platforms[5].driverFiles),
              (std::vector<std::string>{ "Nt2000\\TarvUI.dll*", "Nt2000\\TarvGI.dll*", "Nt2000\\Tarv.ini*",
                                         "Nt2000\\Tarva.hlp*", "Nt2000\\Tarvf.hlp*" }));
    EXPECT_EQ(g_platforms[6].driverFiles, g_platforms[5].driverFiles);
}

TEST(Catalog, CommonFilesPerRow)
{
    EXPECT_EQ(Names(GetCommonFiles(0)),
              (std::vector<std::string>{ "Win95-98\\hwport.dll", "Win95-98\\Tarvcomm.exe*" }));
    for (int row : { 1, 2 })
        EXPECT_EQ(Names(GetCommonFiles(row)),
                  (std::vector<std::string>{ "Commun\\hwport.dll", "Commun\\Tarvcomm.exe*" }));
    for (int row : { 3, 4 })
        EXPECT_EQ(Names(GetCommonFiles(row)),
                  (std::vector<std::string>{ "Nt4.0\\hwport.dll", "Commun\\tarvcomm.exe" }));
    for (int row : { 5, 6 })
        EXPECT_EQ(Names(GetCommonFiles(row)),
                  (std::vector<std::string>{ "Commun\\hwport.dll*", "Commun\\tarvcomm.exe*" }));
}

TEST(Catalog, EveryShippedEntryReplacesWithoutAsking)
{
    for (int row = 0; row < PLATFORM_COUNT; row++) {
        const FileEntry *lists[] = { g_platforms[row].systemFiles, g_platforms[row].driverFiles, GetCommonFiles(row) };
        for (const FileEntry *list : lists)
            for (; list && list->name; list++) {
                EXPECT_EQ(list->replacePolicy, REPLACE_ALWAYS) << list->name;
                EXPECT_EQ(list->defaultAnswer, 0) << list->name;
                EXPECT_EQ(list->sourceFolder[strlen(list->sourceFolder) - 1], '\\') << list->name;
            }
    }
}

TEST(Catalog, ModelConstants)
{
    EXPECT_STREQ(MODEL_DRIVER_NAME, "Corvan Tessik");
    EXPECT_STREQ(MODEL_QUEUE_NAME, "Corvan Tessik");
    EXPECT_STREQ(MODEL_QUEUE_COMMENT, "Corvan Tessik");
    EXPECT_STREQ(MODEL_FORM_NAME, "Tarv Card");
    EXPECT_STREQ(MODEL_HELP_FILE, "Tarvf.hlp");
    EXPECT_STREQ(MODEL_SECOND_HELP_FILE, "Tarva.hlp");
    EXPECT_STREQ(MODEL_INF_FORMAT, "%starv.inf");
    EXPECT_STREQ(MODEL_UNLOAD_MODULES[0], "tarvui");
    EXPECT_STREQ(MODEL_UNLOAD_MODULES[1], "tarvgi");
    EXPECT_STREQ(MODEL_PRINT_PROCESSOR, "winprint");
    EXPECT_STREQ(MODEL_DATA_TYPE, "RAW");
    EXPECT_STREQ(SETUP_WINDOW_CLASS, "SetupTarvClass");
}

TEST(Catalog, FindPlatformCodeIsExactAndTakesTheFirstRow)
{
    EXPECT_EQ(FindPlatformCode("WIN95"), 0);
    EXPECT_EQ(FindPlatformCode("WIN98"), 1);  // never row 2
    EXPECT_EQ(FindPlatformCode("WINNT351"), 3);
    EXPECT_EQ(FindPlatformCode("WINNT40"), 4);
    EXPECT_EQ(FindPlatformCode("WINNT50"), 5);
    EXPECT_EQ(FindPlatformCode("WINNTXP"), 6);
    EXPECT_EQ(FindPlatformCode("WIN32S"), 7);
    for (const char *code : { "", "WINME", "win95", "WIN9", "WIN955", "WINNT50 ", "WINNT" })
        EXPECT_EQ(FindPlatformCode(code), PLATFORM_UNKNOWN) << code;
}

TEST(Catalog, VersionToRow)
{
    EXPECT_EQ(PlatformFromVersion(0, 3, 10), 7);
    EXPECT_EQ(PlatformFromVersion(0, 0, 0), 7);
    EXPECT_EQ(PlatformFromVersion(1, 4, 0), 0);
    EXPECT_EQ(PlatformFromVersion(1, 4, 10), 1);
    EXPECT_EQ(PlatformFromVersion(1, 4, 90), 2);
    EXPECT_EQ(PlatformFromVersion(1, 4, 3), PLATFORM_UNKNOWN);
    EXPECT_EQ(PlatformFromVersion(1, 5, 0), PLATFORM_UNKNOWN);
    EXPECT_EQ(PlatformFromVersion(2, 4, 0), 4);
    EXPECT_EQ(PlatformFromVersion(2, 4, 77), 4);
    EXPECT_EQ(PlatformFromVersion(2, 5, 0), 5);
    EXPECT_EQ(PlatformFromVersion(2, 5, 1), 6);
    EXPECT_EQ(PlatformFromVersion(2, 5, 2), 6);
    EXPECT_EQ(PlatformFromVersion(2, 3, 51), PLATFORM_UNKNOWN);
    EXPECT_EQ(PlatformFromVersion(2, 6, 1), PLATFORM_UNKNOWN);
    EXPECT_EQ(PlatformFromVersion(3, 5, 0), PLATFORM_UNKNOWN);
}

TEST(Catalog, Family)
{
    for (int row = 0; row < PLATFORM_COUNT; row++)
        EXPECT_EQ(IsNineXFamily(row), row <= 2 ? 1 : 0) << row;
}
