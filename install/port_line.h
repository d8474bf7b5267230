// Lines of the port list and the port name read back from a chosen line.
#ifndef TARV_PORT_LINE_H
#define TARV_PORT_LINE_H

#include <stddef.h>

// Builds the list line "NAME  (DESCRIPTION)" in out (size bytes). A
// description that does not fit is cut and marked "...)"; when not even that
// fits, the line is the name alone. Returns 0 when the name itself does not
// fit: such a port cannot be chosen without naming another one. Bytes of a
// double-byte character are never split when isLeadByte is given.
int FormatPortLine(char *out, size_t size, const char *name, const char *description,
                   int (*isLeadByte)(unsigned char));

// Port name of a list line: the text before its first blank (a tab does not
// end it), or the whole line when it has no blank. 0 when it does not fit.
int PortNameFromLine(char *out, size_t size, const char *line);

#endif
