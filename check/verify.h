// "/VERIFY": the machine compared with what a complete setup from these
// media leaves on the platform, changing nothing.
#ifndef TARV_VERIFY_H
#define TARV_VERIFY_H

#include <windows.h>

// Logs each difference on a line of its own, then shows the result (a quiet
// run answers it, and takes its exit code from it: 0 the same, 1 not
// installed, 2 different, 1603 when the check itself cannot be made).
void VerifyInstallation(HWND owner, int row);

#endif
