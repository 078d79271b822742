// Looking for links below a trusted folder, without following any.
#include "fileops/link_check.h"

#include "fileops/link_rules.h"
#include "platform/paths.h"

#include <cwctype>
#include <map>
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

UniqueFile OpenFolderHeld(const std::wstring& folder, bool followLink) {
    return UniqueFile(CreateFileW(
        AsFolder(folder).c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareNoDelete,
        kDefaultSecurity, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), kNoTemplate));
}

namespace {

// 0 when the object open as handle carries no reparse tag that stands for another name.
DWORD CheckNoLinkTag(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        return GetLastError();
    }
    const bool link =
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(tag.ReparseTag);
    return link ? kReparsePointEncountered : ERROR_SUCCESS;
}

// The object open as handle is no link, and its final path is parentFinal followed by name;
// opened receives that final path.
DWORD CheckOpenedIsChild(HANDLE handle, const std::wstring& parentFinal, const std::wstring& name,
                         std::wstring& opened) {
    if (const DWORD tag = CheckNoLinkTag(handle); tag != ERROR_SUCCESS) {
        return tag;
    }
    // Where links cannot be opened as themselves (Wine opens a Unix link's target whatever it is
    // asked), the handle names another place than the path does.
    DWORD error = ERROR_SUCCESS;
    if (!FinalPathOf(handle, opened, error)) {
        return error;
    }
    const std::wstring meant = JoinPath(TrimTrailingBackslash(parentFinal), name);
    return SameIgnoringCase(opened, meant) ? ERROR_SUCCESS : kReparsePointEncountered;
}

std::wstring NameOf(const std::wstring& full) {
    return full.substr(full.rfind(L'\\') + 1);
}

// A folder's final path, opened for this alone (a link at the folder itself followed); false
// with the code when it cannot be had.
bool FolderFinalOf(const std::wstring& folder, std::wstring& final, DWORD& error) {
    const UniqueFile opened(CreateFileW(AsFolder(folder).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                        kDefaultSecurity, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        kNoTemplate));
    if (!opened) {
        error = GetLastError();
        return false;
    }
    return FinalPathOf(opened.get(), final, error);
}

} // namespace

DWORD CheckOpenedIsPath(HANDLE handle, const std::wstring& path) {
    const std::wstring full = FullPathOf(path);
    if (ParentFolder(full).empty()) {
        return CheckNoLinkTag(handle);
    }
    std::wstring parentFinal;
    DWORD error = ERROR_SUCCESS;
    if (!FolderFinalOf(ParentFolder(full), parentFinal, error)) {
        return error;
    }
    std::wstring opened;
    return CheckOpenedIsChild(handle, parentFinal, NameOf(full), opened);
}

DWORD CheckOpenedIsPathIn(HANDLE handle, const std::wstring& path, HANDLE parent) {
    std::wstring parentFinal;
    DWORD error = ERROR_SUCCESS;
    if (!FinalPathOf(parent, parentFinal, error)) {
        return error;
    }
    return CheckOpenedIsPathUnder(handle, path, parentFinal);
}

DWORD CheckOpenedIsPathUnder(HANDLE handle, const std::wstring& path,
                             const std::wstring& parentFinal) {
    std::wstring opened;
    return CheckOpenedIsChild(handle, parentFinal, NameOf(FullPathOf(path)), opened);
}

namespace {

// Trusted roots' final paths by their upper-cased paths, each read once a run: a root is looked
// at for every check below it (a profile's, once in the facts, once among the checks, once by
// its copy), and only whoever placed the install or the profile can move it.
std::map<std::wstring, std::wstring>& KnownRootFinals() {
    static std::map<std::wstring, std::wstring> known;
    return known;
}

std::wstring RootKey(std::wstring root) {
    for (wchar_t& ch : root) {
        ch = static_cast<wchar_t>(std::towupper(ch));
    }
    return root;
}

bool RootFinalOf(const std::wstring& root, std::wstring& final, DWORD& error) {
    std::map<std::wstring, std::wstring>& known = KnownRootFinals();
    const std::wstring key = RootKey(root);
    const auto found = known.find(key);
    if (found != known.end()) {
        final = found->second;
        return true;
    }
    if (!FolderFinalOf(root, final, error)) {
        return false;
    }
    known.emplace(key, final);
    return true;
}

// handle is path open as itself. Below root the names are trusted from root down (paths holds
// more than one level); else path alone, from its parent. opened receives the handle's final
// path, empty for a drive's root.
DWORD CheckOpenedBelow(HANDLE handle, const std::wstring& base,
                       const std::vector<std::wstring>& paths, const std::wstring& path,
                       std::wstring& opened) {
    const std::wstring anchor = paths.size() > 1 ? base : ParentFolder(path);
    if (anchor.empty()) {
        // A drive's root has no parent to compare it with.
        return CheckNoLinkTag(handle);
    }
    std::wstring anchorFinal;
    DWORD error = ERROR_SUCCESS;
    if (!(IsRootFolder(base, anchor) ? RootFinalOf(anchor, anchorFinal, error)
                                     : FolderFinalOf(anchor, anchorFinal, error))) {
        return error;
    }
    const size_t skip = anchor.back() == L'\\' ? anchor.size() : anchor.size() + 1;
    return CheckOpenedIsChild(handle, anchorFinal, path.substr(skip), opened);
}

} // namespace

void RememberRootFinal(const std::wstring& root, const std::wstring& final) {
    KnownRootFinals().emplace(RootKey(FullPathOf(root)), final);
}

DWORD CheckNoLinkBelow(const std::wstring& root, const std::wstring& target) {
    const std::wstring base = root.empty() ? root : FullPathOf(root);
    const std::vector<std::wstring> paths = PathsBelow(base, FullPathOf(target));
    // Only the deepest path that exists is opened: nothing below a missing folder exists either
    // (the step that creates it comes back), and its final path, compared with the trusted
    // folder's followed by the names below it, shows a link anywhere on the way. A walk that
    // opened each folder cost a profile's copy most of its time.
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) {
        const UniqueFile handle(CreateFileW(
            path->c_str(), FILE_READ_ATTRIBUTES, kShareAll, kDefaultSecurity, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
        if (!handle) {
            const DWORD error = GetLastError();
            if (IsMissingCode(error)) {
                continue;
            }
            return error;
        }
        std::wstring opened;
        return CheckOpenedBelow(handle.get(), base, paths, *path, opened);
    }
    return ERROR_SUCCESS;
}

DWORD CheckChildBelow(const std::wstring& parentFinal, const std::wstring& path,
                      std::wstring& final) {
    final.clear();
    const UniqueFile opened(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, kDefaultSecurity, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    if (!opened) {
        const DWORD error = GetLastError();
        return IsMissingCode(error) ? ERROR_SUCCESS : error;
    }
    return CheckOpenedIsChild(opened.get(), parentFinal, NameOf(FullPathOf(path)), final);
}

DWORD CheckHeldFolderBelow(HANDLE folder, const std::wstring& root, const std::wstring& path,
                           std::wstring& final) {
    final.clear();
    const std::wstring base = root.empty() ? root : FullPathOf(root);
    const std::vector<std::wstring> paths =
        root.empty() ? std::vector<std::wstring>() : PathsBelow(base, FullPathOf(path));
    if (!paths.empty()) {
        if (const DWORD error = CheckOpenedBelow(folder, base, paths, paths.back(), final);
            error != ERROR_SUCCESS) {
            return error;
        }
    }
    DWORD error = ERROR_SUCCESS;
    return !final.empty() || FinalPathOf(folder, final, error) ? ERROR_SUCCESS : error;
}

} // namespace qm
