#!/usr/bin/env bash
# A signed build with a throwaway certificate: both signatures of Setup.exe
# and of the package verify, the signed image passes the image checks, and
# under Wine the signed Setup.exe runs a quiet setup and the signed package
# installs and goes again:
#   tests/release/signed.sh SOURCE_DIR BUILD_DIR WORK_DIR ARCH EPOCH VERSION PORT
# BUILD_DIR is the host build (its image checks and test tools); ARCH is the
# architecture Wine runs here. The i686 image is built signed in any case,
# for the image checks.
set -euo pipefail
[ $# -eq 7 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR WORK_DIR ARCH EPOCH VERSION PORT" >&2; exit 2; }
source=$1 build=$2 work=$3 arch=$4 epoch=$5 version=$6 port=$7
fail() { echo "signed.sh: $*" >&2; exit 1; }
run() {  # runs a step, its output shown only when it fails
  local log=$work/step.log
  "$@" >"$log" 2>&1 || { cat "$log"; fail "failed: $*"; }
}

rm -rf "$work"
mkdir -p "$work"
export SOURCE_DATE_EPOCH=$epoch

# A self-signed code-signing certificate that lives as long as this test.
run openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tarv throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem"
head -c 24 /dev/urandom | base64 > "$work/password"
run openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
  -passout "file:$work/password"

arches=(i686)
[ "$arch" = i686 ] || arches+=("$arch")
for one in "${arches[@]}"; do
  run cmake -S "$source" -B "$work/$one" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw.cmake" -DMINGW_ARCH="$one" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DTARV_SOURCE_DATE_EPOCH="$epoch" \
    -DTARV_SIGN_PFX="$work/signer.pfx" -DTARV_SIGN_PASSWORD_FILE="$work/password"
  run cmake --build "$work/$one" --target Setup media TarvCA -j2
done
media=$work/$arch/bin
run "$source/package/build-msi.sh" "$version" "$port" "$media" "$work/$arch/package/TarvCA.dll" "$work/Tarv.msi"
run "$source/package/sign.sh" "$work/Tarv.msi" "$work/signer.pfx" "$work/password"

# Two signatures each, SHA-1 first and SHA-256 nested, both valid.
source "$source/tests/release/signatures.sh"
version_line=$(osslsigncode --version 2>&1 | head -1)
echo "verifying with ${version_line%%,*}"
for file in "$work/i686/bin/Setup.exe" "$media/Setup.exe" "$work/Tarv.msi"; do
  out=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1) || { echo "$out"; fail "does not verify: $file"; }
  sha1_then_sha256 "$out" || { echo "$out"; fail "not SHA-1 with a nested SHA-256 signature, both verified: $file ($(signature_digests <<<"$out"))"; }
  echo "verified $file: $(signature_digests <<<"$out")"
done

# The image checks read the signed i686 image.
TARV_CHECK_IMAGE=$work/i686/bin/Setup.exe run "$build/image_tests"
echo "image checks passed on the signed image ($(stat -c %s "$work/i686/bin/Setup.exe") bytes)"

# Under Wine, in a prefix of its own.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winedbg.exe=d
if [ "$arch" = i686 ]; then export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine; else export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64; fi
unset DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
run "$source/tools/wine-prefix.sh" "$WINEPREFIX" "$arch"
run "$WINELOADER" reg add 'HKCU\Software\Wine\AppDefaults\Setup.exe' /v Version /d winxp /f
probe=$build/$arch/test-tools/probe.exe
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
installed() { "$WINELOADER" "$probe" printers 2>/dev/null | grep -c 'name="Corvan Tessik"' || true; }

(cd "$media" && run "$WINELOADER" Setup.exe /QUIET /PORT=LPT1: "/LOG=$(winpath "$work/setup.log")")
[ "$(installed)" = 1 ] || { cat "$work/setup.log"; fail "the signed Setup.exe installed no printer"; }
(cd "$media" && run "$WINELOADER" Setup.exe /QUIET /UNINSTALL "/LOG=$(winpath "$work/setup.log")")
[ "$(installed)" = 0 ] || fail "the signed Setup.exe left the printer"
echo "the signed Setup.exe ran a quiet setup and deletion: $(tail -1 "$work/setup.log" | cut -d' ' -f4-)"

run "$WINELOADER" msiexec /i "$(winpath "$work/Tarv.msi")" /qn
[ "$(installed)" = 1 ] || fail "the signed package installed no printer"
run "$WINELOADER" msiexec /x "$(winpath "$work/Tarv.msi")" /qn
[ "$(installed)" = 0 ] || fail "the signed package's removal left the printer"
echo "the signed package installed and was removed"
