// One run at a time: a named mutex held from start-up to the end of the run.
#ifndef TARV_RUN_LOCK_H
#define TARV_RUN_LOCK_H

#include <windows.h>

enum { LOCK_NAME_CHARS = 64 };

// The mutex baseName of this machine, opened or created, its full name in
// name: 0 with the last error set when it cannot be had (access denied: it
// exists under another account).
HANDLE OpenMachineMutex(const char *baseName, char *name, size_t size);

// 1 when this run may go on: it holds the lock, or the system has no named
// mutexes (logged). 0 when another run holds it.
int TakeRunLock();
void ReleaseRunLock();

#endif
