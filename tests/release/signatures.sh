# Reads what `osslsigncode verify` prints; sourced by signed.sh and its test.
# Only the stable part counts: each signature's block starts with a
# "Signature Index" line, and its first "Message digest algorithm" line names
# its digest (2.9 names it once more among the signer's attributes, 2.5 not).

# The digest algorithm of each signature, in order, on one line: "SHA1 SHA256".
signature_digests() {
  awk '/^Signature Index:/ { block = 1; next }
       block && /^Message digest algorithm *:/ {
         sub(/^[^:]*: */, ""); sub(/[ \t\r]+$/, ""); digests = digests sep $0; sep = " "; block = 0 }
       END { print digests }'
}

# Succeeds when the output (the argument) lists two signatures, SHA-1 first
# and a nested SHA-256, each of them verified.
sha1_then_sha256() {
  [ "$(signature_digests <<<"$1")" = "SHA1 SHA256" ] && [ "$(grep -c '^Signature verification: ok' <<<"$1")" = 2 ]
}
