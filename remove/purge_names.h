// Which files a purge may touch (no Windows dependency): only names of the
// model's own catalogue, in the printer-driver folder's version sub-folders.
#ifndef TARV_PURGE_NAMES_H
#define TARV_PURGE_NAMES_H

#include <stddef.h>

// 1 when name (without a folder) is one of the row's driver files: a file of
// its driver record (driver, data, configuration, help and dependent files) or
// an entry of its driver-file list. Case does not count, as on the file system.
int IsModelDriverFile(int row, const char *name);

// 1 when name (without a folder) is a file the product writes on any
// platform: a driver or common file of the catalogue, a file of a driver
// record, the kernel driver "hwbridge.sys", or the backup of one of them.
int IsProductFileName(const char *name);

// 1 when name (without a folder) is a name the setup library gives a copy
// of the model's INF, "oem" and digits or the INF's own, with extension
// (".inf", or ".pnf" for the precompiled form it keeps beside it).
int IsModelInfCopyName(const char *name, const char *extension);

// The file name of a path: what follows its last backslash, or the whole path.
// The trail byte of a double-byte character is never taken for a backslash.
const char *PathFileName(const char *path, int (*isLeadByte)(unsigned char));

// What joins a name to folder: "" after a closing backslash ("C:\\"),
// otherwise a backslash; a trail byte is never taken for one.
const char *PathSeparatorAfter(const char *folder, int (*isLeadByte)(unsigned char));

// The folder of a path (what precedes its file name and the backslash), in
// out of size bytes (at least 1): as much of it as fits, however long the path.
void PathFolder(char *out, size_t size, const char *path, int (*isLeadByte)(unsigned char));

// 1 when path lies below folder (written without a closing backslash): it
// starts with the folder, without regard to ASCII case, and a backslash.
int StartsWithFolder(const char *path, const char *folder);

// 1 when path names a file directly inside a sub-folder of driverFolder, as
// the spooler's version folders are ("<driverFolder>\3\TarvUI.dll").
int InVersionFolder(const char *path, const char *driverFolder, int (*isLeadByte)(unsigned char));

#endif
