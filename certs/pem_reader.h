#pragma once
// Reading TLS files with the system's own crypto (crypt32 and bcrypt, loaded from the system
// folder): what a PEM file holds, and whether a private key belongs to a certificate.
#include "certs/pem_facts.h"

#include <windows.h>

#include <cstdint>

#include <string>

namespace qm {

// A moment as the system gives it, in seconds since 1970-01-01 UTC, as validity is compared.
int64_t UnixSeconds(const FILETIME& time);

// The facts of the first PEM block in bytes; Opaque for anything the system cannot decode.
PemFacts ReadPemFacts(const std::string& bytes);

// Proves by a signature, never by comparing public halves: a random digest made for this
// check alone is signed with the key and verified with the certificate's public key. Neither
// is kept, and the key material is zeroed after use. NotChecked when either file is not what
// it should be, the key is encrypted, or the system lacks what the check needs.
KeyPairVerdict CheckKeyPair(const std::string& keyPem, const std::string& certificatePem);

} // namespace qm
