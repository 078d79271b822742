#pragma once
// What a TLS file holds, as plain records: a certificate's names, serial, validity and
// fingerprint, or a private key's kind. A file that is not PEM is opaque: only its size and
// SHA-256 name it. No Windows API here.
#include "platform/utc_time.h"

#include <cstdint>
#include <string>

namespace qm {

enum class PemKind {
    Opaque,       // not PEM, or PEM the system could not decode
    Certificate,  // BEGIN CERTIFICATE
    RsaKey,       // PKCS#8 or PKCS#1
    EcKey,        // PKCS#8 or SEC1
    EncryptedKey, // BEGIN ENCRYPTED PRIVATE KEY: never opened, so never compared
};

struct PemFacts {
    PemKind kind = PemKind::Opaque;
    // A certificate's: its names as X.500 strings, its serial number in hex (most significant
    // byte first), its validity in seconds since 1970-01-01 UTC, and the SHA-256 of its DER.
    std::wstring subject;
    std::wstring issuer;
    std::string serial;
    int64_t notBefore = 0;
    int64_t notAfter = 0;
    std::string fingerprint;
};

// Whether LicenseFile's private key belongs to its certificate.
enum class KeyPairVerdict {
    NotChecked, // one of the two is missing, opaque or encrypted
    Matches,    // a signature by the key verifies with the certificate's public key
    Mismatch,   // it does not
};

// "RSA", "EC", "encrypted", "certificate", or "" for an opaque file: for the log.
const wchar_t* PemKindName(PemKind kind);

// What a file is, for the log and the backup set: "certificate" or "private key"; empty for an
// opaque file.
const wchar_t* PemLabel(PemKind kind);

// What it holds: "subject …, issuer …, serial …, valid <from> to <to>, sha256 fingerprint …",
// or a key's kind ("RSA").
std::wstring PemDetails(const PemFacts& pem);

// "<label>: <details>"; empty for an opaque file.
std::wstring DescribePem(const PemFacts& pem);

// A moment in seconds since 1970-01-01 UTC as a date and time, and as yyyy-mm-dd.
UtcTime UtcTimeOf(int64_t seconds);
std::wstring UtcDate(int64_t seconds);

} // namespace qm
