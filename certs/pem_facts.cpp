// Names of what a TLS file holds, for boxes and the log.
#include "certs/pem_facts.h"

#include "platform/codepage.h"

#include <cstdio>

namespace qm {

const wchar_t* PemKindName(PemKind kind) {
    switch (kind) {
    case PemKind::Certificate:
        return L"certificate";
    case PemKind::RsaKey:
        return L"RSA";
    case PemKind::EcKey:
        return L"EC";
    case PemKind::EncryptedKey:
        return L"encrypted";
    case PemKind::Opaque:
        break;
    }
    return L"";
}

const wchar_t* PemLabel(PemKind kind) {
    switch (kind) {
    case PemKind::Certificate:
        return L"certificate";
    case PemKind::Opaque:
        return L"";
    default:
        return L"private key";
    }
}

std::wstring PemDetails(const PemFacts& pem) {
    if (pem.kind != PemKind::Certificate) {
        return PemKindName(pem.kind);
    }
    return L"subject " + pem.subject + L", issuer " + pem.issuer + L", serial " +
           ToWide(pem.serial) + L", valid " + UtcDate(pem.notBefore) + L" to " +
           UtcDate(pem.notAfter) + L", sha256 fingerprint " + ToWide(pem.fingerprint);
}

std::wstring DescribePem(const PemFacts& pem) {
    return pem.kind == PemKind::Opaque ? std::wstring()
                                       : PemLabel(pem.kind) + std::wstring(L": ") + PemDetails(pem);
}

UtcTime UtcTimeOf(int64_t seconds) {
    // Days to a civil date (the proleptic Gregorian calendar), after Howard Hinnant's
    // days_from_civil inverse.
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t secondOfDay = seconds - days * 86400;
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    UtcTime time;
    time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
    time.hour = static_cast<int>(secondOfDay / 3600);
    time.minute = static_cast<int>(secondOfDay / 60 % 60);
    time.second = static_cast<int>(secondOfDay % 60);
    return time;
}

std::wstring UtcDate(int64_t seconds) {
    const UtcTime time = UtcTimeOf(seconds);
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d", time.year, time.month,
                  time.day);
    return text;
}

} // namespace qm
