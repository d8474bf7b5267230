// Reading a small file whole (an INF, the undo journal).
#ifndef TARV_WHOLE_FILE_H
#define TARV_WHOLE_FILE_H

#include <windows.h>

// The file's bytes in a global block the caller frees, one zero byte after
// them; 0 with the last error set when it cannot be read or is larger than
// maxBytes.
BYTE *ReadWholeFile(const char *path, DWORD maxBytes, DWORD *size);

#endif
