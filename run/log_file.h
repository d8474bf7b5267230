// Opening the run log without writing through someone else's file.
#ifndef TARV_LOG_FILE_H
#define TARV_LOG_FILE_H

#include <windows.h>

// The log at path, opened for appending (seekToEnd: each line must be put at
// the end by hand, as on Windows 9x). On the NT family an existing file on a
// local disk that is not a plain disk file, has more than one link, or is
// owned by anyone but the system account, the Administrators or the running
// account is moved aside to movedTo and a new file made in its place; on a
// share (a UNC path or a network drive) only one that is not a plain disk
// file is. movedTo is "" otherwise. inTheWay is set when an existing file
// can be neither appended to nor moved aside.
HANDLE OpenLogFile(const char *path, int *seekToEnd, char *movedTo, int *inTheWay);

#endif
