// The parsed command line, and what the running Windows says of itself.
#ifndef TARV_REQUEST_H
#define TARV_REQUEST_H

#include <stddef.h>

enum SetupAction {
    ACTION_USAGE = 0,
    ACTION_COMPLETE_SETUP = 1,
    ACTION_SIMPLE_DELETION = 2,
    ACTION_SIMPLE_SETUP = 3,
    ACTION_COMPLETE_DELETION = 4,
    ACTION_VERIFY = 5,          // "/VERIFY": compares the machine with what a complete setup would leave
    ACTION_ROLLBACK = 6,        // "/ROLLBACK": undoes the setup whose journal "/KEEPUNDO" kept
    ACTION_COMMIT = 7           // "/COMMIT": ends that journal, keeping the setup
};

enum { REQUEST_PORT_CHARS = 80, REQUEST_PATH_CHARS = 512 };

// "/LOG=": the path as written; the last one counts.
struct LogSwitch {
    int given;         // a non-empty path that fits
    int pathTooLong;   // the path did not fit, so no log file can be named by it
    char path[REQUEST_PATH_CHARS];
};

// What the running Windows says of itself, and the catalogue row it selects.
struct PlatformReading {
    int versionRead;  // 0: neither version record could be read
    unsigned long platformId, major, minor;
    int row;          // catalogue row, or PLATFORM_UNKNOWN
};

struct SetupRequest {
    int action;    // SetupAction
    int platform;  // catalogue row, or PLATFORM_UNKNOWN
    int purge;     // "/PURGE": a complete deletion that leaves nothing of the printer behind
    int keepUndo;  // "/KEEPUNDO": a quiet setup that succeeds keeps its undo journal for "/ROLLBACK"
    // Unattended use, beside the switches above: none of them changes what those
    // do. "/QUIET" is found by HasQuietSwitch, wherever it stands.
    int portGiven;                    // "/PORT=": port holds the name, empty when it did not fit
    char port[REQUEST_PORT_CHARS];
    LogSwitch log;
    const char *unknownToken;         // the token that selected the usage, as written
};

#endif
