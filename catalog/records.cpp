#include "catalog/records.h"

#include <string.h>

#include "catalog/catalog.h"

int BuildMultiString(char *out, size_t size, const char *const *names, size_t count)
{
    if (!out || size < 2)
        return 0;
    size_t used = 0;
    for (size_t i = 0; i < count; i++) {
        size_t length = names[i] ? strlen(names[i]) : 0;
        // Room for this name, its zero and the final zero.
        if (length == 0 || length + 2 > size - used) {
            out[0] = out[1] = '\0';
            return 0;
        }
        memcpy(out + used, names[i], length + 1);
        used += length + 1;
    }
    out[used] = '\0';
    if (count == 0)
        out[1] = '\0';  // an empty multi-string is still two zeros
    return 1;
}

// Dependent files: data file and both help files on the Windows 9x family;
// driver, data and configuration files and both help files on the NT family.
static int BuildDependentFiles(char *out, size_t size, int row)
{
    const PlatformEntry &platform = g_platforms[row];
    if (IsNineXFamily(row)) {
        const char *const names[] = { platform.dataFile, MODEL_HELP_FILE, MODEL_SECOND_HELP_FILE };
        return BuildMultiString(out, size, names, sizeof names / sizeof names[0]);
    }
    const char *const names[] = { platform.driverFile, platform.dataFile, platform.configFile,
                                  MODEL_HELP_FILE, MODEL_SECOND_HELP_FILE };
    return BuildMultiString(out, size, names, sizeof names / sizeof names[0]);
}

int BuildDriverRecord(int row, DriverRecord *record)
{
    memset(record, 0, sizeof *record);
    if (row < 0 || row >= PLATFORM_COUNT || !g_platforms[row].supported)
        return 0;
    const PlatformEntry &platform = g_platforms[row];
    record->version = platform.driverVersion;
    record->name = MODEL_DRIVER_NAME;
    record->driverPath = platform.driverFile;
    record->dataFile = platform.dataFile;
    record->configFile = platform.configFile;
    record->helpFile = IsNineXFamily(row) ? MODEL_HELP_FILE : 0;
    record->defaultDataType = MODEL_DATA_TYPE;
    return BuildDependentFiles(record->dependentFiles, sizeof record->dependentFiles, row);
}

void BuildQueueRecord(const char *portName, QueueRecord *record)
{
    memset(record, 0, sizeof *record);
    record->printerName = MODEL_QUEUE_NAME;
    record->portName = portName;
    record->driverName = MODEL_DRIVER_NAME;
    record->comment = MODEL_QUEUE_COMMENT;
    record->printProcessor = MODEL_PRINT_PROCESSOR;
    record->dataType = MODEL_DATA_TYPE;
    record->attributes = QUEUE_ATTRIBUTES;
}
