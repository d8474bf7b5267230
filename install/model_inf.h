// The copies of the model's INF in the system's INF folder, found by their
// content, never by their name: the setup library may have named a copy
// oemN.inf, and another vendor's oemN.inf must be left alone.
#ifndef TARV_MODEL_INF_H
#define TARV_MODEL_INF_H

#include <windows.h>

typedef void (*InfFound)(void *context, const char *folder, const char *name);

// Calls found for each INF of the INF folder whose bytes are those of
// mediaInf. Returns how many there are, or -1 (logged) when the media's INF
// cannot be read or is empty, or the INF folder cannot be read.
int FindModelInfs(const char *mediaInf, InfFound found, void *context);

#endif
