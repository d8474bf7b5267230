#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "remove/datafile.h"

TEST(DataFile, TakenOnlyForTheModelsDriver)
{
    char out[512] = "stale";
    const char path[] = "C:\\windows\\system32\\spool\\drivers\\w32x86\\3\\Tarv.ini";
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan Tessik", path), 1);
    EXPECT_STREQ(out, path);
    EXPECT_EQ(TakeDataFile(out, sizeof out, "corvan TESSIK", path), 1);

    // A queue moved to another driver must not cost that driver its file.
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan Tessik 2", path), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan", path), 0);
    EXPECT_EQ(TakeDataFile(out, sizeof out, nullptr, path), 0);
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan Tessik", nullptr), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan Tessik", ""), 0);
}

TEST(DataFile, APathThatDoesNotFitIsDropped)
{
    char out[512];
    std::string fits = "C:\\" + std::string(502, 'd') + "\\a.ini";  // 511 characters
    ASSERT_EQ(fits.size(), 511u);
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan Tessik", fits.c_str()), 1);
    EXPECT_EQ(out, fits);

    // Cut to 511 characters it would name "...\a.in", a different file.
    std::string longer = "C:\\" + std::string(503, 'd') + "\\a.ini";
    EXPECT_EQ(TakeDataFile(out, sizeof out, "Corvan Tessik", longer.c_str()), 0);
    EXPECT_STREQ(out, "");
}
