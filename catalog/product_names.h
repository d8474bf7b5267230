// The names of the product's files (no Windows dependency): which ones a
// purge or an undo may touch.
#ifndef TARV_PRODUCT_NAMES_H
#define TARV_PRODUCT_NAMES_H

#include <stddef.h>

// 1 when name (without a folder) is one of the row's driver files: a file of
// its driver record (driver, data, configuration, help and dependent files) or
// an entry of its driver-file list. Case does not count, as on the file system.
int IsModelDriverFile(int row, const char *name);

// 1 when name (without a folder) is a file the product writes on any
// platform: a driver or common file of the catalogue, a file of a driver
// record, the kernel driver "hwbridge.sys", or the backup of one of them.
int IsProductFileName(const char *name);

// 1 when name (without a folder) is a name the setup library gives a copy
// of the model's INF, "oem" and digits or the INF's own, with extension
// (".inf", or ".pnf" for the precompiled form it keeps beside it).
int IsModelInfCopyName(const char *name, const char *extension);

#endif
