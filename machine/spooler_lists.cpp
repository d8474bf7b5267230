// What the local spooler lists: its ports and drivers, and the model's driver among them.
#include "machine/spooler_lists.h"

#include "base/text.h"
#include "catalog/catalog.h"
#include "run/state.h"

PORT_INFO_2A *EnumLocalPorts(DWORD *count, DWORD *error)
{
    DWORD needed = 0;
    *count = 0;
    *error = 0;
    if (g_setup.spooler.EnumPortsA(0, 2, 0, 0, &needed, count))
        return 0;  // nothing to list
    *error = GetLastError();
    if (*error != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    *error = ERROR_NOT_ENOUGH_MEMORY;
    PORT_INFO_2A *ports = needed ? (PORT_INFO_2A *)GlobalAlloc(GPTR, needed) : 0;
    if (ports) {
        *error = 0;
        if (!g_setup.spooler.EnumPortsA(0, 2, (LPBYTE)ports, needed, &needed, count)) {
            *error = GetLastError();
            GlobalFree(ports);
            ports = 0;
        }
    }
    if (!ports)
        *count = 0;
    return ports;
}

DRIVER_INFO_3A *EnumLocalDrivers(DWORD *count, DWORD *error)
{
    DWORD needed = 0;
    DRIVER_INFO_3A *drivers = 0;
    *count = 0;
    *error = 0;
    if (g_setup.spooler.EnumPrinterDriversA(0, 0, 3, 0, 0, &needed, count))
        return 0;  // no driver at all
    *error = GetLastError();
    // A driver added between the two calls needs a larger block: asked again.
    for (int tries = 0; tries < 3 && *error == ERROR_INSUFFICIENT_BUFFER; tries++) {
        drivers = needed ? (DRIVER_INFO_3A *)GlobalAlloc(GPTR, needed) : 0;
        *error = drivers ? 0 : ERROR_NOT_ENOUGH_MEMORY;
        if (drivers && !g_setup.spooler.EnumPrinterDriversA(0, 0, 3, (LPBYTE)drivers, needed, &needed, count)) {
            *error = GetLastError();
            GlobalFree(drivers);
            drivers = 0;
        }
    }
    if (!drivers)
        *count = 0;
    return drivers;
}

const DRIVER_INFO_3A *FindModelDriver(const DRIVER_INFO_3A *drivers, DWORD count)
{
    for (DWORD i = 0; i < count; i++)
        if (drivers[i].pName && SameTextIgnoringAsciiCase(drivers[i].pName, MODEL_DRIVER_NAME))
            return &drivers[i];
    return 0;
}

int ModelDriverListed()
{
    DWORD count = 0, error = 0;
    DRIVER_INFO_3A *drivers = EnumLocalDrivers(&count, &error);
    int listed = error != 0 || FindModelDriver(drivers, count);
    if (drivers)
        GlobalFree(drivers);
    return listed;
}
