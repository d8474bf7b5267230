// Names of our own beside someone's file.
#ifndef TARV_UNIQUE_NAME_H
#define TARV_UNIQUE_NAME_H

// A name in path's folder that no file has yet ("trvXXXX.tmp"), in name
// (PATH_CHARS); 0 when none is found.
int UniqueNameBeside(const char *path, char *name);

#endif
