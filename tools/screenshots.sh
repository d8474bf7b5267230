#!/usr/bin/env bash
# Screenshots of every dialog and of the main message boxes in English, French
# and Japanese, saved as docs/screenshots/NAME-LANG.png.
#
#   tools/screenshots.sh [BUILD_DIR]     (default: build; it must be built)
#
# Runs the programs of BUILD_DIR under Xvfb in Wine prefixes of their own
# (BUILD_DIR/wineprefix-shots-ARCH-LANG) with the X11 driver and Wine drawing
# the window frames itself (no window manager), and with font replacements for
# the two dialog fonts: "Microsoft Sans Serif" -> Liberation Sans (the metrics
# of Arial), "MS UI Gothic" -> IPAPGothic (proportional, like it). The test robot answers each window after a pause; the script
# reads each window's rectangle from the robot's transcript and cuts it out of
# the screen. Needs the Debian packages xvfb, imagemagick, fonts-liberation,
# fonts-ipafont-gothic and fonts-wine (Marlett, the glyphs of the caption buttons).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$root/docs/screenshots

for tool in Xvfb import; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (apt-get install xvfb imagemagick)" >&2; exit 2; }
done
fonts=$(fc-list : family)
for font in "Liberation Sans" IPAPGothic; do
  grep -qF "$font" <<<"$fonts" || { echo "screenshots: font $font is missing (apt-get install fonts-liberation fonts-ipafont-gothic)" >&2; exit 2; }
done

# The architecture that Wine runs here, as the end-to-end tests choose it.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  arch=i686; export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
  arch=x86_64; export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
bin=$build/$arch/bin
tools=$build/$arch/test-tools
[ -x "$tools/robot.exe" ] || [ -f "$tools/robot.exe" ] || { echo "screenshots: $tools/robot.exe not built" >&2; exit 2; }
export WINEDEBUG=-all
work=$build/shots-work
rm -rf "$work"
mkdir -p "$work" "$out"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1

# One prefix per language: Wine rewrites its font settings whenever the ANSI
# code page changes, so a shared prefix would draw one language with another's.
use_prefix() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  export WINEPREFIX=$build/wineprefix-shots-$arch-$1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINELOADER" wineboot -i >/dev/null 2>&1
  fi
  reg() { "$WINELOADER" reg add "$@" /f >/dev/null; }
  reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
  reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft Sans Serif' /d 'Liberation Sans'
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic'
  # Wine's caption buttons are glyphs of its Marlett font, which the 64-bit
  # loader does not find in Wine's own font folder: the prefix gets copies.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  wineserver -w
}

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Media: Setup.exe with the sample drivers, plus a deployment bench whose
# source file is large enough for the copy dialog to stay up for a while.
media=$work/media
mkdir -p "$media"
cp "$bin/Setup.exe" "$media/"
[ -d "$bin/drivers" ] && cp -r "$bin/drivers" "$media/"

# shoot LOCALE PROGRAM TAIL VERSION ANSWERS SHOTS...
#   ANSWERS: answer lines separated by '|'; SHOTS: INDEX:NAME for the windows to keep.
shoot() {
  local locale=$1 program=$2 tail=$3 version=$4 answers=$5
  shift 5
  local transcript=$work/transcript.txt
  printf '%s\n' "$answers" | tr '|' '\n' >"$work/answers.txt"
  : >"$transcript"
  LC_ALL=$locale "$WINELOADER" "$tools/robot.exe" ${robot_options:-} --cwd "$cwd" --answers "$(winpath "$work/answers.txt")" \
    --timeout 30000 --version "$version" --tail "$tail" --out "$(winpath "$transcript")" \
    -- "$(winpath "$program")" >/dev/null 2>&1 &
  local robot=$! done_shots=" "
  while kill -0 "$robot" 2>/dev/null; do
    for shot in "$@"; do
      local index=${shot%%:*} name=${shot#*:}
      case "$done_shots" in *" $index "*) continue ;; esac
      local line
      line=$(grep -m1 "^@[0-9]* WINDOW $index " "$transcript" || true)
      [ -n "$line" ] || continue
      local rect=${line##*rect=}
      rect=${rect%% *}
      IFS=, read -r x y w h <<<"$rect"
      sleep 0.3
      import -display "$display" -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
      done_shots="$done_shots$index "
      echo "  $name.png (${w}x${h})"
    done
    sleep 0.05
  done
  wait "$robot" || true
}

probe() { "$WINELOADER" "$tools/probe.exe" "$@" >/dev/null 2>&1 || true; }

for lang in en fr ja; do
  case $lang in
    en) locale=en_US.UTF-8 ;;
    fr) locale=fr_FR.UTF-8 ;;
    ja) locale=ja_JP.UTF-8 ;;
  esac
  echo "$lang:"
  use_prefix "$lang"
  # The deployment bench lives on the prefix's C: drive, so that the dialogs
  # show the kind of paths a user sees.
  bench=$WINEPREFIX/drive_c/Media
  # The spooler's folder of this prefix's architecture (w32x86, x64).
  driverdir=$("$WINELOADER" "$tools/probe.exe" folders | tr -d '\r' | sed -n 's/^DRIVERDIR //p')
  target=$WINEPREFIX/drive_c$(printf '%s' "${driverdir#?:}" | tr '\\' /)
  cwd=$(winpath "$media")
  setup=$media/Setup.exe
  hold='wait 1500;click'
  shoot "$locale" "$setup" "foo" win2k "$hold 1" "1:usage-$lang"
  shoot "$locale" "$setup" "" win2k "$hold 7" "1:confirm-$lang"
  shoot "$locale" "$setup" "" win7 "$hold 1" "1:unknown-version-$lang"

  probe delete-printer "Corvan Tessik" delete-driver "Corvan Tessik"
  shoot "$locale" "$setup" "/OS=WINNT50 /ONLYADDPRINTDEVICE" win2k \
    "click 6|select-index 0;$hold 1|$hold 1" "2:port-$lang" "3:complete-$lang"
  probe delete-printer "Corvan Tessik" delete-driver "Corvan Tessik"
  shoot "$locale" "$setup" "/OS=WINNT50 /ONLYDELETEPRINTDEVICE" win2k "click 6|$hold 1" "2:deletion-failure-$lang"

  # Another run holds the run's lock file (taken after the confirmation).
  rm -f "$work/held.ready" "$work/held.release"
  "$WINELOADER" "$tools/probe.exe" hold-file 'C:\windows\system32\LogFiles\TarvSetup\TarvSetup.lck' \
    "$(winpath "$work/held.ready")" "$(winpath "$work/held.release")" >/dev/null 2>&1 &
  holder=$!
  while [ ! -f "$work/held.ready" ] && kill -0 "$holder" 2>/dev/null; do sleep 0.1; done
  shoot "$locale" "$setup" "/OS=WINNT50" win2k "click 6|$hold 1" "2:busy-$lang"
  touch "$work/held.release"
  wait "$holder"
  # A purge that meets a file in use, and one whose service manager refuses it.
  quiet_setup() { (cd "$media" && "$WINELOADER" Setup.exe /QUIET /OS=WINNT50 /PORT=LPT1: >/dev/null 2>&1) || true; }
  quiet_setup
  rm -f "$work/release"
  "$WINELOADER" "$tools/probe.exe" hold-file "$driverdir\\3\\TarvUI.dll" \
    "$(winpath "$work/ready")" "$(winpath "$work/release")" >/dev/null 2>&1 &
  holder=$!
  sleep 1
  shoot "$locale" "$setup" "/OS=WINNT50 /UNINSTALL /PURGE" win2k "click 6|$hold 1" "2:restart-$lang"
  touch "$work/release"
  wait "$holder"
  probe clear-pending-renames
  quiet_setup
  # /VERIFY over a changed driver file (in both of its folders), a common tool
  # gone and the kernel service gone with its device: each named once.
  probe delete-service hwbridge
  printf 'changed' >"$target/TarvUI.dll"
  printf 'changed' >"$target/3/TarvUI.dll"
  sysdir=$("$WINELOADER" "$tools/probe.exe" folders | tr -d '\r' | sed -n 's/^SYSDIR //p')
  rm -f "$WINEPREFIX/drive_c$(printf '%s' "${sysdir#?:}" | tr '\\' /)/hwport.dll"
  shoot "$locale" "$setup" "/OS=WINNT50 /VERIFY" win2k "$hold 1" "1:verify-$lang"
  quiet_setup
  TARV_FAULTS=OpenSCManagerA=5 robot_options=--inject-at-start \
    shoot "$locale" "$setup" "/OS=WINNT50 /UNINSTALL /PURGE" win2k "click 6|$hold 1" "2:service-not-removed-$lang"
  probe delete-service hwbridge

  rm -rf "$bench"
  rm -f "$target/Tarv.drv" "$target/Tarv.bku"
  mkdir -p "$bench/drivers/Test" "$target"
  head -c 3000000 /dev/zero >"$bench/drivers/Test/Tarv.drv"
  head -c 3000000 /dev/zero >"$target/Tarv.drv"
  cwd='C:\Media'
  shoot "$locale" "$tools/deploytest.exe" \
    "$driverdir \"$(winpath "$work/log.txt")\" \"ask1,Test\\,Tarv.drv\" \"always,Test\\,missing.dll\"" \
    win2k "$hold 1013|$hold 1|$hold 7" \
    "1:replace-$lang" "2:copy-$lang" "5:copy-error-$lang" "6:copy-failed-$lang"
done
