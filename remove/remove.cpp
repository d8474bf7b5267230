#include <windows.h>

#include "app/actions.h"

// Removal sequence: not built yet.
int RemovePrinter(HWND, int, int)
{
    return 1;
}
