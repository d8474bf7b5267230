// One run at a time: a named mutex held from start-up to the end of the run.
#ifndef TARV_RUN_LOCK_H
#define TARV_RUN_LOCK_H

// 1 when this run may go on: it holds the lock, or the system has no named
// mutexes (logged). 0 when another run holds it.
int TakeRunLock();
void ReleaseRunLock();

#endif
