#include <windows.h>

#include "app/actions.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "res/resource.h"

int DetectPlatform(HWND owner)
{
    OSVERSIONINFOEXA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA((OSVERSIONINFOA *)&version)) {
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA((OSVERSIONINFOA *)&version)) {
            ShowMessageId(owner, 0, IDS_NO_VERSION);
            return PLATFORM_UNKNOWN;
        }
    }
    int row = PlatformFromVersion(version.dwPlatformId, version.dwMajorVersion,
                                  version.dwMinorVersion);
    if (row == PLATFORM_UNKNOWN)
        ReportFormatted(owner, IDS_SETUP_FAILURE, IDS_UNKNOWN_VERSION,
                        (unsigned long)version.dwPlatformId,
                        (unsigned long)version.dwMajorVersion,
                        (unsigned long)version.dwMinorVersion);
    return row;
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
    return MessageBoxA(owner, text, "", MB_YESNO) == IDYES;
}
