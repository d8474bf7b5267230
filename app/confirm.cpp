#include <windows.h>

#include "app/actions.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "res/resource.h"
#include "run/messages.h"
#include "run/state.h"

void ReadPlatform(PlatformReading *reading)
{
    OSVERSIONINFOEXA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    reading->versionRead = 1;
    if (!GetVersionExA((OSVERSIONINFOA *)&version)) {
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        reading->versionRead = GetVersionExA((OSVERSIONINFOA *)&version) != 0;
    }
    reading->platformId = version.dwPlatformId;
    reading->major = version.dwMajorVersion;
    reading->minor = version.dwMinorVersion;
    reading->row = reading->versionRead ? PlatformFromVersion(reading->platformId, reading->major, reading->minor)
                                        : (int)PLATFORM_UNKNOWN;
}

int DetectPlatform(HWND owner, const PlatformReading *reading)
{
    if (!reading->versionRead)
        ShowMessageId(owner, 0, IDS_NO_VERSION);
    else if (reading->row == PLATFORM_UNKNOWN)
        ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_UNKNOWN_VERSION, reading->platformId, reading->major,
                        reading->minor);
    return reading->row;
}

int ConfirmAction(HWND owner)
{
    UINT id;
    switch (g_setup.request.action) {
    case ACTION_COMPLETE_SETUP:    id = IDS_CONFIRM_COMPLETE_SETUP; break;
    case ACTION_SIMPLE_DELETION:   id = IDS_CONFIRM_SIMPLE_DELETION; break;
    case ACTION_SIMPLE_SETUP:      id = IDS_CONFIRM_SIMPLE_SETUP; break;
    case ACTION_COMPLETE_DELETION: id = IDS_CONFIRM_COMPLETE_DELETION; break;
    default: return 0;
    }
    int row = g_setup.request.platform;
    if (row < 0 || row >= PLATFORM_COUNT)
        return 0;
    char format[MESSAGE_CHARS];
    char text[MESSAGE_CHARS];
    LoadMessage(id, format, sizeof format);
    FormatText(text, sizeof text, format, g_platforms[row].displayName);
    return ShowBox(owner, id, text, "", MB_YESNO) == IDYES;
}
