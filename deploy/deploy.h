// Deploying file-list entries into the current target folder.
#ifndef TARV_DEPLOY_H
#define TARV_DEPLOY_H

#include <windows.h>

#include "catalog/catalog.h"

// 1: go on with the setup (copied, kept or skipped); 0: the user chose to stop.
int DeployFileEntry(HWND owner, const FileEntry *entry);

// Deploys every entry; stops at the first 0 and returns 0.
int DeployFileList(HWND owner, const FileEntry *list);

// Deploys the row's common files into the system folder.
int DeployCommonFiles(HWND owner, int row);

#endif
