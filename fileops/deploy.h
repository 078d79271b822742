#pragma once
// Copies replacement files from the LicenseFile folder beside the program into the suite's
// folders. Failures throw UserError with the message the user sees.
#include "fileops/deploy_targets.h"
#include "fileops/file_version.h"
#include "platform/user_error.h"

#include <string>
#include <vector>

namespace qm {

struct HeldSource; // fileops/atomic_copy.h
struct StagedCopy; // fileops/atomic_copy.h

// The deployments' failures, also given by the checks made before anything is stopped.
inline constexpr wchar_t kInstallCopyFailed[] = L"授权文件替换到安装目录失败，Errcode: %d";
inline constexpr wchar_t kUserFolderCreationFailed[] = L"创建用户目录失败[%s], Errcode: %d";
inline constexpr wchar_t kUserCopyFailed[] = L"授权文件替换到用户目录失败，Errcode: %d";

// A copy that failed: its message for the user, and the Windows error code that made it fail.
class CopyFailure : public UserError {
public:
    CopyFailure(const std::wstring& message, unsigned long code)
        : UserError(message), code_(code) {}
    unsigned long code() const { return code_; }

private:
    unsigned long code_;
};

// The folder of the running program's executable, read whole whatever its length; empty when
// the path holds no backslash.
std::wstring ProgramFolder();

// programFolder\LicenseFile\name: where every replacement file comes from.
std::wstring ReplacementSourcePath(const std::wstring& programFolder, const std::wstring& name);

// The running program's LicenseFile folder.
std::wstring LicenseFolderPath();

// One copy of a deployment: the folders (parents first, one level each) are made where missing,
// each once no link is found between linkRoot and it, then source's bytes take target's place
// in one step (CopyFileAtomically; from held, when given, source's bytes read once already, and
// staged, when it holds one, the copy written ahead from them).
// Throws UserError: kUserFolderCreationFailed naming a folder that cannot be made, else failure
// with the code. With MissingTarget::Refuse, a target that is not there is left so, and that is
// no failure.
void DeployFile(const std::wstring& source, const std::wstring& target,
                const std::wstring& linkRoot, const std::vector<std::wstring>& folders,
                const wchar_t* failure, MissingTarget missing = MissingTarget::Create,
                const HeldSource* held = nullptr, StagedCopy* staged = nullptr);

// Copies LicenseFile\fileName over installFolder\fileName, then, when userFolder is not empty,
// into userFolder\MWClientServer\fileName, creating the two folders (one level each) first.
void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                           const std::wstring& fileName);

// Copies LicenseFile\sourceName over folder\targetName and over parent(folder)\targetName,
// each only when a file of that name is already present there.
void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                             const std::wstring& targetName);

// LicenseFile\fileName's version, read once for every install; zeros where there is none (a
// replacement of revision 0 is never newer).
FileVersionNumbers ReplacementVersion(const std::wstring& fileName);

// True when replacement, LicenseFile's fileName, has a higher revision than folder\fileName
// (which must be present).
bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName,
                        const FileVersionNumbers& replacement);

// Only the revision decides (signed, strict); the other three parts play no part.
bool IsRevisionNewer(const FileVersionNumbers& installed, const FileVersionNumbers& replacement);

} // namespace qm
