#!/usr/bin/env bash
# Fails when the build folder holds a file or folder named like a Windows path
# ("C:\windows\..."): a test or tool handed a Windows path to a Unix file
# operation, so what it meant to write or read in the Wine prefix was not
# there. Run after the tests; what it finds is listed, then removed, so that
# the next run starts clean.   tests/e2e/windows_paths.sh BUILD_DIR
set -euo pipefail
# The drive links of a prefix (dosdevices/c:) are Wine's own.
found=$(find "$1" -name '[A-Za-z]:*' -not -path '*/dosdevices/*')
[ -z "$found" ] && exit 0
echo "Windows paths used as Unix paths, in $1 (now removed):"
echo "$found"
while IFS= read -r path; do rm -rf -- "$path"; done <<<"$found"
exit 1
