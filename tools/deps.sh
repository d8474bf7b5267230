#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and tools/run.sh need,
# only those that are missing: one line says which, and root (sudo when this
# is not root) is asked for only then. .ci/run, tools/run.sh and tools/test.sh
# all start with it.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev python3
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 xvfb xauth msitools wixl faketime osslsigncode openssl locales
)

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

# The Japanese tests name files in code page 932: Wine maps such names
# between Unix and Windows only where the glibc locale exists.
locale_missing() { ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; }

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && ! locale_missing && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "${0##*/}: missing ${missing[*]:-the ja_JP.UTF-8 locale}, and no sudo to install them" >&2; exit 1; }
  as_root=(sudo)
fi
# apt's own output is shown only when it fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ ${#missing[@]} -ne 0 ]; then
  echo "${0##*/}: installing ${missing[*]}"
  # An index that fails to download (a mirror in sync) leaves apt those it
  # has; what can be installed from them decides.
  {
    # wine32 is an i386 package.
    { dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386; } &&
    { "${as_root[@]}" apt-get update -qq || echo "${0##*/}: apt-get update failed; installing from the indexes apt has"; }
  } >"$log" 2>&1 || { cat "$log" >&2; echo "${0##*/}: the installation failed" >&2; exit 1; }
  apt_install() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"; }
  rest=()
  for package in "${missing[@]}"; do [ "$package" = wine32:i386 ] || rest+=("$package"); done
  if [ ${#rest[@]} -ne 0 ]; then
    apt_install "${rest[@]}" >>"$log" 2>&1 || { cat "$log" >&2; echo "${0##*/}: the installation failed" >&2; exit 1; }
  fi
  # Without 32-bit Wine the end-to-end tests run the x86_64 twin, as on a
  # kernel that cannot run 32-bit code, and the build says so.
  if [ ${#rest[@]} -ne ${#missing[@]} ] && ! apt_install wine32:i386 >>"$log" 2>&1; then
    grep -E '^(E|W): ' "$log" | tail -3 >&2
    echo "${0##*/}: wine32:i386 could not be installed; the end-to-end tests run the x86_64 twin" >&2
  fi
fi
if locale_missing; then
  echo "${0##*/}: making the ja_JP.UTF-8 locale"
  "${as_root[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
fi
