// The ports of the local spooler, and the port a setup gives its queue.
#include <windows.h>
#include <winspool.h>

#include <string.h>

#include "base/paths.h"
#include "base/text.h"
#include "install/install.h"
#include "machine/spooler_lists.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "run/unattended.h"

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
        DWORD count = 0, error = 0;
        PORT_INFO_2A *ports = EnumLocalPorts(&count, &error);
        // A spooler that cannot list its ports is at fault, not the command line.
        int taken = error ? 0 : TakeRequestedPort(ports, count);
        if (error)
            LogLine("spooler: the ports cannot be listed, error %lu", (unsigned long)error);
        if (ports)
            GlobalFree(ports);
        if (taken)
            return 1;
        if (g_setup.quiet) {
            SetQuietExit(error ? QUIET_EXIT_FAILED : QUIET_EXIT_BAD_COMMAND_LINE);
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
