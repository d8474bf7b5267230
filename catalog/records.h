// The driver and queue records given to the spooler, built from the catalogue.
#ifndef TARV_RECORDS_H
#define TARV_RECORDS_H

#include <stddef.h>

enum { DEPENDENT_FILES_CHARS = 256, QUEUE_ATTRIBUTES = 0x1041 /* queued, local, raw only */ };

// Fields of a level-3 driver record; null means none.
struct DriverRecord {
    unsigned long version;
    const char *name;
    const char *environment;     // none: the spooler's default for the local machine
    const char *driverPath;
    const char *dataFile;
    const char *configFile;
    const char *helpFile;        // the model's help file on the Windows 9x family only
    char dependentFiles[DEPENDENT_FILES_CHARS];  // multi-string of bare file names
    const char *monitorName;
    const char *defaultDataType;
};

// Fields of a level-2 printer record that are set; all others are none or 0.
struct QueueRecord {
    const char *printerName;
    const char *portName;
    const char *driverName;
    const char *comment;
    const char *printProcessor;
    const char *dataType;
    unsigned long attributes;
};

// Writes names[0..count) as a multi-string: each name followed by a zero, the
// sequence ended by one more zero. 0 when it does not fit or a name is empty
// (an empty name would end the sequence early).
int BuildMultiString(char *out, size_t size, const char *const *names, size_t count);

// Fills the row's driver record; 0 for a row without a driver or when the
// dependent files do not fit their buffer.
int BuildDriverRecord(int row, DriverRecord *record);

void BuildQueueRecord(const char *portName, QueueRecord *record);

#endif
