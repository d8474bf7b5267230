#include <windows.h>

#include "app/actions.h"

// Installation sequence: not built yet.
int InstallPrinter(HWND, int, int)
{
    return 1;
}
