// The purge: the spooler's copies of the driver files, the files the complete
// deletion keeps and the backups, and the order of all purge steps.
#include <windows.h>
#include <winspool.h>

#include <string.h>

#include "base/paths.h"
#include "base/system_dlls.h"
#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "catalog/product_names.h"
#include "machine/spooler_lists.h"
#include "machine/version_folders.h"
#include "remove/purge.h"
#include "remove/purge_run.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

void ReadModelDriverFiles(ModelDriverFiles *files)
{
    DWORD count = 0, error = 0;
    files->drivers = EnumLocalDrivers(&count, &error);
    files->model = FindModelDriver(files->drivers, count);
    if (!files->model)
        LogLine("spooler: the files of driver \"%s\" are not listed%s", MODEL_DRIVER_NAME,
                error ? ", the drivers cannot be listed" : "");
}

void ReleaseModelDriverFiles(ModelDriverFiles *files)
{
    if (files->drivers)
        GlobalFree(files->drivers);
    files->drivers = 0;
    files->model = 0;
}

BOOL DeleteModelDriverWithFiles()
{
    if (g_setup.spooler.DeletePrinterDriverExA) {
        if (g_setup.spooler.DeletePrinterDriverExA(0, 0, (LPSTR)MODEL_DRIVER_NAME, DPD_DELETE_UNUSED_FILES, 0)) {
            LogLine("spooler: driver \"%s\" deleted with its unused files", MODEL_DRIVER_NAME);
            return TRUE;
        }
        LogLine("spooler: driver \"%s\" not deleted with its unused files, error %lu; its files are checked after",
                MODEL_DRIVER_NAME, (unsigned long)GetLastError());
    } else {
        LogLine("spooler: DeletePrinterDriverExA not available; the driver's files are checked after");
    }
    return g_setup.spooler.DeletePrinterDriverA(0, 0, (LPSTR)MODEL_DRIVER_NAME);
}

// One of the spooler's own copies: only a file of the model, and only in a
// version folder of the printer-driver folder.
static void PurgeSpoolerCopy(PurgeRun *run, int row, const char *path)
{
    if (!InVersionFolder(path, g_setup.driverFolder, IsLeadByte))
        LogLine("left %s: not in a version folder of %s", path, g_setup.driverFolder);
    else if (!IsModelDriverFile(row, PathFileName(path, IsLeadByte)))
        LogLine("left %s: no file of this model", path);
    else
        PurgeFile(run, path);
}

// The index-th file the spooler listed for the model (driver, data,
// configuration, help, then dependent files): "" for an empty field, null
// after the last.
static const char *ListedFile(const DRIVER_INFO_3A *model, size_t index)
{
    const char *fixed[] = { model->pDriverPath, model->pDataFile, model->pConfigFile, model->pHelpFile };
    const size_t fixedCount = sizeof fixed / sizeof fixed[0];
    if (index < fixedCount)
        return fixed[index] ? fixed[index] : "";
    index -= fixedCount;
    for (const char *file = model->pDependentFiles; file && *file; file += strlen(file) + 1)
        if (index-- == 0)
            return file;
    return 0;
}

// The files the spooler listed for the model before its registration went,
// each once: it lists the driver's own files again among the dependent ones.
static void PurgeSpoolerCopies(PurgeRun *run, int row, const ModelDriverFiles *ours)
{
    const DRIVER_INFO_3A *model = ours->model;
    if (!model)
        return;
    const char *file;
    for (size_t i = 0; (file = ListedFile(model, i)) != 0; i++) {
        int seen = !*file;
        for (size_t j = 0; j < i && !seen; j++)
            seen = SameTextIgnoringAsciiCase(ListedFile(model, j), file);
        if (!seen)
            PurgeSpoolerCopy(run, row, file);
    }
}

struct VersionScan {
    PurgeRun *run;
    int row;
    const DRIVER_INFO_3A *model;
};

// A copy in a version folder that no registration names (there is none left
// to ask, or it was made by an earlier one).
static void PurgeUnlisted(void *context, const char *path, int exists)
{
    const VersionScan *scan = (const VersionScan *)context;
    const char *file;
    for (size_t i = 0; exists && scan->model && (file = ListedFile(scan->model, i)) != 0; i++)
        if (SameTextIgnoringAsciiCase(file, path))
            return;  // handled with the listed ones
    if (exists)
        PurgeFile(scan->run, path);
}

// Every entry of a list in folder, or the backup a setup made of each.
static void PurgeListed(PurgeRun *run, const char *folder, const FileEntry *list, int backups)
{
    for (const FileEntry *entry = list; entry && entry->name; entry++) {
        char name[BACKUP_NAME_CHARS];
        char path[PATH_CHARS];
        if (!CopyText(name, sizeof name, entry->name) || (backups && !MakeBackupName(name, sizeof name)))
            continue;  // no setup could have written a backup of that name
        if (!FormatText(path, sizeof path, "%s\\%s", folder, name)) {
            LogLine("purge failed %s\\%s: the path does not fit", folder, name);
            ShowMessageId(run->owner, folder, IDS_FILE_NOT_DELETED);
            continue;
        }
        PurgeFile(run, path);
    }
}

void PurgeLeftovers(HWND owner, int row, const ModelDriverFiles *ours)
{
    PurgeRun run;
    ZeroMemory(&run, sizeof run);
    run.owner = owner;
    DWORD error = 0;
    run.others = EnumLocalDrivers(&run.otherCount, &error);
    run.othersUnknown = error != 0;
    if (error)
        LogLine("spooler: the other drivers cannot be listed, error %lu; every file another may share is kept",
                (unsigned long)error);
    LogLine("purge: everything else of driver \"%s\"", MODEL_DRIVER_NAME);
    if (!IsNineXFamily(row))
        PurgeKernelService(&run);
    PurgeSpoolerCopies(&run, row, ours);
    VersionScan scan = { &run, row, ours->model };
    if (!ForEachVersionCopy(row, PurgeUnlisted, &scan)) {
        LogLine("the version folders of %s cannot be read, error %lu", g_setup.driverFolder,
                (unsigned long)GetLastError());
        SetQuietExit(QUIET_EXIT_FAILED);
    }
    PurgeRegisteredInf(&run, row);
    const PlatformEntry *platform = &g_platforms[row];
    for (int backups = 0; backups <= 1; backups++) {
        PurgeListed(&run, g_setup.driverFolder, platform->driverFiles, backups);
        PurgeListed(&run, g_setup.systemFolder, platform->systemFiles, backups);
        PurgeListed(&run, g_setup.systemFolder, GetCommonFiles(row), backups);
    }
    if (run.others)
        GlobalFree(run.others);
    if (run.restartNeeded) {
        char caption[CAPTION_CHARS];
        LoadMessage(IDS_DELETION_TITLE, caption, sizeof caption);
        ShowMessageId(owner, caption, IDS_RESTART_NEEDED);
    }
}
