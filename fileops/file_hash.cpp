// SHA-256 of a file read in blocks.
#include "fileops/file_hash.h"

#include "platform/sha256.h"
#include "platform/win_handles.h"

#include <vector>

namespace qm {

namespace {
constexpr DWORD kChunkBytes = 64 * 1024;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr LPOVERLAPPED kNotOverlapped = nullptr;
} // namespace

bool HashFile(const std::wstring& path, std::string& sha256Hex, uint64_t* size) {
    const UniqueFile file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        kDefaultSecurity, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, kNoTemplate));
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
