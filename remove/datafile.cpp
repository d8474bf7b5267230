#include "remove/datafile.h"

#include "app/text.h"
#include "catalog/catalog.h"

// The spooler treats driver names without regard to ASCII case.
static int SameName(const char *a, const char *b)
{
    for (;; a++, b++) {
        char x = (*a >= 'a' && *a <= 'z') ? (char)(*a - 'a' + 'A') : *a;
        char y = (*b >= 'a' && *b <= 'z') ? (char)(*b - 'a' + 'A') : *b;
        if (x != y)
            return 0;
        if (x == '\0')
            return 1;
    }
}

int TakeDataFile(char *out, size_t size, const char *driverName, const char *dataFile)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    if (!driverName || !dataFile || !SameName(driverName, MODEL_DRIVER_NAME))
        return 0;
    if (!CopyText(out, size, dataFile)) {
        out[0] = '\0';
        return 0;
    }
    return out[0] != '\0';
}
