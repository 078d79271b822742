#!/usr/bin/env bash
# sign.sh IN OUT: writes OUT, the Windows program IN with an Authenticode signature (SHA-256,
# osslsigncode), made with the code-signing certificate that the environment names:
#   QM_SIGN_PKCS12=FILE                   a PKCS#12 file (.pfx, .p12) with the key and the chain,
#   or QM_SIGN_CERT=FILE QM_SIGN_KEY=FILE the certificate (chain) and its private key, PEM,
#   QM_SIGN_PASSWORD                      the password of either, when it has one,
#   QM_SIGN_TIMESTAMP=URL                 an RFC 3161 time-stamp server; none when unset, as
#                                         a release machine may be offline.
# Exits 2 when no certificate is named (release.sh then builds an unsigned release).
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: sign.sh IN OUT" >&2; exit 64; }
in="$1"
out="$2"

pkcs12="${QM_SIGN_PKCS12:-}"
cert="${QM_SIGN_CERT:-}"
key="${QM_SIGN_KEY:-}"
fail() { echo "sign: $*" >&2; exit 1; }

credentials=()
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || fail "name either QM_SIGN_PKCS12 or QM_SIGN_CERT and QM_SIGN_KEY, not both"
  [ -r "$pkcs12" ] || fail "cannot read QM_SIGN_PKCS12 ($pkcs12)"
  credentials=(-pkcs12 "$pkcs12")
elif [ -n "$cert$key" ]; then
  if [ -z "$cert" ] || [ -z "$key" ]; then fail "QM_SIGN_CERT and QM_SIGN_KEY go together"; fi
  [ -r "$cert" ] || fail "cannot read QM_SIGN_CERT ($cert)"
  [ -r "$key" ] || fail "cannot read QM_SIGN_KEY ($key)"
  credentials=(-certs "$cert" -key "$key")
else
  exit 2
fi

command -v osslsigncode >/dev/null || fail "osslsigncode is missing (scripts/setup.sh installs it)"
options=(-h sha256 -n Quillmend)
if [ -n "${QM_SIGN_TIMESTAMP:-}" ]; then
  options+=(-ts "$QM_SIGN_TIMESTAMP")
fi
rm -f "$out"
if [ -n "${QM_SIGN_PASSWORD:-}" ]; then
  # From a pipe, so the password never shows in a process list.
  osslsigncode sign "${credentials[@]}" -readpass <(printf '%s' "$QM_SIGN_PASSWORD") \
    "${options[@]}" -in "$in" -out "$out" >/dev/null
else
  osslsigncode sign "${credentials[@]}" "${options[@]}" -in "$in" -out "$out" >/dev/null
fi
