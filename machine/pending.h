// Renames and deletions the system makes at the next restart.
#ifndef TARV_PENDING_H
#define TARV_PENDING_H

#include <stddef.h>

// The first file of the product that a rename or deletion due at the next
// restart names (source or destination), in found: 1; 0 when there is none;
// -1 when the list cannot be read (the last error says why).
int PendingProductFile(char *found, size_t size);

#endif
