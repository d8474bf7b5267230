// Entry point without a C runtime: the runtime DLL is missing on the oldest
// systems the program must start on, so nothing here may import it. The
// linker takes this name as the entry point of a Windows program by default.
#include <windows.h>

#include <string.h>

#include "app/switches.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

// Visible although Setup.exe is compiled as the whole program: the linker
// takes it for the entry point.
extern "C" __attribute__((used, externally_visible)) void WinMainCRTStartup()
{
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    // WinMain splits its text in place; the system's command line is left as
    // it is for anyone who reads it later, unless there is no room for a copy.
    char *line = GetCommandLineA();
    SIZE_T size = strlen(line) + 1;
    char *copy = (char *)GlobalAlloc(GMEM_FIXED, size);
    if (copy)
        line = (char *)memcpy(copy, line, size);
    int result = WinMain(GetModuleHandleA(0), 0, CommandLineTail(line), show);
    if (copy)
        GlobalFree(copy);
    ExitProcess((UINT)result);
}
