// Paths as the ANSI functions take them (no Windows dependency): the file
// name, the folder, what joins them, and whether a path lies in a folder. The
// trail byte of a double-byte character is never taken for a backslash.
#ifndef TARV_PATHS_H
#define TARV_PATHS_H

#include <stddef.h>

// Room for a path everywhere in the program; a path that does not fit is an
// error, never cut short into another path.
enum { PATH_CHARS = 512 };

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
