#!/usr/bin/env bash
# Creates a Wine prefix for the tests: tools/wine-prefix.sh DIR ARCH (i686 or x86_64).
# Windows run with the null graphics driver, so no display is needed. What
# Wine prints while it sets the prefix up (the folder it created, a 32-bit
# rundll32.exe it cannot start where the kernel runs only 64-bit code) is
# shown only when a step fails.
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
log=$(mktemp)
trap 'rm -f "$log"' EXIT
{
  "$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
  # No crash dialogs: a crashing program must end, not wait for a click.
  "$WINELOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
  wineserver -w
} >"$log" 2>&1 || { cat "$log" >&2; echo "${0##*/}: creating the Wine prefix $prefix failed" >&2; exit 1; }
