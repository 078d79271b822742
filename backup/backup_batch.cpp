// Second names and copies in a backup set; the copies written unflushed and made durable
// together.
#include "backup/backup_batch.h"

#include "fileops/copy_bytes.h"
#include "fileops/file_names.h"
#include "fileops/link_check.h"
#include "fileops/protected_folder.h"
#include "platform/sha256.h"

#include <vector>

namespace qm {

namespace {

constexpr LPSECURITY_ATTRIBUTES kInheritedSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kReadSize = 64 * 1024;

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

// The original as itself; invalid with the code when it cannot be opened so. A second name
// needs the right to change its attributes (as CreateHardLinkW asks), a copy only reading.
UniqueFile OpenOriginal(const std::wstring& original, DWORD access, DWORD& error) {
    UniqueFile from(CreateFileW(
        original.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, kInheritedSecurity,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    if (!from) {
        error = GetLastError();
        return from;
    }
    // A link left where an installed file belongs would save whatever it names into the set.
    error = CheckOpenedIsPath(from.get(), original);
    if (error != ERROR_SUCCESS) {
        from.reset();
    }
    return from;
}

// Size and SHA-256 of the open file from its start; 0 or the code of the read.
DWORD HashOpened(HANDLE file, uint64_t& size, std::string& sha256) {
    Sha256 digest;
    std::vector<char> buffer(kReadSize);
    size = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), kReadSize, &read, nullptr)) {
            return GetLastError();
        }
        if (read == 0) {
            break;
        }
        digest.Update(buffer.data(), read);
        size += read;
    }
    sha256 = digest.FinishHex();
    return ERROR_SUCCESS;
}

bool Rewind(HANDLE file) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

} // namespace

DWORD OriginalReadError(const std::wstring& original) {
    DWORD error = ERROR_SUCCESS;
    OpenOriginal(original, GENERIC_READ, error);
    return error;
}

BackupBatch::BackupBatch(const std::wstring& setFolder)
    : setFolder_(setFolder), folder_(OpenFolderHeld(setFolder)) {}

DWORD BackupBatch::Add(const std::wstring& original, const std::wstring& storedName,
                       bool userWritable, SavedFile& saved, bool& originalUnreadable) {
    saved = SavedFile();
    originalUnreadable = true;
    DWORD opened = ERROR_SUCCESS;
    bool mayLink = !userWritable && folder_;
    UniqueFile from = mayLink ? OpenOriginal(original, GENERIC_READ | FILE_WRITE_ATTRIBUTES, opened)
                              : UniqueFile();
    if (!from) {
        mayLink = false;
        from = OpenOriginal(original, GENERIC_READ, opened);
    }
    if (!from) {
        return opened;
    }
    originalUnreadable = false;
    // Only the attributes and times: the full information asks the volume too, which costs
    // more, once for every file saved.
    FILE_BASIC_INFO information{};
    mayLink =
        mayLink &&
        GetFileInformationByHandleEx(from.get(), FileBasicInfo, &information, sizeof information) &&
        !(information.FileAttributes & FILE_ATTRIBUTE_READONLY) && !OthersMayChange(from.get());
    if (mayLink) {
        // The time before the bytes: a write while they are read shows as a later time.
        saved.written.dwLowDateTime = information.LastWriteTime.LowPart;
        saved.written.dwHighDateTime = static_cast<DWORD>(information.LastWriteTime.HighPart);
        const DWORD error = HashOpened(from.get(), saved.size, saved.sha256);
        if (error != ERROR_SUCCESS) {
            originalUnreadable = true;
            return error;
        }
        if (LinkInto(from.get(), folder_.get(), storedName) == ERROR_SUCCESS) {
            saved.linked = true;
            return ERROR_SUCCESS;
        }
        if (!Rewind(from.get())) {
            originalUnreadable = true;
            return GetLastError();
        }
    }
    return Copy(from.get(), setFolder_ + L"\\" + storedName, saved, originalUnreadable);
}

DWORD BackupBatch::Copy(HANDLE from, const std::wstring& savedPath, SavedFile& saved,
                        bool& originalUnreadable) {
    UniqueFile to(CreateFileW(savedPath.c_str(), GENERIC_WRITE, 0, kInheritedSecurity, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, kNoTemplate));
    if (!to) {
        return GetLastError();
    }
    Sha256 digest;
    saved.size = 0;
    const DWORD error =
        CopyAllBytes(from, to.get(), originalUnreadable, [&](const char* data, DWORD read) {
            digest.Update(data, read);
            saved.size += read;
        });
    if (error != ERROR_SUCCESS) {
        return error;
    }
    saved.sha256 = digest.FinishHex();
    saved.linked = false;
    if (firstPath_.empty()) {
        firstPath_ = savedPath;
    }
    copies_.push_back(std::move(to));
    return ERROR_SUCCESS;
}

DWORD BackupBatch::Flush() {
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

bool SavedFileState(const std::wstring& savedPath, uint64_t& size, FILETIME& written) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(savedPath.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    written = data.ftLastWriteTime;
    return true;
}

} // namespace qm
