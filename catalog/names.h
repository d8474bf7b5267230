// Text rules of the media and the deployment: the paths of media files,
// backup names, the source root and the file facts shown by the replace
// confirmation (no Windows dependency).
#ifndef TARV_DEPLOY_NAMES_H
#define TARV_DEPLOY_NAMES_H

#include <stddef.h>

enum { BACKUP_NAME_CHARS = 64, FACT_CHARS = 32 };

// In place: cuts name at its last "." (when it has one) and appends ".bku".
// Returns 0 and leaves name unchanged when the result does not fit in size bytes.
int MakeBackupName(char *name, size_t size);

// Appends the source root folder "drivers" to the folder path in place; a drive
// root such as "C:\" gets no second backslash. 0 (folder unchanged) when it does not fit.
int AppendSourceRoot(char *folder, size_t size);

// Low 32 bits of a file size as an unsigned decimal.
int FormatFileSize(char *out, size_t size, unsigned long long bytes);

// "dd/mm/yy hh:mm:ss", the year taken modulo 100.
int FormatFileTime(char *out, size_t size, unsigned day, unsigned month, unsigned year,
                   unsigned hour, unsigned minute, unsigned second);

// The path of a media file below the working folder at start
// ("drivers\<sourceFolder><name>"); 0 when it does not fit.
int MediaFilePath(char *path, size_t size, const char *sourceFolder, const char *name);

// The row's INF on the media: below the working folder at start
// ("drivers\<family>\tarv.inf"), or below the source root, the working
// folder once the files are deployed; 0 when the row has none or it does not fit.
int ModelInfMediaPath(int row, char *path, size_t size, int belowSourceRoot);

#endif
