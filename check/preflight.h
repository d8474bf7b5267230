// The checks a quiet setup makes before its first change.
#ifndef TARV_PREFLIGHT_H
#define TARV_PREFLIGHT_H

// A quiet setup's checks before its first change: the media's files can be
// read, the files it replaces written and deleted, the target folders
// written, no restart is due to rename or delete a file it writes, and (NT
// family) the service manager opens. 0 (logged, exit code 1603) when one
// fails: the machine is as it was.
int CheckBeforeChanges(int row, int complete);

#endif
