#!/usr/bin/env bash
# The signature check of signed.sh on what osslsigncode 2.5 (Debian 12) and
# 2.9 (its backports) print for a file signed with SHA-1 and a nested SHA-256:
# both pass, one signature or the wrong order does not.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/signatures.sh"
status=0
check() {  # check WANTED NAME OUTPUT
  local got=fails
  sha1_then_sha256 "$3" && got=passes
  [ "$got" = "$1" ] || { echo "FAILED: $2 $got the check (digests: $(signature_digests <<<"$3"))"; status=1; }
}
for version in 2.5 2.9; do
  out=$(<"$here/osslsigncode-$version-verify.txt")
  digests=$(signature_digests <<<"$out")
  [ "$digests" = "SHA1 SHA256" ] || { echo "FAILED: osslsigncode $version gives '$digests'"; status=1; }
  check passes "osslsigncode $version" "$out"
  check fails "osslsigncode $version, one signature" "$(sed '/^Signature Index: 1/,$d' <<<"$out")"
  check fails "osslsigncode $version, SHA-256 first" "$(sed 's/SHA1$/SHA0/; s/SHA256$/SHA1/; s/SHA0$/SHA256/' <<<"$out")"
done
[ $status = 0 ] && echo "the signature check reads osslsigncode 2.5 and 2.9 alike"
exit $status
