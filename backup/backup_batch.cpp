// Copies into a backup set, written unflushed and made durable together.
#include "backup/backup_batch.h"

#include "fileops/copy_bytes.h"
#include "fileops/link_check.h"
#include "platform/sha256.h"

#include <vector>

namespace qm {

namespace {

constexpr LPSECURITY_ATTRIBUTES kInheritedSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;

// "\\.\C:" for a path on drive C:, empty for any other kind of volume (a share, a mounted
// folder), which is then flushed file by file.
std::wstring VolumeDevice(const std::wstring& path) {
    std::vector<wchar_t> root(path.size() + 2);
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
        return std::wstring();
    }
    const std::wstring volume = root.data();
    if (volume.size() != 3 || volume[1] != L':' || volume[2] != L'\\') {
        return std::wstring();
    }
    return L"\\\\.\\" + volume.substr(0, 2);
}

// The original as itself, for reading; invalid with the code when it cannot be.
UniqueFile OpenOriginal(const std::wstring& original, DWORD& error) {
    UniqueFile from(CreateFileW(
        original.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, kInheritedSecurity,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    if (!from) {
        error = GetLastError();
        return from;
    }
    // A link left where an installed file belongs would copy whatever it names into the set.
    error = CheckOpenedIsPath(from.get(), original);
    if (error != ERROR_SUCCESS) {
        from.reset();
    }
    return from;
}

} // namespace

DWORD OriginalReadError(const std::wstring& original) {
    DWORD error = ERROR_SUCCESS;
    OpenOriginal(original, error);
    return error;
}

DWORD CopyBatch::Add(const std::wstring& original, const std::wstring& savedPath, uint64_t& size,
                     std::string& sha256, bool& originalUnreadable) {
    originalUnreadable = true;
    DWORD opened = ERROR_SUCCESS;
    const UniqueFile from = OpenOriginal(original, opened);
    if (!from) {
        return opened;
    }
    originalUnreadable = false;
    UniqueFile to(CreateFileW(savedPath.c_str(), GENERIC_WRITE, 0, kInheritedSecurity, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, kNoTemplate));
    if (!to) {
        return GetLastError();
    }
    Sha256 digest;
    size = 0;
    const DWORD error =
        CopyAllBytes(from.get(), to.get(), originalUnreadable, [&](const char* data, DWORD read) {
            digest.Update(data, read);
            size += read;
        });
    if (error != ERROR_SUCCESS) {
        return error;
    }
    sha256 = digest.FinishHex();
    if (firstPath_.empty()) {
        firstPath_ = savedPath;
    }
    copies_.push_back(std::move(to));
    return ERROR_SUCCESS;
}

DWORD CopyBatch::Flush() {
    if (copies_.empty()) {
        return ERROR_SUCCESS;
    }
    const std::wstring device = VolumeDevice(firstPath_);
    if (!device.empty()) {
        const UniqueFile volume(CreateFileW(device.c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, kInheritedSecurity,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, kNoTemplate));
        if (volume && FlushFileBuffers(volume.get())) {
            copies_.clear();
            return ERROR_SUCCESS;
        }
    }
    for (const UniqueFile& copy : copies_) {
        if (!FlushFileBuffers(copy.get())) {
            return GetLastError();
        }
    }
    copies_.clear();
    return ERROR_SUCCESS;
}

} // namespace qm
