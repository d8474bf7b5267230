#!/usr/bin/env bash
# Creates a Wine prefix for the tests: tools/wine-prefix.sh DIR ARCH (i686 or x86_64).
# Windows run with the null graphics driver, so no display is needed.
set -euo pipefail
prefix=$1
arch=${2:-i686}
export WINEPREFIX=$prefix WINEDEBUG=-all
if [ "$arch" = i686 ]; then
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
unset DISPLAY
"$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
# No crash dialogs: a crashing program must end, not wait for a click.
"$WINELOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
wineserver -w
