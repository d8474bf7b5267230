#!/usr/bin/env bash
# Builds Setup.exe and runs a complete setup, then a complete deletion, on the
# sample media under Wine. The robot prints each dialog and message box as it
# answers it; the probe prints the spooler, service and device state, and the
# files a setup writes, after each step. Installs the Debian packages it
# needs first, when any is missing (tools/deps.sh). Its first line says which
# image runs; the build's output is shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
build=${BUILD_DIR:-build}
mkdir -p "$build"
log=$build/run-build.log
built() { "$@" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; echo "${0##*/}: build failed; full output in $log" >&2; exit 1; }; }
: >"$log"
built cmake -S . -B "$build"
tools/which-image.sh "$build" "tools/run.sh runs"
built cmake --build "$build" -j"$(nproc)"
arch=$(sed -n 's/^TARV_E2E_ARCH:STRING=//p' "$build/CMakeCache.txt")
bin=$build/$arch/bin
tools=$build/$arch/test-tools
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

# Windows folder of a probe "folders" line (SYSDIR, DRIVERDIR, WINDIR).
folder() { "$wine" "$tools/probe.exe" folders | tr -d '\r' | sed -n "s/^$1 //p"; }
sysdir=$(folder SYSDIR)
driverdir=$(folder DRIVERDIR)
windir=$(folder WINDIR)

# Prints one line per file a setup writes: its size, or that it is absent.
# Wine's C: drive is case-insensitive, so names are matched without case.
show_file() {
  local dir=$1 name=$2 rest unix found
  rest=${dir#?:}
  unix=$prefix/drive_c$(printf '%s' "$rest" | tr '\\' /)
  found=$(find "$unix" -maxdepth 1 -iname "$name" 2>/dev/null | sort)
  if [ -z "$found" ]; then
    printf 'FILE %s\\%s absent\n' "$dir" "$name"
    return
  fi
  while IFS= read -r file; do
    printf 'FILE %s\\%s %s bytes\n' "$dir" "$(basename "$file")" "$(stat -c %s "$file")"
  done <<< "$found"
}

show_files() {
  local name
  for name in TarvUI.dll TarvGI.dll Tarv.ini Tarv.drv Tarva.hlp Tarvf.hlp '*.bku'; do show_file "$driverdir" "$name"; done
  for name in hwport.dll tarvcomm.exe '*.bku'; do show_file "$sysdir" "$name"; done
  show_file "$windir\\system32\\drivers" hwbridge.sys
  show_file "$windir\\inf" tarv.inf
}

step() {
  local title=$1 tail=$2; shift 2
  printf '%s\n' "$@" > "$media/answers.txt"
  echo "=== $title: Setup.exe $tail (Windows version $version)"
  "$wine" "$tools/robot.exe" --cwd "$(winpath "$media")" --version "$version" --tail "$tail" \
    --answers "$(winpath "$media/answers.txt")" -- "$(winpath "$media/Setup.exe")" | tr -d '\r'
  echo "--- state after $title"
  "$wine" "$tools/probe.exe" printers drivers service hwbridge device hwbridge | tr -d '\r'
  show_files
}

step "complete setup" "" "click 6" "select LPT1:;click 1" "click 1"
step "complete deletion" "/UNINSTALL" "click 6"
