// Looking for links below a trusted folder, without following any.
#include "fileops/link_check.h"

#include "fileops/link_rules.h"
#include "platform/paths.h"

#include <vector>

namespace qm {

namespace {

constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kNormalizedDosName = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
constexpr DWORD kLongestPath = 32768;

// A folder that is a plain file has nothing below it either.
bool IsMissingCode(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_DIRECTORY;
}

// "C:" alone names the drive's current folder; its root is meant.
std::wstring AsFolder(const std::wstring& folder) {
    return folder.size() == 2 && folder[1] == L':' ? folder + L'\\' : folder;
}

bool FinalPathOf(HANDLE handle, std::wstring& path, DWORD& error) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length =
            GetFinalPathNameByHandleW(handle, buffer.data(), size, kNormalizedDosName);
        if (length == 0) {
            error = GetLastError();
            return false;
        }
        if (length < size) {
            path.assign(buffer.data(), length);
            return true;
        }
        if (length > kLongestPath) {
            error = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        buffer.resize(length + 1);
    }
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

bool IsLinkTag(DWORD tag) {
    return IsReparseTagNameSurrogate(tag) != 0;
}

std::wstring FullPathOf(const std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
        if (length == 0) {
            return CollapseSeparators(path);
        }
        if (length < size) {
            return CollapseSeparators(std::wstring(buffer.data(), length));
        }
        buffer.resize(length + 1);
    }
}

UniqueFile OpenFolderHeld(const std::wstring& folder) {
    return UniqueFile(CreateFileW(AsFolder(folder).c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  kShareNoDelete, kDefaultSecurity, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  kNoTemplate));
}

DWORD CheckOpenedIsPath(HANDLE handle, const std::wstring& path) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        return GetLastError();
    }
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(tag.ReparseTag)) {
        return kReparsePointEncountered;
    }
    // Where links cannot be opened as themselves (Wine opens a Unix link's target whatever it is
    // asked), the handle names another place than the path does.
    const std::wstring full = FullPathOf(path);
    const std::wstring parent = ParentFolder(full);
    if (parent.empty()) {
        return ERROR_SUCCESS;
    }
    const UniqueFile parentHandle(CreateFileW(AsFolder(parent).c_str(), FILE_READ_ATTRIBUTES,
                                              kShareAll, kDefaultSecurity, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, kNoTemplate));
    if (!parentHandle) {
        return GetLastError();
    }
    std::wstring opened;
    std::wstring parentFinal;
    DWORD error = ERROR_SUCCESS;
    if (!FinalPathOf(handle, opened, error) ||
        !FinalPathOf(parentHandle.get(), parentFinal, error)) {
        return error;
    }
    const std::wstring meant =
        JoinPath(TrimTrailingBackslash(parentFinal), full.substr(full.rfind(L'\\') + 1));
    return SameIgnoringCase(opened, meant) ? ERROR_SUCCESS : kReparsePointEncountered;
}

DWORD CheckNoLinkBelow(const std::wstring& root, const std::wstring& target) {
    const std::wstring base = root.empty() ? root : FullPathOf(root);
    for (const std::wstring& path : PathsBelow(base, FullPathOf(target))) {
        const UniqueFile handle(CreateFileW(
            path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, kDefaultSecurity, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
        if (!handle) {
            const DWORD error = GetLastError();
            // Nothing below a missing folder exists either; the step that creates it comes back.
            return IsMissingCode(error) ? ERROR_SUCCESS : error;
        }
        const DWORD verdict = CheckOpenedIsPath(handle.get(), path);
        if (verdict != ERROR_SUCCESS) {
            return verdict;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace qm
