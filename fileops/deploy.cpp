// Deploying LicenseFile's files into an install's folders and the per-user copy.
#include "fileops/deploy.h"

#include "fileops/atomic_copy.h"
#include "fileops/deploy_targets.h"
#include "fileops/link_check.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"

#include <utility>
#include <vector>

namespace qm {

namespace {

constexpr wchar_t kSourceFolderName[] = L"LicenseFile";

constexpr HMODULE kProgramInstance = nullptr;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kFirstModuleBuffer = MAX_PATH;
// The largest path Win32 can name; a module path never exceeds it.
constexpr DWORD kLongestPath = 32768;

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Present means: can be opened for reading while others read and write it. Nothing is read.
bool IsPresent(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, kDefaultSecurity,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, kNoTemplate));
    return file.valid();
}

// A link below root, or the target itself being one, ends the step with the copy's message.
void CheckLinks(const std::wstring& root, const std::wstring& target, const wchar_t* failure) {
    const DWORD error = CheckNoLinkBelow(root, target);
    if (error != ERROR_SUCCESS) {
        ThrowUserError(failure, {error});
    }
}

// Never in place: a copy that fails part way (a full disk) leaves the old file as it was.
void CopyOver(const std::wstring& source, const std::wstring& target, const std::wstring& root,
              const wchar_t* failure, MissingTarget missing = MissingTarget::Create,
              const HeldSource* held = nullptr, StagedCopy* staged = nullptr) {
    const DWORD error = held ? CopyHeldAtomically(*held, target, root, missing,
                                                  staged ? std::move(*staged) : StagedCopy())
                             : CopyFileAtomically(source, target, root, missing);
    if (error == ERROR_FILE_NOT_FOUND && missing == MissingTarget::Refuse) {
        return;
    }
    if (error != ERROR_SUCCESS) {
        throw CopyFailure(FailureMessage(failure, target, error), error);
    }
}

// One level only: the parent must exist already.
void EnsureFolder(const std::wstring& folder) {
    if (Exists(folder)) {
        return;
    }
    if (!CreateDirectoryW(folder.c_str(), kDefaultSecurity)) {
        const DWORD error = GetLastError();
        ThrowUserError(kUserFolderCreationFailed, {folder, error});
    }
}

void CopyOverIfPresent(const std::wstring& source, const std::wstring& target,
                       const std::wstring& root) {
    if (IsPresent(target)) {
        CopyOver(source, target, root, kInstallCopyFailed);
    }
}

// The folder a deployment is handed lies below a folder an administrator chose (the suite's
// install location, the roaming profile); from there down nothing may be a link.
std::wstring LinkRoot(const std::wstring& folder) {
    return ParentFolder(folder);
}

} // namespace

std::wstring ProgramFolder() {
    // GetModuleFileNameW truncates silently when the buffer is short (returning its full size),
    // which would name an ancestor folder; grow until the whole path fits.
    std::vector<wchar_t> buffer(kFirstModuleBuffer);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(kProgramInstance, buffer.data(), size);
        if (length == 0) {
            return std::wstring();
        }
        if (length < size) {
            return ParentFolder(std::wstring(buffer.data(), length));
        }
        if (size >= kLongestPath) {
            return std::wstring();
        }
        buffer.resize(size * 2);
    }
}

std::wstring ReplacementSourcePath(const std::wstring& programFolder, const std::wstring& name) {
    return JoinPath(JoinPath(programFolder, kSourceFolderName), name);
}

std::wstring LicenseFolderPath() {
    return JoinPath(ProgramFolder(), kSourceFolderName);
}

void DeployFile(const std::wstring& source, const std::wstring& target,
                const std::wstring& linkRoot, const std::vector<std::wstring>& folders,
                const wchar_t* failure, MissingTarget missing, const HeldSource* held,
                StagedCopy* staged) {
    for (const std::wstring& folder : folders) {
        if (Exists(folder)) {
            continue;
        }
        // A link in wait where a folder is to be made would take the copy elsewhere.
        CheckLinks(linkRoot, folder, failure);
        EnsureFolder(folder);
    }
    CopyOver(source, target, linkRoot, failure, missing, held, staged);
}

void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                           const std::wstring& fileName) {
    const std::wstring source = ReplacementSourcePath(ProgramFolder(), fileName);
    const std::vector<DeployTarget> targets =
        ReplacementTargets(installFolder, userFolder, fileName);
    DeployFile(source, targets[0].path, LinkRoot(installFolder), {}, kInstallCopyFailed);
    if (targets.size() > 1) {
        DeployFile(source, targets[1].path, LinkRoot(userFolder),
                   {userFolder, ParentFolder(targets[1].path)}, kUserCopyFailed);
    }
}

void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                             const std::wstring& targetName) {
    const std::wstring source = ReplacementSourcePath(ProgramFolder(), sourceName);
    for (const DeployTarget& target : ReplacementTargetsAs(folder, sourceName, targetName)) {
        CopyOverIfPresent(source, target.path, LinkRoot(folder));
    }
}

bool IsRevisionNewer(const FileVersionNumbers& installed, const FileVersionNumbers& replacement) {
    return replacement.revision > installed.revision;
}

FileVersionNumbers ReplacementVersion(const std::wstring& fileName) {
    FileVersionNumbers replacement;
    // Unreadable versions stay at zero on purpose: a file without one is "oldest".
    GetFileVersionNumbers(ReplacementSourcePath(ProgramFolder(), fileName), replacement);
    return replacement;
}

bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName,
                        const FileVersionNumbers& replacement) {
    // Revisions are never below 0: a replacement of revision 0 (missing, or without a version)
    // is never newer, and the installed file's version, read once per install, is not needed.
    if (replacement.revision <= 0 || !IsPresent(JoinPath(folder, fileName))) {
        return false;
    }
    FileVersionNumbers installed;
    GetFileVersionNumbers(JoinPath(folder, fileName), installed);
    return IsRevisionNewer(installed, replacement);
}

} // namespace qm
