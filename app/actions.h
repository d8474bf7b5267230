// Entry points of the actions the dispatch calls.
#ifndef TARV_ACTIONS_H
#define TARV_ACTIONS_H

#include <windows.h>

#include "app/request.h"

int ParseCommandLine(char *text, SetupRequest *request);
void ShowUsage(HWND owner);
int DetectPlatform(HWND owner);
int ConfirmAction(HWND owner);
int InstallPrinter(HWND owner, int row, int complete);
int RemovePrinter(HWND owner, int row, int complete);

#endif
