// The ports of the local spooler, and the port a setup gives its queue.
#include <windows.h>
#include <winspool.h>

#include <string.h>

#include "app/log.h"
#include "app/state.h"
#include "app/text.h"
#include "app/unattended.h"
#include "install/install.h"

PORT_INFO_2A *EnumLocalPorts(DWORD *count)
{
    DWORD needed = 0;
    *count = 0;
    if (g_setup.spooler.EnumPortsA(0, 2, 0, 0, &needed, count) || GetLastError() != ERROR_INSUFFICIENT_BUFFER
        || needed == 0)
        return 0;
    PORT_INFO_2A *ports = (PORT_INFO_2A *)GlobalAlloc(GPTR, needed);
    if (ports && !g_setup.spooler.EnumPortsA(0, 2, (LPBYTE)ports, needed, &needed, count)) {
        GlobalFree(ports);
        ports = 0;
    }
    if (!ports)
        *count = 0;
    return ports;
}

// Takes the listed port that the request names, in the spooler's spelling;
// otherwise logs the ports there are.
static int TakeRequestedPort(const PORT_INFO_2A *ports, DWORD count)
{
    const SetupRequest *request = &g_setup.request;
    for (DWORD i = 0; request->portGiven && request->port[0] && i < count; i++) {
        if (ports[i].pPortName && SameTextIgnoringAsciiCase(ports[i].pPortName, request->port)
            && CopyText(g_setup.portName, sizeof g_setup.portName, ports[i].pPortName)) {
            LogLine("port %s, named by /PORT=", g_setup.portName);
            return 1;
        }
    }
    char listed[PATH_CHARS];
    listed[0] = '\0';
    for (DWORD i = 0; i < count; i++) {
        size_t used = strlen(listed);
        if (ports[i].pPortName && !FormatText(listed + used, sizeof listed - used, "%s%s", used ? ", " : "",
                                              ports[i].pPortName))
            break;
    }
    if (request->portGiven)
        LogLine("port \"%s\" of /PORT= is not listed by the spooler; its ports: %s", request->port, listed);
    else
        LogLine("no port named by /PORT=; the spooler's ports: %s", listed);
    return 0;
}

int ChoosePort(HWND owner)
{
    g_setup.portName[0] = '\0';
    if (g_setup.request.portGiven || g_setup.quiet) {
        DWORD count = 0;
        PORT_INFO_2A *ports = EnumLocalPorts(&count);
        int taken = TakeRequestedPort(ports, count);
        if (ports)
            GlobalFree(ports);
        if (taken)
            return 1;
        if (g_setup.quiet) {
            g_setup.exitCode = MergeQuietExit(g_setup.exitCode, QUIET_EXIT_BAD_COMMAND_LINE);
            return 0;
        }
    }
    int result = RunPortDialog(owner);
    if (result == 1)
        LogLine("port %s, chosen in the port dialog", g_setup.portName);
    else
        LogLine(result == 0 ? "port dialog cancelled" : "port dialog could not be shown; no port");
    return result;
}
