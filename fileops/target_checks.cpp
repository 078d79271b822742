// Probes of targets, sources and folders that open and close, and change nothing but the
// folders a deployment would make anyway.
#include "fileops/target_checks.h"

#include "platform/win_handles.h"

namespace qm {

namespace {

constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD OpenError(const std::wstring& path, DWORD access, DWORD share) {
    const UniqueFile file(CreateFileW(path.c_str(), access, share, kDefaultSecurity, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, kNoTemplate));
    return file ? ERROR_SUCCESS : GetLastError();
}

} // namespace

DWORD TargetOpenError(const std::wstring& target) {
    return OpenError(target, GENERIC_WRITE | DELETE, kShareAll);
}

DWORD SourceReadError(const std::wstring& source) {
    // CopyFileW shares the source for reading only.
    return OpenError(source, GENERIC_READ, FILE_SHARE_READ);
}

DWORD MakeFolderIfMissing(const std::wstring& folder, bool& created) {
    created = false;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return ERROR_SUCCESS;
    }
    if (!CreateDirectoryW(folder.c_str(), kDefaultSecurity)) {
        return GetLastError();
    }
    created = true;
    return ERROR_SUCCESS;
}

void RemoveFolderIfEmpty(const std::wstring& folder) {
    // RemoveDirectoryW refuses a folder that holds anything, and a link is not followed.
    RemoveDirectoryW(folder.c_str());
}

} // namespace qm
