// Choosing the driver data file that the complete deletion removes (no
// Windows dependency).
#ifndef TARV_DATAFILE_H
#define TARV_DATAFILE_H

#include <stddef.h>

// Copies dataFile into out (size bytes) when the spooler reported it for the
// model's own driver and the whole path fits; 1 then. Otherwise out becomes
// empty and the result is 0: a queue re-assigned to another driver must not
// lose that driver's file, and a cut path would name a different file.
int TakeDataFile(char *out, size_t size, const char *driverName, const char *dataFile);

#endif
