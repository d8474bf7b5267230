// "/PURGE": after a complete deletion, whatever else of the printer the
// machine holds: the kernel service and its file, the spooler's copies of the
// driver files, the INF the setup library registered, the driver files and
// common tools the deletion keeps, and the backups of them.
#ifndef TARV_PURGE_H
#define TARV_PURGE_H

#include <windows.h>
#include <winspool.h>

// The files of the model's driver as the spooler lists them (full paths in
// its version folder), read while the driver is still registered.
struct ModelDriverFiles {
    DRIVER_INFO_3A *drivers;  // global block of every listed driver, or null
    const DRIVER_INFO_3A *model;  // the model's entry in it, or null
};

void ReadModelDriverFiles(ModelDriverFiles *files);
void ReleaseModelDriverFiles(ModelDriverFiles *files);

// The purge steps after the complete deletion of row. A file that cannot be
// deleted is reported (message 150, its folder as caption) and the purge goes
// on; a file or driver still in use is scheduled for the next restart, which
// is reported at the end (message 172).
void PurgeLeftovers(HWND owner, int row, const ModelDriverFiles *ours);

// Deletes the model's driver registration with its unused files where the
// spooler can (DeletePrinterDriverExA), otherwise the registration alone.
BOOL DeleteModelDriverWithFiles();

#endif
