#!/usr/bin/env bash
# signing_test.sh PROGRAM RUN_TEST PREFIX: signs the built PROGRAM as the release does
# (scripts/sign.sh) with a throwaway code-signing certificate made here, once from a PKCS#12
# file and once from PEM files with an encrypted key; checks each signature with osslsigncode
# against that certificate, and not against another; checks that without its signature the
# program is the unsigned one byte for byte; and runs the signed program under Wine (RUN_TEST).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
program="$1"
run_test="$2"
prefix="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() { # check WHAT COMMAND...: one line per check
  if "${@:2}" >"$work/check.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
    cat "$work/check.log"
  fi
}
fails() { ! "$@"; }
is_unsigned_program_once_removed() {
  osslsigncode remove-signature -in "$1" -out "$1.removed" && cmp "$1.removed" "$program"
}

# Signs with only the variables given, whatever the caller's environment names.
sign() { # sign OUT VAR=VALUE...
  local out="$1"
  shift
  mkdir -p "$(dirname "$out")"
  env -u QM_SIGN_PKCS12 -u QM_SIGN_CERT -u QM_SIGN_KEY -u QM_SIGN_PASSWORD \
    -u QM_SIGN_TIMESTAMP "$@" "$root/scripts/sign.sh" "$program" "$out"
}

certificate() { # certificate NAME: a self-signed code-signing certificate for a day
  openssl req -x509 -newkey rsa:2048 -noenc -days 1 -subj "/CN=Quillmend test signer $1" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
certificate signer
certificate stranger
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" \
  -passout pass:p12-secret -out "$work/signer.p12"
openssl pkey -in "$work/signer.key" -aes256 -passout pass:key-secret \
  -out "$work/signer-encrypted.key"

status=0
sign "$work/none/Quillmend.exe" || status=$?
check "no certificate named: sign.sh says so (2) and writes nothing" \
  test "$status" -eq 2 -a ! -e "$work/none/Quillmend.exe"
sign "$work/p12/Quillmend.exe" QM_SIGN_PKCS12="$work/signer.p12" QM_SIGN_PASSWORD=p12-secret
sign "$work/pem/Quillmend.exe" QM_SIGN_CERT="$work/signer.pem" \
  QM_SIGN_KEY="$work/signer-encrypted.key" QM_SIGN_PASSWORD=key-secret

for form in p12 pem; do
  signed="$work/$form/Quillmend.exe"
  check "$form: verifies against the signer's certificate" \
    osslsigncode verify -in "$signed" -CAfile "$work/signer.pem"
  check "$form: does not verify against another certificate" \
    fails osslsigncode verify -in "$signed" -CAfile "$work/stranger.pem"
  check "$form: without its signature it is the unsigned program" \
    is_unsigned_program_once_removed "$signed"
done

# Wine sees the host's root folder as drive Z:.
signed="$work/p12/Quillmend.exe"
windows_path="Z:${signed//\//\\}"
check "the signed program under Wine" \
  env QM_SIGNED_PROGRAM="$windows_path" "$root/scripts/wine-run.sh" "$prefix" "$run_test"
tr -d '\r' <"$work/check.log" | grep -a '^\[doctest\] \(test cases\|assertions\)' || true

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
