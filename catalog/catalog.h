// Built-in product tables: platforms, driver files, common files, model names.
#ifndef TARV_CATALOG_H
#define TARV_CATALOG_H

enum ReplacePolicy { REPLACE_ALWAYS = 0, REPLACE_NEVER = 1, REPLACE_ASK = 2 };

struct FileEntry {
    const char *name;          // also the name written into the target folder
    const char *sourceFolder;  // below the source root, ends with a backslash
    int replacePolicy;         // ReplacePolicy
    int defaultAnswer;         // replace dialog default: 0 none, 1 Yes, 2 No
    int removeOnDeletion;      // non-zero: complete deletion removes it
};

struct PlatformEntry {
    const char *code;          // "/OS=" value
    const char *displayName;   // shown in the confirmation
    const FileEntry *systemFiles;
    const FileEntry *driverFiles;
    int supported;
    unsigned long driverVersion;
    const char *driverFile;
    const char *dataFile;
    const char *configFile;
};

enum { PLATFORM_COUNT = 8, PLATFORM_UNKNOWN = 8 };

extern const PlatformEntry g_platforms[PLATFORM_COUNT];

// Common tools deployed into the system folder; none for rows without a list.
const FileEntry *GetCommonFiles(int row);

// Rows 0 to 2 are the Windows 9x family, all others the NT family.
int IsNineXFamily(int row);

// Catalogue row for a "/OS=" code (exact, case-sensitive), or PLATFORM_UNKNOWN.
int FindPlatformCode(const char *code);

// Catalogue row for a GetVersionEx result, or PLATFORM_UNKNOWN.
int PlatformFromVersion(unsigned long platformId, unsigned long major, unsigned long minor);

extern const char MODEL_DRIVER_NAME[];
extern const char MODEL_QUEUE_NAME[];
extern const char MODEL_QUEUE_COMMENT[];
extern const char MODEL_FORM_NAME[];
extern const char MODEL_HELP_FILE[];
extern const char MODEL_SECOND_HELP_FILE[];
extern const char MODEL_INF_FORMAT[];
extern const char *const MODEL_UNLOAD_MODULES[2];
extern const char MODEL_PRINT_PROCESSOR[];
extern const char MODEL_DATA_TYPE[];
extern const char SETUP_WINDOW_CLASS[];
extern const char SOURCE_ROOT_NAME[];
extern const char SETUP_LOCK_NAME[];      // the mutex of one run at a time

#endif
