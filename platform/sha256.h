#pragma once
// SHA-256 (FIPS 180-4), for the log's and the backups' fingerprints of the files a run touches.
// No Windows API here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string FinishHex();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> block_{};
    size_t blockUsed_ = 0;
    uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(const std::string& bytes);

} // namespace qm
