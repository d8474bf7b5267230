#include "catalog/catalog.h"

#include <string.h>

#define END_ENTRY { 0, 0, 0, 0, 0 }

static const FileEntry kEmptyList[] = { END_ENTRY };

static const FileEntry kW95Files[] = {
    { "Tarv.drv",  "Win95-98\\", REPLACE_ALWAYS, 0, 0 },
    { "Tarvf.hlp", "Win95-98\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarva.hlp", "Win95-98\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

static const FileEntry kW98Files[] = {
    { "Tarv.drv",  "Win95-98\\", REPLACE_ALWAYS, 0, 0 },
    { "Tarva.hlp", "Win95-98\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarvf.hlp", "Win95-98\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

static const FileEntry kNT4Files[] = {
    { "TarvUI.dll", "Nt4.0\\", REPLACE_ALWAYS, 0, 0 },
    { "TarvGI.dll", "Nt4.0\\", REPLACE_ALWAYS, 0, 0 },
    { "Tarv.ini",   "Nt4.0\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarva.hlp",  "Nt4.0\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarvf.hlp",  "Nt4.0\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

static const FileEntry kNT5Files[] = {
    { "TarvUI.dll", "Nt2000\\", REPLACE_ALWAYS, 0, 1 },
    { "TarvGI.dll", "Nt2000\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarv.ini",   "Nt2000\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarva.hlp",  "Nt2000\\", REPLACE_ALWAYS, 0, 1 },
    { "Tarvf.hlp",  "Nt2000\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

static const FileEntry kCommonW95[] = {
    { "hwport.dll",   "Win95-98\\", REPLACE_ALWAYS, 0, 0 },
    { "Tarvcomm.exe", "Win95-98\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

static const FileEntry kCommonW98[] = {
    { "hwport.dll",   "Commun\\", REPLACE_ALWAYS, 0, 0 },
    { "Tarvcomm.exe", "Commun\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

static const FileEntry kCommonNT4[] = {
    { "hwport.dll",   "Nt4.0\\",  REPLACE_ALWAYS, 0, 0 },
    { "tarvcomm.exe", "Commun\\", REPLACE_ALWAYS, 0, 0 },
    END_ENTRY
};

static const FileEntry kCommonNT5[] = {
    { "hwport.dll",   "Commun\\", REPLACE_ALWAYS, 0, 1 },
    { "tarvcomm.exe", "Commun\\", REPLACE_ALWAYS, 0, 1 },
    END_ENTRY
};

const PlatformEntry g_platforms[PLATFORM_COUNT] = {
    { "WIN95",    "Windows 95",      kEmptyList, kW95Files, 1, 1120, "Tarv.drv",   "Tarv.drv", "Tarv.drv" },
    { "WIN98",    "Windows 98",      kEmptyList, kW98Files, 1, 1120, "Tarv.drv",   "Tarv.drv", "Tarv.drv" },
    { "WIN98",    "Millenium",       kEmptyList, kW98Files, 1, 1120, "Tarv.drv",   "Tarv.drv", "Tarv.drv" },
    { "WINNT351", "Windows NT 3.51", kEmptyList, kNT4Files, 1, 1120, "NoxGI.dll",  "Nox.ini",  "NoxUI.dll" },
    { "WINNT40",  "Windows NT 4.0",  kEmptyList, kNT4Files, 1, 1120, "TarvGI.dll", "Tarv.ini", "TarvUI.dll" },
    { "WINNT50",  "Windows 2000",    kEmptyList, kNT5Files, 1, 1120, "TarvGI.dll", "Tarv.ini", "TarvUI.dll" },
    { "WINNTXP",  "Windows XP",      kEmptyList, kNT5Files, 1, 1120, "TarvGI.dll", "Tarv.ini", "TarvUI.dll" },
    { "WIN32S",   "Win32s sur plateforme 16 bits", 0, 0, 0, 0, "", "", "" },
};

static const FileEntry *const kCommonFiles[PLATFORM_COUNT] = {
    kCommonW95, kCommonW98, kCommonW98, kCommonNT4, kCommonNT4, kCommonNT5, kCommonNT5, 0
};

const char MODEL_DRIVER_NAME[] = "Corvan Tessik";
const char MODEL_QUEUE_NAME[] = "Corvan Tessik";
const char MODEL_QUEUE_COMMENT[] = "Corvan Tessik";
const char MODEL_FORM_NAME[] = "Tarv Card";
const char MODEL_HELP_FILE[] = "Tarvf.hlp";
const char MODEL_SECOND_HELP_FILE[] = "Tarva.hlp";
const char MODEL_INF_FORMAT[] = "%starv.inf";
const char *const MODEL_UNLOAD_MODULES[2] = { "tarvui", "tarvgi" };
const char MODEL_PRINT_PROCESSOR[] = "winprint";
const char MODEL_DATA_TYPE[] = "RAW";
const char SETUP_WINDOW_CLASS[] = "SetupTarvClass";
const char SOURCE_ROOT_NAME[] = "drivers";
const char SETUP_LOCK_NAME[] = "TarvDriverSetupRun";

const FileEntry *GetCommonFiles(int row)
{
    if (row < 0 || row >= PLATFORM_COUNT)
        return 0;
    return kCommonFiles[row];
}

int IsNineXFamily(int row)
{
    return row >= 0 && row <= 2;
}

int FindPlatformCode(const char *code)
{
    size_t length = strlen(code);
    for (int row = 0; row < PLATFORM_COUNT; row++) {
        const char *candidate = g_platforms[row].code;
        if (!candidate)
            return PLATFORM_UNKNOWN;
        if (strlen(candidate) == length && memcmp(candidate, code, length) == 0)
            return row;
    }
    return PLATFORM_UNKNOWN;
}

int PlatformFromVersion(unsigned long platformId, unsigned long major, unsigned long minor)
{
    switch (platformId) {
    case 0:
        return 7;
    case 1:
        if (major == 4 && minor == 0)
            return 0;
        if (major == 4 && minor == 10)
            return 1;
        if (major == 4 && minor == 90)
            return 2;
        return PLATFORM_UNKNOWN;
    case 2:
        if (major == 4)
            return 4;
        if (major == 5)
            return minor == 0 ? 5 : 6;
        return PLATFORM_UNKNOWN;
    default:
        return PLATFORM_UNKNOWN;
    }
}
