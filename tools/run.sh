#!/usr/bin/env bash
# Builds Setup.exe and runs a complete setup, then a complete deletion, on the
# sample media under Wine. The robot prints each dialog and message box as it
# answers it; the probe prints the spooler, service and file state after each step.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
arch=$(sed -n 's/^TARV_E2E_ARCH:STRING=//p' "$build/CMakeCache.txt")
bin=$build/$arch/bin
prefix=$PWD/$build/wineprefix-$arch
[ -f "$prefix/system.reg" ] || tools/wine-prefix.sh "$prefix" "$arch"
export WINEPREFIX=$prefix WINEDEBUG=-all
if [ "$arch" = i686 ]; then wine=/usr/lib/wine/wine; export WINEARCH=win32; else wine=/usr/lib/wine/wine64; export WINEARCH=win64; fi
export WINELOADER=$wine
unset DISPLAY
media=$PWD/$build/run-media
rm -rf "$media" && mkdir -p "$media"
cp "$bin/Setup.exe" "$media/"
[ -d "$bin/drivers" ] && cp -r "$bin/drivers" "$media/"
winpath() { echo "Z:$1" | tr / '\\'; }
version=${VERSION:-winxp}

step() {
  local title=$1 tail=$2; shift 2
  printf '%s\n' "$@" > "$media/answers.txt"
  echo "=== $title: Setup.exe $tail (Windows version $version)"
  "$wine" "$bin/robot.exe" --cwd "$(winpath "$media")" --version "$version" --tail "$tail" \
    --answers "$(winpath "$media/answers.txt")" -- "$(winpath "$media/Setup.exe")" | tr -d '\r'
  echo "--- state after $title"
  "$wine" "$bin/probe.exe" printers drivers service hwbridge | tr -d '\r'
}

step "complete setup" "" "click 6" "select LPT1:;click 1" "click 1"
step "complete deletion" "/UNINSTALL" "click 6"
