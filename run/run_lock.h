// One run at a time, held from before the first change to the end of the run.
#ifndef TARV_RUN_LOCK_H
#define TARV_RUN_LOCK_H

#include <windows.h>

enum RunLockResult { RUN_LOCK_TAKEN, RUN_LOCK_BUSY, RUN_LOCK_FAILED };

// RUN_LOCK_TAKEN when this run may go on (logged where the system has no
// named objects, Win32s); RUN_LOCK_BUSY when another run holds it;
// RUN_LOCK_FAILED when it cannot be had at all (logged).
int TakeRunLock();
void ReleaseRunLock();

#endif
