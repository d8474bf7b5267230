#!/usr/bin/env bash
# Signs a PE image or a Windows Installer package in place with osslsigncode:
#   package/sign.sh FILE PFX PASSWORD_FILE [TIMESTAMP_URL]
# Two signatures: SHA-1 first, which Windows 2000 and XP before SP3 read (they
# know no SHA-256 and check only the first), and a nested SHA-256 one for
# later Windows. Without a timestamp server the signing time is
# SOURCE_DATE_EPOCH (or now): the same file signed again is the same file.
set -euo pipefail
[ $# -eq 3 ] || [ $# -eq 4 ] || { echo "usage: $0 FILE PFX PASSWORD_FILE [TIMESTAMP_URL]" >&2; exit 2; }
file=$1 pfx=$2 passfile=$3 url=${4:-}
die() { echo "sign.sh: $*" >&2; exit 1; }
command -v osslsigncode >/dev/null || die "osslsigncode not found (Debian package osslsigncode)"
[ -f "$file" ] || die "no file $file"
[ -r "$pfx" ] || die "cannot read the certificate $pfx"
[ -r "$passfile" ] || die "cannot read the password file $passfile"

if [ -n "$url" ]; then
  first=(-t "$url") nested=(-ts "$url")
else
  when=${SOURCE_DATE_EPOCH:-$(date +%s)}
  first=(-time "$when") nested=(-time "$when")
fi
work=$(mktemp -d "$file.sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/log
ext=${file##*.}
osslsigncode sign -pkcs12 "$pfx" -readpass "$passfile" -h sha1 "${first[@]}" \
  -in "$file" -out "$work/sha1.$ext" >"$log" 2>&1 || { cat "$log" >&2; die "the SHA-1 signature failed: $file"; }
osslsigncode sign -pkcs12 "$pfx" -readpass "$passfile" -nest -h sha256 "${nested[@]}" \
  -in "$work/sha1.$ext" -out "$work/signed.$ext" >"$log" 2>&1 || { cat "$log" >&2; die "the SHA-256 signature failed: $file"; }
mv "$work/signed.$ext" "$file"
echo "signed $file (SHA-1, nested SHA-256${url:+, timestamped by $url})"
