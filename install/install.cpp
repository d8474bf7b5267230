// The complete and the simple setup of one catalogue row.
#include <windows.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "base/whole_file.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "catalog/product_names.h"
#include "check/preflight.h"
#include "deploy/deploy.h"
#include "install/install.h"
#include "machine/folders.h"
#include "machine/model_inf.h"
#include "res/resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"
#include "undo/journal.h"

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

typedef BOOL (WINAPI *SetNonInteractiveProc)(BOOL);

// A quiet run tells the setup library that nobody answers: with the "Warn"
// driver-signing policy it would otherwise ask about the INF.
static void MakeSetupLibraryNonInteractive()
{
    SetNonInteractiveProc setNonInteractive =
        (SetNonInteractiveProc)(void *)GetProcAddress(g_setup.setupLibrary, "SetupSetNonInteractiveMode");
    if (!setNonInteractive) {
        LogLine("setup library: SetupSetNonInteractiveMode not available");
        return;
    }
    setNonInteractive(TRUE);
    LogLine("setup library: non-interactive mode set");
}

// The absolute path of the row's INF below the working folder, which the file
// deployment has made the source root (the setup library refuses a relative
// one); 0 when it does not fit.
static int BuildInfPath(int row, char *path, size_t size)
{
    char relative[PATH_CHARS];
    char *name = 0;
    DWORD length = ModelInfMediaPath(row, relative, sizeof relative, 1) ? GetFullPathNameA(relative, (DWORD)size, path, &name) : 0;
    return length != 0 && length < size;
}

struct InfRecord {
    BYTE *record;
    DWORD used, size;
    int full;  // a name did not fit: the undo would take that copy for ours
};

// Adds the name of an INF found, after the others. The library rewrites
// the precompiled form of a copy it finds (it names the media): kept too.
static void CollectInf(void *context, const char *folder, const char *name)
{
    InfRecord *inf = (InfRecord *)context;
    size_t length = strlen(name) + 1;
    char pnf[PATH_CHARS];
    if (inf->used + length < inf->size && FormatText(pnf, sizeof pnf, "%s\\%s", folder, name)
        && PrecompiledInfPath(pnf, sizeof pnf) && (!IsModelInfCopyName(name, ".inf") || JournalSaveFile(pnf))) {
        memcpy(inf->record + inf->used, name, length);
        inf->used += (DWORD)length;
    } else {
        inf->full = 1;
    }
}

// Before the INF is registered, the journal holds its bytes and the names
// of the copies of it the INF folder already holds: undoing removes only the
// others, wherever the media are by then.
static int JournalInf(const char *path)
{
    if (!g_setup.journal.file)
        return 1;
    // Small enough that its journal stays below the size a journal may have.
    DWORD bytes = 0;
    BYTE *content = ReadWholeFile(path, JOURNAL_MAX_BYTES / 4, &bytes);
    InfRecord inf = { 0, 0, bytes + (DWORD)sizeof(uint32_t) + PATH_CHARS, 0 };
    inf.record = content ? (BYTE *)GlobalAlloc(GPTR, inf.size) : 0;
    int saved = 0;
    if (inf.record) {
        uint32_t size = bytes;
        memcpy(inf.record, &size, sizeof size);
        memcpy(inf.record + sizeof size, content, bytes);
        inf.used = (DWORD)sizeof size + bytes;
        saved = FindInfsLike(content, bytes, CollectInf, &inf) >= 0 && !inf.full
                && JournalAdd(JOURNAL_INF_ADDED, inf.record, inf.used + 1);
        GlobalFree(inf.record);
    }
    if (!saved)
        LogLine("undo journal: the INF %s cannot be kept for the undo, error %lu", path, (unsigned long)GetLastError());
    if (content)
        GlobalFree(content);
    return saved;
}

// Hands the row's INF file to the setup library. Like the library's own
// result, a failure is not reported to the user; a quiet run counts it.
static void RegisterInf(int row)
{
    if (!g_setup.copyOemInf) {
        LogLine("setup library: SetupCopyOEMInfA not available, no INF registered");
        return;
    }
    char path[PATH_CHARS];
    if (!BuildInfPath(row, path, sizeof path)) {
        LogLine("setup library: no INF registered, its path does not fit");
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    if (!JournalInf(path)) {
        SetQuietExit(QUIET_EXIT_FAILED);
        return;
    }
    if (g_setup.quiet)
        MakeSetupLibraryNonInteractive();
    BOOL copied = g_setup.copyOemInf(path, 0, INF_MEDIA_PATH, 0, 0, 0, 0, 0);
    char result[32];
    LogLine("setup library: SetupCopyOEMInfA %s: %s", path, StepResult(copied, GetLastError(), result, sizeof result));
    if (!copied)
        SetQuietExit(QUIET_EXIT_FAILED);
}

// The registration changes the spooler's copies of the driver's files too.
static void AddDriverKeepingCopies(HWND owner, int row)
{
    VersionCopies before;
    if (!JournalVersionCopies(row, &before) || !JournalAdd(JOURNAL_DRIVER_ADDED, "", 0))
        SetQuietExit(QUIET_EXIT_FAILED);
    else
        AddDriver(owner, row);
    if (!JournalNewVersionCopies(row, &before))
        SetQuietExit(QUIET_EXIT_FAILED);
}

// The steps of the setup after the checks; 0 when it stopped.
static int RunSteps(HWND owner, int row, int complete)
{
    PurgePrinter();
    if (SetupStopped())
        return 0;
    const PlatformEntry &platform = g_platforms[row];
    if (complete) {
        g_setup.targetFolder = g_setup.systemFolder;
        DeployFileList(owner, platform.systemFiles);
        g_setup.targetFolder = g_setup.driverFolder;
        DeployFileList(owner, platform.driverFiles);
        if (SetupStopped())
            return 0;
        RegisterInf(row);
        if (SetupStopped())
            return 0;
    }
    AddDriverKeepingCopies(owner, row);
    if (SetupStopped())
        return 0;
    if (!JournalAdd(JOURNAL_QUEUE_ADDED, "", 0))
        SetQuietExit(QUIET_EXIT_FAILED);
    else
        AddQueue(owner, row);
    if (SetupStopped())
        return 0;
    if (complete) {
        DeployCommonFiles(owner, row);
        if (!SetupStopped() && !IsNineXFamily(row))
            InstallKernelService();
    }
    return !SetupStopped();
}

int InstallPrinter(HWND owner, int row, int complete)
{
    if (ChoosePort(owner) == 0)
        return 0;
    if (!GetTargetFolders()) {
        ShowMessageId(owner, 0, IDS_NO_FOLDERS);
        return 0;
    }
    LogLine("folders: system %s, printer drivers %s", g_setup.systemFolder, g_setup.driverFolder);
    // A quiet setup is all or nothing: what can be known is checked before
    // the first change, and every change is journaled so it can be undone.
#ifndef TARV_MEASURE_WITHOUT_UNDO
    if (g_setup.quiet && (!CheckBeforeChanges(row, complete) || !OpenJournal())) {
        SetQuietExit(QUIET_EXIT_FAILED);
        return 0;
    }
#endif
    if (!IsNineXFamily(row))
        UnloadDriverModules();
    // Kept first: a journal that says done without it would lose its copies.
    int kept = g_setup.request.keepUndo;
    int done = RunSteps(owner, row, complete) && (!kept || JournalAdd(JOURNAL_KEPT, "", 0))
               && JournalAdd(JOURNAL_DONE, "", 0);
    if (!done)
        SetQuietExit(QUIET_EXIT_FAILED);
    int undone = CloseJournal(done, kept);
    if (!done) {
        if (g_setup.quiet)
            LogLine(undone ? "setup failed; its changes were undone" : "setup failed; its changes could not all be undone");
        return 0;
    }

    // The pause is for a person to see the last copy end; a quiet run has none.
    if (!g_setup.quiet) {
        Sleep(COMPLETION_DELAY_MS);
        SetForegroundWindow(owner);
        SetActiveWindow(owner);
        RunCompletionDialog(owner);
    }
    LogLine("setup complete%s", g_setup.quiet ? " (the completion dialog is not shown in a quiet run)" : "");
    return 1;
}
