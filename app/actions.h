// Entry points of the actions the dispatch calls.
#ifndef TARV_ACTIONS_H
#define TARV_ACTIONS_H

#include <windows.h>

#include "app/request.h"

// What the running Windows says of itself, and the catalogue row it selects.
struct PlatformReading {
    int versionRead;  // 0: neither version record could be read
    unsigned long platformId, major, minor;
    int row;          // catalogue row, or PLATFORM_UNKNOWN
};

// 0 when the token array cannot be allocated; the caller reports it.
int ParseCommandLine(char *text, SetupRequest *request);
void ShowUsage(HWND owner);
void ReadPlatform(PlatformReading *reading);
// The reading's row; tells the user why there is none (messages 108, 112).
int DetectPlatform(HWND owner, const PlatformReading *reading);
int ConfirmAction(HWND owner);
int InstallPrinter(HWND owner, int row, int complete);
int RemovePrinter(HWND owner, int row, int complete);

#endif
