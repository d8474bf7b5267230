// Printer installation: the setup sequence, port choice, spooler
// registration, kernel service and the completion dialog.
#ifndef TARV_INSTALL_H
#define TARV_INSTALL_H

#include <windows.h>

#include <winspool.h>

// The simple (driver and queue) or complete setup on the catalogue row; 1
// when it completed. A quiet one is all or nothing.
int InstallPrinter(HWND owner, int row, int complete);

// 1: a port was chosen (g_setup.portName set); 0: cancelled; -1: the dialog
// could not be shown.
int RunPortDialog(HWND owner);

// The port of the new queue: the one "/PORT=" names when the spooler lists it,
// otherwise the user's choice in the port dialog. A quiet run cannot ask, so
// without such a port it ends with a wrong command line. Results as for
// RunPortDialog.
int ChoosePort(HWND owner);

// Shows "Setup is complete !" until Quit; returns 1.
int RunCompletionDialog(HWND owner);

// Register the model's driver and queue; each reports its own failure.
int AddDriver(HWND owner, int row);
int AddQueue(HWND owner, int row);

// Silently deletes any earlier queue and driver of the model.
void PurgePrinter();

// Copies, registers and starts the hwbridge kernel driver; reports each
// failure itself.
void InstallKernelService();

#endif
