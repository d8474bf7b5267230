// The driver and queue records handed to the spooler.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalog/catalog.h"
#include "catalog/records.h"

namespace {

// The bytes up to and including the final zero of a multi-string.
std::string MultiString(const char *data)
{
    const char *end = data;
    while (*end)
        end += strlen(end) + 1;
    return std::string(data, (size_t)(end - data) + 1);
}

std::string Text(const char *text)
{
    return text ? text : "(none)";
}

}  // namespace

TEST(DriverRecord, NineXFamilyHasTheHelpFileAndThreeDependentFiles)
{
    for (int row = 0; row <= 2; row++) {
        SCOPED_TRACE(row);
        DriverRecord record;
        memset(&record, 'x', sizeof record);
        ASSERT_EQ(BuildDriverRecord(row, &record), 1);
        EXPECT_EQ(record.version, 1120ul);
        EXPECT_EQ(Text(record.name), "Corvan Tessik");
        EXPECT_EQ(record.environment, nullptr);
        EXPECT_EQ(Text(record.driverPath), "Tarv.drv");
        EXPECT_EQ(Text(record.dataFile), "Tarv.drv");
        EXPECT_EQ(Text(record.configFile), "Tarv.drv");
        EXPECT_EQ(Text(record.helpFile), "Tarvf.hlp");
        EXPECT_EQ(MultiString(record.dependentFiles), std::string("Tarv.drv\0Tarvf.hlp\0Tarva.hlp\0\0", 30));
        EXPECT_EQ(record.monitorName, nullptr);
        EXPECT_EQ(Text(record.defaultDataType), "RAW");
    }
}

TEST(DriverRecord, NtFamilyHasNoHelpFileAndFiveDependentFiles)
{
    for (int row = 4; row <= 6; row++) {
        SCOPED_TRACE(row);
        DriverRecord record;
        ASSERT_EQ(BuildDriverRecord(row, &record), 1);
        EXPECT_EQ(record.version, 1120ul);
        EXPECT_EQ(Text(record.driverPath), "TarvGI.dll");
        EXPECT_EQ(Text(record.dataFile), "Tarv.ini");
        EXPECT_EQ(Text(record.configFile), "TarvUI.dll");
        EXPECT_EQ(record.helpFile, nullptr);
        EXPECT_EQ(MultiString(record.dependentFiles),
                  std::string("TarvGI.dll\0Tarv.ini\0TarvUI.dll\0Tarvf.hlp\0Tarva.hlp\0\0", 52));
    }
    // NT 3.51 names its own modules.
    DriverRecord record;
    ASSERT_EQ(BuildDriverRecord(3, &record), 1);
    EXPECT_EQ(MultiString(record.dependentFiles),
              std::string("NoxGI.dll\0Nox.ini\0NoxUI.dll\0Tarvf.hlp\0Tarva.hlp\0\0", 49));
    // Win32s and unknown rows have no driver to register.
    EXPECT_EQ(BuildDriverRecord(7, &record), 0);
    EXPECT_EQ(BuildDriverRecord(PLATFORM_UNKNOWN, &record), 0);
    EXPECT_EQ(BuildDriverRecord(-1, &record), 0);
}

TEST(MultiString, RefusesWhatWouldBeCutOrEndedEarly)
{
    const char *const names[] = { "abc", "de" };
    char out[16];
    // "abc\0de\0\0" needs 8 bytes.
    EXPECT_EQ(BuildMultiString(out, 8, names, 2), 1);
    EXPECT_EQ(std::string(out, 8), std::string("abc\0de\0\0", 8));
    memset(out, 'x', sizeof out);
    EXPECT_EQ(BuildMultiString(out, 7, names, 2), 0);
    EXPECT_EQ(std::string(out, 2), std::string("\0\0", 2));  // never a half-built list

    const char *const withEmpty[] = { "abc", "", "de" };
    EXPECT_EQ(BuildMultiString(out, sizeof out, withEmpty, 3), 0);
    const char *const withNull[] = { "abc", nullptr };
    EXPECT_EQ(BuildMultiString(out, sizeof out, withNull, 2), 0);
    EXPECT_EQ(BuildMultiString(out, sizeof out, names, 0), 1);
    EXPECT_EQ(std::string(out, 2), std::string("\0\0", 2));
}
