#!/usr/bin/env bash
# Says in one line which Setup.exe image Wine runs for a configured build
# folder, and why:   tools/which-image.sh BUILD_DIR SUBJECT [TWIN_NOTE]
# e.g. "SUBJECT the shipped image build/i686/bin/Setup.exe (i686): this kernel
# runs 32-bit code"; TWIN_NOTE ends the line when the twin runs. The build's
# TARV_E2E_ARCH decides; the reason is the kernel's, tested as the build
# tests it, 32-bit Wine missing, or the option that forced the twin.
set -euo pipefail
build=$1 subject=$2 note=${3:-}
arch=$(sed -n 's/^TARV_E2E_ARCH:STRING=//p' "$build/CMakeCache.txt")
[ -n "$arch" ] || { echo "${0##*/}: $build is not a configured build folder" >&2; exit 1; }
if [ "$arch" = i686 ]; then
  echo "$subject the shipped image $build/i686/bin/Setup.exe (i686): this kernel runs 32-bit code"
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "$subject the $arch twin $build/$arch/bin/Setup.exe, not the shipped $build/i686/bin/Setup.exe:" \
       "the build was configured with -DTARV_E2E_ARCH=$arch, although this kernel runs 32-bit code$note"
elif [ ! -e /usr/lib/wine/wine ]; then
  echo "$subject the $arch twin $build/$arch/bin/Setup.exe, not the shipped $build/i686/bin/Setup.exe:" \
       "32-bit Wine (wine32:i386) is not installed$note"
else
  echo "$subject the $arch twin $build/$arch/bin/Setup.exe, not the shipped $build/i686/bin/Setup.exe:" \
       "this kernel cannot execute 32-bit code$note"
fi
