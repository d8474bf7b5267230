// What the local spooler lists: its ports and drivers, and the model's driver among them.
#ifndef TARV_SPOOLER_LISTS_H
#define TARV_SPOOLER_LISTS_H

#include <windows.h>

#include <winspool.h>

// The local spooler's ports at level 2 in a global block the caller frees;
// 0 when there are none (*error 0) or they cannot be listed (*error says why).
PORT_INFO_2A *EnumLocalPorts(DWORD *count, DWORD *error);

// The drivers the local spooler lists at level 3 in a global block the caller
// frees; 0 when there are none (*error 0) or they cannot be listed.
DRIVER_INFO_3A *EnumLocalDrivers(DWORD *count, DWORD *error);

// The model's driver among count listed ones, or null.
const DRIVER_INFO_3A *FindModelDriver(const DRIVER_INFO_3A *drivers, DWORD count);

// 1 when the spooler lists the model's driver, or cannot say.
int ModelDriverListed();

#endif
