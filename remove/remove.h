// Removal of the model's queue, driver registration and driver files.
#ifndef TARV_REMOVE_H
#define TARV_REMOVE_H

#include <windows.h>

// The simple (queue and driver registration) or complete deletion on the
// catalogue row; 1 when it completed.
int RemovePrinter(HWND owner, int row, int complete);

// Deletes the queue (and, on the NT family, the model's form). Once the queue
// is open, dataPath (PATH_CHARS) receives the installed driver's data file or
// an empty text; it is left alone when the queue cannot be opened.
int DeletePrinterQueue(HWND owner, char *dataPath, int row);  // -1: there is none

// Deletes the driver registration; the complete deletion then also deletes
// the data file the spooler named (silently).
int DeleteDriver(HWND owner, int complete, const char *dataPath);

#endif
