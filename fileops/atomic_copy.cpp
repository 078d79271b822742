// Copies written beside the target and put in its place in one step.
#include "fileops/atomic_copy.h"

#include "platform/win_handles.h"

namespace qm {

namespace {

// Beside the target, so that the last step is a rename within one volume.
constexpr wchar_t kPendingSuffix[] = L".quillmend-new";

constexpr BOOL kOverwriteExisting = FALSE;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A copy takes over its source's attributes; a read-only LicenseFile (say, from a CD) would
// otherwise leave read-only targets that the next copy onto them cannot overwrite.
void ClearReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) {
        return;
    }
    DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (cleared == 0) {
        cleared = FILE_ATTRIBUTE_NORMAL;
    }
    // If this fails, the step that needs the file writable reports it.
    SetFileAttributesW(path.c_str(), cleared);
}

// Asks for what the copy in place used to need (writing) and what the rename needs (deleting
// the old file), so that a read-only or held target fails with the code it always gave, before
// anything is written. A missing target is no obstacle: the copy reports a missing folder.
DWORD TargetObstacle(const std::wstring& target) {
    const UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, kShareAll,
                                      kDefaultSecurity, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                      kNoTemplate));
    if (file) {
        return ERROR_SUCCESS;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
}

} // namespace

DWORD CopyFileAtomically(const std::wstring& source, const std::wstring& target) {
    const DWORD obstacle = TargetObstacle(target);
    if (obstacle != ERROR_SUCCESS) {
        return obstacle;
    }
    const std::wstring pending = target + kPendingSuffix;
    // A pending file left by a run that died may have kept a read-only source's attribute.
    ClearReadOnly(pending);
    if (!CopyFileW(source.c_str(), pending.c_str(), kOverwriteExisting)) {
        const DWORD error = GetLastError();
        DeleteFileW(pending.c_str());
        return error;
    }
    ClearReadOnly(pending);
    if (!MoveFileExW(pending.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(pending.c_str());
        return error;
    }
    return ERROR_SUCCESS;
}

} // namespace qm
