// Whether others could have changed what a privileged run loads and installs.
#ifndef TARV_MEDIA_RIGHTS_H
#define TARV_MEDIA_RIGHTS_H

// Logs a warning for this program's own folder and for the media's source
// root below the working folder, each one that accounts other than the
// trusted ones (base/accounts.h) may write in (NT family).
void WarnOfWritableMedia();

#endif
