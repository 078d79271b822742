#!/usr/bin/env bash
# make.sh: how the certificates and keys beside it were made, once, with openssl (3.0). They
# exist for the tests alone: the keys are public here and guard nothing. Self-signed, with
# fixed dates far in the past and the future, so that the tests never age:
#   good.pem     2020-01-01 to 2099-12-31, key rsa.key (PKCS#8), rsa-pkcs1.key, encrypted.key
#   older.pem    2020-01-01 to 2080-01-01, the same key
#   expired.pem  2000-01-01 to 2001-01-01, the same key
#   future.pem   2090-01-01 to 2099-12-31, the same key
#   ec.pem       2020-01-01 to 2099-12-31, key ec.key (SEC1), ec-pkcs8.key
#   other.key    belongs to none of them
set -euo pipefail
out="$(cd "${1:-.}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > ca.cnf <<'CONF'
[ ca ]
default_ca = own
[ own ]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[ any ]
commonName = supplied
CONF
touch index.txt
echo 01 > serial
sign() { # name key csr start end
  openssl ca -batch -config ca.cnf -selfsign -keyfile "$2" -in "$3" -startdate "$4" \
    -enddate "$5" -out "$1.pem" -notext > /dev/null 2>&1
}
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.key 2> /dev/null
openssl req -new -key rsa.key -subj "/CN=Quillmend test server" -out rsa.csr
sign good rsa.key rsa.csr 20200101000000Z 20991231000000Z
sign older rsa.key rsa.csr 20200101000000Z 20800101000000Z
sign expired rsa.key rsa.csr 20000101000000Z 20010101000000Z
sign future rsa.key rsa.csr 20900101000000Z 20991231000000Z
openssl rsa -in rsa.key -traditional -out rsa-pkcs1.key 2> /dev/null
openssl pkcs8 -topk8 -in rsa.key -passout pass:secret -out encrypted.key 2> /dev/null
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other.key 2> /dev/null
openssl ecparam -name prime256v1 -genkey -noout -out ec.key
openssl req -new -key ec.key -subj "/CN=Quillmend test EC" -out ec.csr
sign ec ec.key ec.csr 20200101000000Z 20991231000000Z
openssl pkcs8 -topk8 -nocrypt -in ec.key -out ec-pkcs8.key
cp good.pem older.pem expired.pem future.pem ec.pem rsa.key rsa-pkcs1.key encrypted.key \
  other.key ec.key ec-pkcs8.key "$out"
