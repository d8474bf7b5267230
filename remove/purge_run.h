// State of one purge, shared by its steps (remove/purge*.cpp): the order
// of the steps (purge.cpp) calls the service and INF steps, and all of them
// call the one-file step (purge_file.cpp).
#ifndef TARV_PURGE_RUN_H
#define TARV_PURGE_RUN_H

#include <windows.h>
#include <winspool.h>

struct PurgeRun {
    HWND owner;
    DRIVER_INFO_3A *others;  // the drivers the spooler lists once the model's is gone
    DWORD otherCount;
    int othersUnknown;       // the spooler could not list them: no file is known to be unshared
    int restartNeeded;       // something goes only at the next restart
};

// Deletes one file of the model. A file that is not there is no item; one
// whose name another driver lists is kept; one in use is scheduled for the
// next restart (NT family); any other failure is reported (message 150).
// Each outcome is logged.
void PurgeFile(PurgeRun *run, const char *path);

void PurgeKernelService(PurgeRun *run);
void PurgeRegisteredInf(PurgeRun *run, int row);

#endif
