// The spooler's version folders: the sub-folders of the printer-driver folder
// ("3" and the like) where it keeps its own copies of a driver's files.
#ifndef TARV_VERSION_FOLDERS_H
#define TARV_VERSION_FOLDERS_H

typedef void (*VersionCopy)(void *context, const char *path, int exists);

// Calls visit with the path of each file of the row's driver record in each
// version folder, whether it is there or not, and in the version folders a
// registration may make ("0", "2", "3") even before they exist. 0 (with the last error) when
// the printer-driver folder cannot be read.
int ForEachVersionCopy(int row, VersionCopy visit, void *context);

#endif
