// SHA-256 of a file read in blocks.
#include "fileops/file_hash.h"

#include "platform/sha256.h"
#include "platform/win_handles.h"

#include <cstring>
#include <vector>

namespace qm {

namespace {
constexpr DWORD kChunkBytes = 64 * 1024;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr LPOVERLAPPED kNotOverlapped = nullptr;

UniqueFile OpenToRead(const std::wstring& path) {
    return UniqueFile(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        kDefaultSecurity, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, kNoTemplate));
}

bool SizeOf(const std::wstring& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Reads until the chunk is full or the file ends; false when reading fails.
bool ReadChunk(HANDLE file, std::vector<char>& chunk, DWORD& filled) {
    filled = 0;
    while (filled < chunk.size()) {
        DWORD read = 0;
        if (!ReadFile(file, chunk.data() + filled, static_cast<DWORD>(chunk.size()) - filled, &read,
                      kNotOverlapped)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    return true;
}
} // namespace

bool HoldSameBytes(const std::wstring& a, const std::wstring& b) {
    uint64_t sizeA = 0;
    uint64_t sizeB = 0;
    if (!SizeOf(a, sizeA) || !SizeOf(b, sizeB) || sizeA != sizeB) {
        return false;
    }
    const UniqueFile fileA = OpenToRead(a);
    const UniqueFile fileB = OpenToRead(b);
    if (!fileA || !fileB) {
        return false;
    }
    std::vector<char> chunkA(kChunkBytes);
    std::vector<char> chunkB(kChunkBytes);
    for (;;) {
        DWORD filledA = 0;
        DWORD filledB = 0;
        if (!ReadChunk(fileA.get(), chunkA, filledA) || !ReadChunk(fileB.get(), chunkB, filledB) ||
            filledA != filledB || std::memcmp(chunkA.data(), chunkB.data(), filledA) != 0) {
            return false;
        }
        if (filledA < kChunkBytes) {
            return true;
        }
    }
}

bool ReadableAndHolds(const std::wstring& path, const std::string& bytes, bool& same) {
    same = false;
    const UniqueFile file = OpenToRead(path);
    if (!file) {
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) != bytes.size()) {
        return true;
    }
    std::vector<char> chunk(kChunkBytes);
    size_t compared = 0;
    for (;;) {
        DWORD filled = 0;
        if (!ReadChunk(file.get(), chunk, filled) || filled > bytes.size() - compared ||
            std::memcmp(chunk.data(), bytes.data() + compared, filled) != 0) {
            return true;
        }
        compared += filled;
        if (filled < kChunkBytes) {
            same = compared == bytes.size();
            return true;
        }
    }
}

bool HashFile(const std::wstring& path, std::string& sha256Hex, uint64_t* size) {
    const UniqueFile file = OpenToRead(path);
    if (!file) {
        return false;
    }
    Sha256 hash;
    uint64_t total = 0;
    std::vector<char> chunk(kChunkBytes);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk.data(), kChunkBytes, &read, kNotOverlapped)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        hash.Update(chunk.data(), read);
        total += read;
    }
    sha256Hex = hash.FinishHex();
    if (size) {
        *size = total;
    }
    return true;
}

} // namespace qm
