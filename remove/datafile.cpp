#include "remove/datafile.h"

#include "base/text.h"
#include "catalog/catalog.h"

int TakeDataFile(char *out, size_t size, const char *driverName, const char *dataFile)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    // The spooler treats driver names without regard to ASCII case.
    if (!driverName || !dataFile || !SameTextIgnoringAsciiCase(driverName, MODEL_DRIVER_NAME))
        return 0;
    if (!CopyText(out, size, dataFile)) {
        out[0] = '\0';
        return 0;
    }
    return out[0] != '\0';
}
