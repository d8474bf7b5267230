// The frame's own steps before an action: the command line, the usage,
// the platform and the confirmation.
#ifndef TARV_ACTIONS_H
#define TARV_ACTIONS_H

#include <windows.h>

#include "run/request.h"

// 0 when the token array cannot be allocated; the caller reports it.
int ParseCommandLine(char *text, SetupRequest *request);
void ShowUsage(HWND owner);
void ReadPlatform(PlatformReading *reading);
// The reading's row; tells the user why there is none (messages 108, 112).
int DetectPlatform(HWND owner, const PlatformReading *reading);
int ConfirmAction(HWND owner);

#endif
