// PEM certificates and private keys through crypt32 and bcrypt. Where the system decodes a
// structure itself (PKCS#8, SEC1 on Windows) its decoder is used; where it does not (Wine 8),
// the key is unwrapped with the system's generic decoders (a sequence, an octet string, a bit
// string) and decoded as PKCS#1 or SEC1. Nothing here parses ASN.1 itself.
#include "certs/pem_reader.h"

#include "platform/sha256.h"
#include "platform/win_handles.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace qm {

namespace {

using CryptStringToBinaryAFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, BYTE*, DWORD*, DWORD*, DWORD*);
using CertCreateCertificateContextFn = PCCERT_CONTEXT(WINAPI*)(DWORD, const BYTE*, DWORD);
using CertFreeCertificateContextFn = BOOL(WINAPI*)(PCCERT_CONTEXT);
using CertNameToStrWFn = DWORD(WINAPI*)(DWORD, PCERT_NAME_BLOB, DWORD, LPWSTR, DWORD);
using CryptDecodeObjectExFn = BOOL(WINAPI*)(DWORD, LPCSTR, const BYTE*, DWORD, DWORD,
                                            PCRYPT_DECODE_PARA, void*, DWORD*);
using CryptImportPublicKeyInfoEx2Fn = BOOL(WINAPI*)(DWORD, PCERT_PUBLIC_KEY_INFO, DWORD, void*,
                                                    BCRYPT_KEY_HANDLE*);
using OpenAlgorithmFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseAlgorithmFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using ImportKeyPairFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR,
                                          BCRYPT_KEY_HANDLE*, PUCHAR, ULONG, ULONG);
using DestroyKeyFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);
using SignHashFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, void*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG*,
                                     ULONG);
using VerifySignatureFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, void*, PUCHAR, ULONG, PUCHAR, ULONG,
                                            ULONG);
using GenRandomFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr ULONG kDigestSize = 32;
constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;
// The algorithm identifiers' object identifiers as DER: rsaEncryption, id-ecPublicKey.
constexpr BYTE kRsaOid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
constexpr BYTE kEcOid[] = {0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};

template <typename Fn> Fn LookUp(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

// crypt32 and bcrypt are no KnownDLLs: only the system folder's copies, by full path, so that
// none planted beside this elevated program is ever loaded.
UniqueModule LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return UniqueModule();
    }
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

struct Crypto {
    UniqueModule crypt32 = LoadSystemLibrary(L"crypt32.dll");
    UniqueModule bcrypt = LoadSystemLibrary(L"bcrypt.dll");
    CryptStringToBinaryAFn toBinary =
        LookUp<CryptStringToBinaryAFn>(crypt32.get(), "CryptStringToBinaryA");
    CertCreateCertificateContextFn createCertificate =
        LookUp<CertCreateCertificateContextFn>(crypt32.get(), "CertCreateCertificateContext");
    CertFreeCertificateContextFn freeCertificate =
        LookUp<CertFreeCertificateContextFn>(crypt32.get(), "CertFreeCertificateContext");
    CertNameToStrWFn nameToString = LookUp<CertNameToStrWFn>(crypt32.get(), "CertNameToStrW");
    CryptDecodeObjectExFn decode =
        LookUp<CryptDecodeObjectExFn>(crypt32.get(), "CryptDecodeObjectEx");
    CryptImportPublicKeyInfoEx2Fn importPublicKey =
        LookUp<CryptImportPublicKeyInfoEx2Fn>(crypt32.get(), "CryptImportPublicKeyInfoEx2");
    OpenAlgorithmFn openAlgorithm =
        LookUp<OpenAlgorithmFn>(bcrypt.get(), "BCryptOpenAlgorithmProvider");
    CloseAlgorithmFn closeAlgorithm =
        LookUp<CloseAlgorithmFn>(bcrypt.get(), "BCryptCloseAlgorithmProvider");
    ImportKeyPairFn importKeyPair = LookUp<ImportKeyPairFn>(bcrypt.get(), "BCryptImportKeyPair");
    DestroyKeyFn destroyKey = LookUp<DestroyKeyFn>(bcrypt.get(), "BCryptDestroyKey");
    SignHashFn signHash = LookUp<SignHashFn>(bcrypt.get(), "BCryptSignHash");
    VerifySignatureFn verifySignature =
        LookUp<VerifySignatureFn>(bcrypt.get(), "BCryptVerifySignature");
    GenRandomFn genRandom = LookUp<GenRandomFn>(bcrypt.get(), "BCryptGenRandom");

    bool readsCertificates() const {
        return toBinary && createCertificate && freeCertificate && nameToString;
    }
    bool checksKeys() const {
        return readsCertificates() && decode && importPublicKey && openAlgorithm &&
               closeAlgorithm && importKeyPair && destroyKey && signHash && verifySignature &&
               genRandom;
    }
};

const Crypto& System() {
    static const Crypto crypto;
    return crypto;
}

// Bytes that held key material: zeroed before they go.
struct Secret {
    std::vector<BYTE> bytes;
    Secret() = default;
    explicit Secret(std::vector<BYTE> from) : bytes(std::move(from)) {}
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret(Secret&&) = default;
    Secret& operator=(Secret&&) = default;
    ~Secret() {
        if (!bytes.empty()) {
            SecureZeroMemory(bytes.data(), bytes.size());
        }
    }
};

// What CryptDecodeObjectEx allocated: zeroed and freed on every path.
class Decoded {
public:
    Decoded(LPCSTR type, const BYTE* data, size_t size) {
        const Crypto& crypto = System();
        if (crypto.decode && size > 0 &&
            !crypto.decode(kEncoding, type, data, static_cast<DWORD>(size),
                           CRYPT_DECODE_ALLOC_FLAG | CRYPT_DECODE_NOCOPY_FLAG, nullptr, &value_,
                           &size_)) {
            value_ = nullptr;
        }
    }
    ~Decoded() {
        if (value_) {
            SecureZeroMemory(value_, size_);
            LocalFree(value_);
        }
    }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
    template <typename T> const T* as() const { return static_cast<const T*>(value_); }
    DWORD size() const { return size_; }

private:
    void* value_ = nullptr;
    DWORD size_ = 0;
};

struct CertificateTraits {
    using Handle = PCCERT_CONTEXT;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { System().freeCertificate(handle); }
};
using UniqueCertificate = UniqueHandle<CertificateTraits>;

struct AlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { System().closeAlgorithm(handle, 0); }
};
using UniqueAlgorithm = UniqueHandle<AlgorithmTraits>;

struct KeyTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { System().destroyKey(handle); }
};
using UniqueKey = UniqueHandle<KeyTraits>;

// The label of the first PEM block ("CERTIFICATE", "PRIVATE KEY", ...); empty when none.
std::string PemLabel(const std::string& bytes) {
    static const std::string begin = "-----BEGIN ";
    const size_t at = bytes.find(begin);
    if (at == std::string::npos) {
        return std::string();
    }
    const size_t end = bytes.find("-----", at + begin.size());
    return end == std::string::npos ? std::string()
                                    : bytes.substr(at + begin.size(), end - at - begin.size());
}

// The first PEM block's bytes; empty when it does not decode.
std::vector<BYTE> PemToDer(const std::string& bytes) {
    const Crypto& crypto = System();
    DWORD size = 0;
    if (!crypto.toBinary ||
        !crypto.toBinary(bytes.data(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64HEADER,
                         nullptr, &size, nullptr, nullptr) ||
        size == 0) {
        return {};
    }
    std::vector<BYTE> der(size);
    if (!crypto.toBinary(bytes.data(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64HEADER,
                         der.data(), &size, nullptr, nullptr)) {
        return {};
    }
    der.resize(size);
    return der;
}

UniqueCertificate OpenCertificate(const std::vector<BYTE>& der) {
    if (der.empty()) {
        return UniqueCertificate();
    }
    return UniqueCertificate(
        System().createCertificate(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
}

std::wstring NameText(PCERT_NAME_BLOB name) {
    const Crypto& crypto = System();
    const DWORD length =
        crypto.nameToString(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, nullptr, 0);
    if (length <= 1) {
        return std::wstring();
    }
    std::vector<wchar_t> text(length);
    crypto.nameToString(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, text.data(), length);
    return std::wstring(text.data());
}

std::string Hex(const BYTE* data, size_t size, bool reversed) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        const BYTE byte = data[reversed ? size - 1 - i : i];
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

bool Contains(const BYTE* data, size_t size, const BYTE* part, size_t partSize) {
    for (size_t i = 0; i + partSize <= size; ++i) {
        if (std::memcmp(data + i, part, partSize) == 0) {
            return true;
        }
    }
    return false;
}

// A private key as bcrypt imports it.
struct PrivateKey {
    PemKind kind = PemKind::Opaque;
    const wchar_t* algorithm = nullptr;
    const wchar_t* blobType = nullptr;
    Secret blob;
    // The signature's size: bcrypt under Wine 8 asks for half an ECDSA signature's room.
    ULONG signatureSize = 0;
};

void AppendBigEndian(std::vector<BYTE>& to, const BYTE* littleEndian, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        to.push_back(littleEndian[size - 1 - i]);
    }
}

// PKCS#1: the system's PRIVATEKEYBLOB (little-endian) rearranged as BCRYPT_RSAPRIVATE_BLOB.
PrivateKey RsaKey(const BYTE* der, size_t size) {
    PrivateKey key;
    const Decoded decoded(PKCS_RSA_PRIVATE_KEY, der, size);
    const auto* header = decoded.as<BYTE>();
    if (!header || decoded.size() < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY)) {
        return key;
    }
    RSAPUBKEY rsa{};
    std::memcpy(&rsa, header + sizeof(BLOBHEADER), sizeof rsa);
    const size_t modulus = rsa.bitlen / 8;
    const size_t prime = rsa.bitlen / 16;
    const BYTE* parts = header + sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
    if (modulus == 0 ||
        decoded.size() < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY) + modulus + 2 * prime) {
        return key;
    }
    BYTE exponent[4];
    std::memcpy(exponent, &rsa.pubexp, sizeof exponent);
    size_t exponentSize = sizeof exponent;
    while (exponentSize > 1 && exponent[exponentSize - 1] == 0) {
        --exponentSize;
    }
    std::vector<BYTE> blob(sizeof(BCRYPT_RSAKEY_BLOB));
    BCRYPT_RSAKEY_BLOB head{};
    head.Magic = BCRYPT_RSAPRIVATE_MAGIC;
    head.BitLength = rsa.bitlen;
    head.cbPublicExp = static_cast<ULONG>(exponentSize);
    head.cbModulus = static_cast<ULONG>(modulus);
    head.cbPrime1 = static_cast<ULONG>(prime);
    head.cbPrime2 = static_cast<ULONG>(prime);
    std::memcpy(blob.data(), &head, sizeof head);
    AppendBigEndian(blob, exponent, exponentSize);
    AppendBigEndian(blob, parts, modulus);
    AppendBigEndian(blob, parts + modulus, prime);
    AppendBigEndian(blob, parts + modulus + prime, prime);
    key.kind = PemKind::RsaKey;
    key.signatureSize = static_cast<ULONG>(modulus);
    key.algorithm = BCRYPT_RSA_ALGORITHM;
    key.blobType = BCRYPT_RSAPRIVATE_BLOB;
    key.blob = Secret(std::move(blob));
    return key;
}

// The content of a DER element after its tag and length.
bool ElementContent(const CRYPT_DER_BLOB& element, const BYTE*& content, size_t& size) {
    if (element.cbData < 2) {
        return false;
    }
    size_t header = 2;
    if (element.pbData[1] & 0x80) {
        header += element.pbData[1] & 0x7F;
    }
    if (header > element.cbData) {
        return false;
    }
    content = element.pbData + header;
    size = element.cbData - header;
    return true;
}

// SEC1: the scalar and the public point (the [1] element), as BCRYPT_ECCPRIVATE_BLOB.
PrivateKey EcKey(const BYTE* der, size_t size) {
    PrivateKey key;
    std::vector<BYTE> scalar;
    std::vector<BYTE> point;
    {
        const Decoded direct(X509_ECC_PRIVATE_KEY, der, size);
        if (const auto* info = direct.as<CRYPT_ECC_PRIVATE_KEY_INFO>()) {
            scalar.assign(info->PrivateKey.pbData,
                          info->PrivateKey.pbData + info->PrivateKey.cbData);
            point.assign(info->PublicKey.pbData, info->PublicKey.pbData + info->PublicKey.cbData);
        }
    }
    if (scalar.empty()) {
        const Decoded sequence(X509_SEQUENCE_OF_ANY, der, size);
        const auto* items = sequence.as<CRYPT_SEQUENCE_OF_ANY>();
        if (!items || items->cValue < 2) {
            return key;
        }
        const Decoded octets(X509_OCTET_STRING, items->rgValue[1].pbData, items->rgValue[1].cbData);
        if (const auto* blob = octets.as<CRYPT_DATA_BLOB>()) {
            scalar.assign(blob->pbData, blob->pbData + blob->cbData);
        }
        for (DWORD i = 2; i < items->cValue; ++i) {
            const BYTE* content = nullptr;
            size_t contentSize = 0;
            if (items->rgValue[i].cbData > 0 && items->rgValue[i].pbData[0] == 0xA1 &&
                ElementContent(items->rgValue[i], content, contentSize)) {
                const Decoded bits(X509_BITS, content, contentSize);
                if (const auto* value = bits.as<CRYPT_BIT_BLOB>()) {
                    point.assign(value->pbData, value->pbData + value->cbData);
                }
            }
        }
    }
    const Secret scalarHeld(std::move(scalar));
    // An uncompressed point: 04, then X and Y of the curve's size.
    if (point.size() < 3 || point[0] != 0x04 || point.size() % 2 == 0) {
        return key;
    }
    const size_t coordinate = (point.size() - 1) / 2;
    ULONG magic = 0;
    switch (coordinate) {
    case 32:
        magic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
        key.algorithm = BCRYPT_ECDSA_P256_ALGORITHM;
        break;
    case 48:
        magic = BCRYPT_ECDSA_PRIVATE_P384_MAGIC;
        key.algorithm = BCRYPT_ECDSA_P384_ALGORITHM;
        break;
    case 66:
        magic = BCRYPT_ECDSA_PRIVATE_P521_MAGIC;
        key.algorithm = BCRYPT_ECDSA_P521_ALGORITHM;
        break;
    default:
        return key;
    }
    const std::vector<BYTE>& d = scalarHeld.bytes;
    if (d.empty() || d.size() > coordinate) {
        key.algorithm = nullptr;
        return key;
    }
    std::vector<BYTE> blob(sizeof(BCRYPT_ECCKEY_BLOB));
    const BCRYPT_ECCKEY_BLOB head{magic, static_cast<ULONG>(coordinate)};
    std::memcpy(blob.data(), &head, sizeof head);
    blob.insert(blob.end(), point.begin() + 1, point.end());
    blob.insert(blob.end(), coordinate - d.size(), 0);
    blob.insert(blob.end(), d.begin(), d.end());
    key.kind = PemKind::EcKey;
    key.signatureSize = static_cast<ULONG>(2 * coordinate);
    key.blobType = BCRYPT_ECCPRIVATE_BLOB;
    key.blob = Secret(std::move(blob));
    return key;
}

// PKCS#8: the algorithm and the inner key, by the system's decoder or its generic ones.
PrivateKey WrappedKey(const BYTE* der, size_t size) {
    {
        const Decoded direct(PKCS_PRIVATE_KEY_INFO, der, size);
        if (const auto* info = direct.as<CRYPT_PRIVATE_KEY_INFO>()) {
            const std::string oid = info->Algorithm.pszObjId ? info->Algorithm.pszObjId : "";
            if (oid == szOID_RSA_RSA) {
                return RsaKey(info->PrivateKey.pbData, info->PrivateKey.cbData);
            }
            if (oid == szOID_ECC_PUBLIC_KEY) {
                return EcKey(info->PrivateKey.pbData, info->PrivateKey.cbData);
            }
            return PrivateKey();
        }
    }
    const Decoded sequence(X509_SEQUENCE_OF_ANY, der, size);
    const auto* items = sequence.as<CRYPT_SEQUENCE_OF_ANY>();
    if (!items || items->cValue < 3) {
        return PrivateKey();
    }
    const CRYPT_DER_BLOB& algorithm = items->rgValue[1];
    const Decoded inner(X509_OCTET_STRING, items->rgValue[2].pbData, items->rgValue[2].cbData);
    const auto* key = inner.as<CRYPT_DATA_BLOB>();
    if (!key) {
        return PrivateKey();
    }
    if (Contains(algorithm.pbData, algorithm.cbData, kRsaOid, sizeof kRsaOid)) {
        return RsaKey(key->pbData, key->cbData);
    }
    if (Contains(algorithm.pbData, algorithm.cbData, kEcOid, sizeof kEcOid)) {
        return EcKey(key->pbData, key->cbData);
    }
    return PrivateKey();
}

PrivateKey DecodeKey(const std::string& bytes) {
    const std::string label = PemLabel(bytes);
    Secret der(PemToDer(bytes));
    const BYTE* data = der.bytes.data();
    const size_t size = der.bytes.size();
    if (size == 0) {
        return PrivateKey();
    }
    if (label == "PRIVATE KEY") {
        return WrappedKey(data, size);
    }
    if (label == "RSA PRIVATE KEY") {
        return RsaKey(data, size);
    }
    if (label == "EC PRIVATE KEY") {
        return EcKey(data, size);
    }
    return PrivateKey();
}

} // namespace

int64_t UnixSeconds(const FILETIME& time) {
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                               time.dwLowDateTime);
    return (ticks - kUnixEpochIn100ns) / 10000000;
}

PemFacts ReadPemFacts(const std::string& bytes) {
    PemFacts facts;
    const std::string label = PemLabel(bytes);
    if (label.empty() || !System().readsCertificates()) {
        return facts;
    }
    if (label == "ENCRYPTED PRIVATE KEY") {
        facts.kind = PemKind::EncryptedKey;
        return facts;
    }
    if (label != "CERTIFICATE") {
        facts.kind = DecodeKey(bytes).kind;
        return facts;
    }
    const std::vector<BYTE> der = PemToDer(bytes);
    const UniqueCertificate certificate = OpenCertificate(der);
    if (!certificate) {
        return facts;
    }
    const CERT_INFO* info = certificate.get()->pCertInfo;
    facts.kind = PemKind::Certificate;
    facts.subject = NameText(const_cast<PCERT_NAME_BLOB>(&info->Subject));
    facts.issuer = NameText(const_cast<PCERT_NAME_BLOB>(&info->Issuer));
    // The system keeps the serial least significant byte first.
    facts.serial = Hex(info->SerialNumber.pbData, info->SerialNumber.cbData, true);
    facts.notBefore = UnixSeconds(info->NotBefore);
    facts.notAfter = UnixSeconds(info->NotAfter);
    Sha256 digest;
    digest.Update(reinterpret_cast<const char*>(der.data()), der.size());
    facts.fingerprint = digest.FinishHex();
    return facts;
}

KeyPairVerdict CheckKeyPair(const std::string& keyPem, const std::string& certificatePem) {
    const Crypto& crypto = System();
    if (!crypto.checksKeys() || PemLabel(certificatePem) != "CERTIFICATE") {
        return KeyPairVerdict::NotChecked;
    }
    const UniqueCertificate certificate = OpenCertificate(PemToDer(certificatePem));
    PrivateKey key = DecodeKey(keyPem);
    if (!certificate || !key.algorithm) {
        return KeyPairVerdict::NotChecked;
    }
    UniqueAlgorithm algorithm;
    UniqueKey privateKey;
    if (crypto.openAlgorithm(algorithm.put(), key.algorithm, nullptr, 0) != 0 ||
        crypto.importKeyPair(algorithm.get(), nullptr, key.blobType, privateKey.put(),
                             key.blob.bytes.data(), static_cast<ULONG>(key.blob.bytes.size()),
                             0) != 0) {
        return KeyPairVerdict::NotChecked;
    }
    Secret digest{std::vector<BYTE>(kDigestSize)};
    if (crypto.genRandom(nullptr, digest.bytes.data(), kDigestSize,
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        return KeyPairVerdict::NotChecked;
    }
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
    const bool rsa = key.kind == PemKind::RsaKey;
    void* paddingInfo = rsa ? &padding : nullptr;
    const ULONG flags = rsa ? BCRYPT_PAD_PKCS1 : 0;
    ULONG signatureSize = 0;
    if (crypto.signHash(privateKey.get(), paddingInfo, digest.bytes.data(), kDigestSize, nullptr, 0,
                        &signatureSize, flags) != 0) {
        return KeyPairVerdict::NotChecked;
    }
    signatureSize = std::max(signatureSize, key.signatureSize);
    Secret signature{std::vector<BYTE>(signatureSize)};
    if (crypto.signHash(privateKey.get(), paddingInfo, digest.bytes.data(), kDigestSize,
                        signature.bytes.data(), signatureSize, &signatureSize, flags) != 0) {
        return KeyPairVerdict::NotChecked;
    }
    UniqueKey publicKey;
    if (!crypto.importPublicKey(X509_ASN_ENCODING,
                                &certificate.get()->pCertInfo->SubjectPublicKeyInfo, 0, nullptr,
                                publicKey.put())) {
        return KeyPairVerdict::NotChecked;
    }
    return crypto.verifySignature(publicKey.get(), paddingInfo, digest.bytes.data(), kDigestSize,
                                  signature.bytes.data(), signatureSize, flags) == 0
               ? KeyPairVerdict::Matches
               : KeyPairVerdict::Mismatch;
}

} // namespace qm
