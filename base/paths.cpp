#include "base/paths.h"

#include <string.h>

#include "base/text.h"

const char *PathFileName(const char *path, int (*isLeadByte)(unsigned char))
{
    const char *name = path;
    for (const char *at = path; *at; at++) {
        if (isLeadByte((unsigned char)*at) && at[1])
            at++;
        else if (*at == '\\')
            name = at + 1;
    }
    return name;
}

const char *PathSeparatorAfter(const char *folder, int (*isLeadByte)(unsigned char))
{
    return *folder && !*PathFileName(folder, isLeadByte) ? "" : "\\";
}

void PathFolder(char *out, size_t size, const char *path, int (*isLeadByte)(unsigned char))
{
    const char *name = PathFileName(path, isLeadByte);
    size_t length = name > path ? (size_t)(name - path) - 1 : 0;
    if (length >= size)
        length = size - 1;
    memcpy(out, path, length);
    out[length] = '\0';
}

int StartsWithFolder(const char *path, const char *folder)
{
    size_t length = strlen(folder);
    return length && StartsWithIgnoringAsciiCase(path, folder) && path[length] == '\\';
}

int InVersionFolder(const char *path, const char *driverFolder, int (*isLeadByte)(unsigned char))
{
    size_t length = strlen(driverFolder);
    if (!StartsWithFolder(path, driverFolder))
        return 0;
    // What follows is "<folder>\<name>": one backslash, neither part empty,
    // neither "." nor "..", and no '/', which Windows reads as a backslash.
    const char *rest = path + length + 1;
    const char *separator = 0;
    for (const char *at = rest; *at; at++) {
        if (isLeadByte((unsigned char)*at) && at[1]) {
            at++;
        } else if (*at == '/') {
            return 0;
        } else if (*at == '\\') {
            if (separator)
                return 0;
            separator = at;
        }
    }
    if (!separator || separator == rest || separator[1] == '\0')
        return 0;
    const char *name = separator + 1;
    size_t folderLength = (size_t)(separator - rest);
    return !((folderLength == 1 && rest[0] == '.') || (folderLength == 2 && rest[0] == '.' && rest[1] == '.')
             || strcmp(name, ".") == 0 || strcmp(name, "..") == 0);
}
