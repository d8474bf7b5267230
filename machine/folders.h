#ifndef TARV_FOLDERS_H
#define TARV_FOLDERS_H

// Fills the run state's systemFolder and driverFolder; 1 when both are known
// (also when an earlier call of the run found them).
int GetTargetFolders();

#endif
