// The folder of the program's own files on the machine: "LogFiles\TarvSetup"
// below the system folder, which only administrators and the system account
// can write on the NT family. The undo journal of a quiet setup lives there.
#ifndef TARV_STATE_FOLDER_H
#define TARV_STATE_FOLDER_H

#include <stddef.h>

// Its path, created when missing and create is set; 0 with the last error set
// when it cannot be had (or the path does not fit).
int GetStateFolder(char *path, size_t size, int create);

#endif
