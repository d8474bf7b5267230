// The copies of the model's INF in the system's INF folder, found by their
// content, never by their name: the setup library may have named a copy
// oemN.inf, and another vendor's oemN.inf must be left alone.
#ifndef TARV_MODEL_INF_H
#define TARV_MODEL_INF_H

#include <windows.h>

enum { INF_MAX_BYTES = 1024 * 1024 };

typedef void (*InfFound)(void *context, const char *folder, const char *name);

// The system's INF folder; 0 (the last error set) when it cannot be had.
int InfFolderPath(char *path, size_t size);

// Calls found for each INF of the INF folder whose bytes are content's.
// Returns how many there are, or -1 (logged) when content is empty or the
// INF folder cannot be read.
int FindInfsLike(const BYTE *content, DWORD size, InfFound found, void *context);

// The same for the bytes of the media's INF at mediaInf; -1 (logged) when
// it cannot be read.
int FindModelInfs(const char *mediaInf, InfFound found, void *context);

// Asks the setup library to let the INF of that name go: 1 when it did, 0
// (the last error says why) when it refused, -1 when it has no such function.
int UninstallOemInf(const char *name);

// In place: the path of the precompiled form the setup library keeps beside
// an INF (".pnf" for ".inf"); 0 when path ends otherwise.
int PrecompiledInfPath(char *path, size_t size);

#endif
