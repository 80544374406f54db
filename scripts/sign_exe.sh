#!/usr/bin/env bash
# Signs a Windows program in place with an Authenticode signature made by
# osslsigncode. The running program checks that an update carries a valid
# signature of the same signer as its own, so every release of one publisher
# must be signed with a certificate of the same subject.
#
#   FURLANE_SIGN_CERT=cert.pem FURLANE_SIGN_KEY=key.pem scripts/sign_exe.sh FILE...
#
# Environment:
#   FURLANE_SIGN_CERT       the signer's certificate, PEM (chain certificates may follow it)
#   FURLANE_SIGN_KEY        its private key, PEM, without a passphrase
#   FURLANE_SIGN_TIMESTAMP  optional RFC 3161 time-stamp address; with it the
#                           signature stays valid after the certificate expires
set -euo pipefail
die() { echo "sign_exe: error: $*" >&2; exit 1; }

(($#)) || die "no file given"
[[ -f "${FURLANE_SIGN_CERT:-}" ]] || die "FURLANE_SIGN_CERT must name the certificate file"
[[ -f "${FURLANE_SIGN_KEY:-}" ]] || die "FURLANE_SIGN_KEY must name the private key file"
command -v osslsigncode >/dev/null 2>&1 || die "osslsigncode is missing (Debian: apt-get install osslsigncode)"

args=(sign -certs "$FURLANE_SIGN_CERT" -key "$FURLANE_SIGN_KEY" -n Furlane -h sha256)
[[ -n "${FURLANE_SIGN_TIMESTAMP:-}" ]] && args+=(-ts "$FURLANE_SIGN_TIMESTAMP")
for file in "$@"; do
    [[ -f "$file" ]] || die "$file does not exist"
    # Signed into a new file first: a failed run leaves the program as it was.
    osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null || {
        rm -f "$file.signed"
        die "osslsigncode could not sign $file"
    }
    mv -f "$file.signed" "$file"
done
