#!/usr/bin/env bash
# The same sources built twice, in two build folders of different names, give
# byte-identical images, media files and package:
#   tests/release/reproducible.sh SOURCE_DIR WORK_DIR EPOCH VERSION PORT
# Each build is a fresh cross build of Setup.exe and the media (i686, the
# product), packaged by package/build-msi.sh with SOURCE_DATE_EPOCH=EPOCH.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 SOURCE_DIR WORK_DIR EPOCH VERSION PORT" >&2; exit 2; }
source=$1 work=$2 epoch=$3 version=$4 port=$5

rm -rf "$work"
mkdir -p "$work"
for build in first second-build; do
  dir=$work/$build
  log=$dir.log
  { cmake -S "$source" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw.cmake" -DMINGW_ARCH=i686 \
          -DCMAKE_BUILD_TYPE=MinSizeRel -DTARV_SOURCE_DATE_EPOCH="$epoch" &&
    cmake --build "$dir" --target Setup media TarvCA -j2 &&
    SOURCE_DATE_EPOCH=$epoch "$source/package/build-msi.sh" "$version" "$port" "$dir/bin" "$dir/package/TarvCA.dll" "$dir/Tarv.msi"
  } >"$log" 2>&1 || { cat "$log"; echo "reproducible.sh: the $build build failed" >&2; exit 1; }
  # A second build differs in the moment too.
  sleep 1
done

status=0
cd "$work/first"
files=(Tarv.msi bin/Setup.exe $(cd bin && find drivers -type f | LC_ALL=C sort | sed 's|^|bin/|'))
for file in "${files[@]}"; do
  if cmp -s "$file" "../second-build/$file"; then
    echo "same   $(sha256sum "$file" | cut -c1-16)  $file"
  else
    echo "DIFFERS $file: $(cmp "$file" "../second-build/$file" 2>&1 | head -1)"
    status=1
  fi
done
# Not every file may pass for the same: the PE time stamp is the fixed time.
stamp=$(python3 -c 'import struct, sys
data = open(sys.argv[1], "rb").read(4096)
print(struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 8)[0])' bin/Setup.exe)
[ "$stamp" = "$epoch" ] || { echo "Setup.exe's PE time stamp is $stamp, not $epoch"; status=1; }
exit $status
