#!/usr/bin/env bash
# Makes the real journals the journal fuzzer starts from (tests/fuzz/journals):
# quiet setups of the x86_64 build under Wine, each held by the test injector
# at a point where its journal is open, and the journal copied there.
#   tests/fuzz/make-journals.sh BUILD_DIR
# BUILD_DIR is a host build configured with -DTARV_E2E_ARCH=x86_64 and built.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
bin=$build/x86_64/bin tools=$build/x86_64/test-tools
[ -f "$bin/Setup.exe" ] && [ -f "$tools/robot.exe" ] || { echo "no x86_64 build in $build" >&2; exit 1; }
export WINEPREFIX=$build/journals-prefix WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all
export WINEDLLOVERRIDES=winedbg.exe=d
unset DISPLAY
work=$build/journals-work
rm -rf "$work" && mkdir -p "$work/media"
cp -r "$bin/Setup.exe" "$bin/drivers" "$work/media/"
: > "$work/answers.txt"
[ -f "$WINEPREFIX/system.reg" ] || "$here/../../tools/wine-prefix.sh" "$WINEPREFIX" x86_64
wineserver -p 60
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
journal=$WINEPREFIX/drive_c/windows/system32/LogFiles/TarvSetup/TarvSetup.jnl

# A quiet setup held at pause (TARV_PAUSE_AT) with faults; its journal goes to out.
held() {
  local out=$1 pause=$2 faults=${3:-}
  rm -f "$work/ready" "$work/go-on"
  TARV_PAUSE_AT=$pause TARV_FAULTS=$faults TARV_PAUSE_READY=$(winpath "$work/ready") \
    TARV_PAUSE_UNTIL=$(winpath "$work/go-on") \
    "$WINELOADER" "$tools/robot.exe" --cwd "$(winpath "$work/media")" --answers "$(winpath "$work/answers.txt")" \
      --version winxp --inject-at-start --tail "/QUIET /PORT=LPT1: /LOG=$(winpath "$work/run.log")" \
      -- "$(winpath "$work/media/Setup.exe")" >/dev/null &
  local robot=$!
  for _ in $(seq 600); do [ -f "$work/ready" ] && break; sleep 0.1; done
  [ -f "$work/ready" ] || { kill $robot; echo "never held at $pause" >&2; cat "$work/run.log" >&2; exit 1; }
  cp "$journal" "$here/journals/$out"
  touch "$work/go-on"
  wait $robot || true
}

quiet() { (cd "$work/media" && "$WINELOADER" Setup.exe /QUIET "$@" "/LOG=$(winpath "$work/run.log")") || true; }

mkdir -p "$here/journals"
quiet /UNINSTALL /PURGE
held clean-setup.jnl StartServiceA
quiet /UNINSTALL /PURGE
quiet /PORT=LPT1:
quiet /PORT=LPT1:
held over-an-earlier-printer.jnl StartServiceA
# An undo half done, its marks in the journal: the setup fails at its end.
held undo-half-done.jnl AddPrinterDriverA@2 'CreateFileA=2:\\.\hwbridge'
quiet /COMMIT
wineserver -k || true
ls -l "$here/journals"
