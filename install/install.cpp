// The complete and the simple setup of one catalogue row.
#include <windows.h>

#include "app/actions.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/folders.h"
#include "deploy/deploy.h"
#include "install/install.h"
#include "res/resource.h"

enum { COMPLETION_DELAY_MS = 1000, INF_MEDIA_PATH = 1 /* SPOST_PATH */ };

// Releases copies of the driver's modules loaded into this process, so that
// their files can be replaced and the spooler can forget them.
static void UnloadDriverModules()
{
    for (size_t i = 0; i < sizeof MODEL_UNLOAD_MODULES / sizeof MODEL_UNLOAD_MODULES[0]; i++) {
        HMODULE module = GetModuleHandleA(MODEL_UNLOAD_MODULES[i]);
        if (module)
            FreeLibrary(module);
    }
}

// Hands the row's INF file to the setup library. The setup library refuses a
// relative path, so the file is named by its absolute path below the working
// folder, which the file deployment has made the source root. Like the
// library's own result, a path that cannot be built is not reported.
static void RegisterInf(int row)
{
    const FileEntry *first = g_platforms[row].driverFiles;
    if (!g_setup.copyOemInf || !first || !first->name)
        return;
    char relative[PATH_CHARS];
    char folder[PATH_CHARS];
    char path[PATH_CHARS];
    if (!FormatText(relative, sizeof relative, MODEL_INF_FORMAT, first->sourceFolder))
        return;
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return;
    const char *separator = folder[length - 1] == '\\' ? "" : "\\";
    if (!FormatText(path, sizeof path, "%s%s%s", folder, separator, relative))
        return;
    g_setup.copyOemInf(path, 0, INF_MEDIA_PATH, 0, 0, 0, 0, 0);
}

int InstallPrinter(HWND owner, int row, int complete)
{
    if (RunPortDialog(owner) == 0)
        return 0;
    if (!GetTargetFolders()) {
        ShowMessageId(owner, 0, IDS_NO_FOLDERS);
        return 0;
    }
    if (!IsNineXFamily(row))
        UnloadDriverModules();
    PurgePrinter();

    const PlatformEntry &platform = g_platforms[row];
    if (complete) {
        g_setup.targetFolder = g_setup.systemFolder;
        if (!DeployFileList(owner, platform.systemFiles))
            return 0;
        g_setup.targetFolder = g_setup.driverFolder;
        if (!DeployFileList(owner, platform.driverFiles))
            return 0;
        RegisterInf(row);
    }
    AddDriver(owner, row);
    AddQueue(owner, row);
    if (complete) {
        if (!DeployCommonFiles(owner, row))
            return 0;
        if (!IsNineXFamily(row))
            InstallKernelService();
    }

    Sleep(COMPLETION_DELAY_MS);
    SetForegroundWindow(owner);
    SetActiveWindow(owner);
    RunCompletionDialog(owner);
    return 1;
}
