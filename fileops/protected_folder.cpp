// The program's own folders under %ProgramData%: created protected, checked before use.
#include "fileops/protected_folder.h"

#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace qm {

namespace {

constexpr wchar_t kOwnFolderName[] = L"Quillmend";
constexpr wchar_t kFolderCreationFailed[] = L"创建程序数据目录失败[%s], Errcode: %d";
constexpr wchar_t kFolderUntrusted[] =
    L"程序数据目录不可信[%s], 其所有者不是SYSTEM或Administrators, 或它是链接, 未做任何修改, "
    L"Errcode: %d";

// Newer SDKs name it; mingw-w64's headers do not.
constexpr DWORD kReparsePointEncountered = 4395; // ERROR_REPARSE_POINT_ENCOUNTERED

constexpr HWND kNoOwner = nullptr;
constexpr HANDLE kCurrentUser = nullptr;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kNoShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct LocalFreeTraits {
    using Handle = PSECURITY_DESCRIPTOR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { LocalFree(handle); }
};
using UniqueLocalDescriptor = UniqueHandle<LocalFreeTraits>;

// The user of this process's token, for the owner check; empty when it cannot be read.
std::vector<BYTE> ProcessUser() {
    UniqueToken token;
    std::vector<BYTE> user;
    DWORD needed = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed),
         GetLastError() != ERROR_INSUFFICIENT_BUFFER)) {
        return user;
    }
    user.resize(needed);
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), needed, &needed)) {
        user.clear();
    }
    return user;
}

// The folder itself, never what it links to.
UniqueFile OpenWithoutFollowing(const std::wstring& path) {
    return UniqueFile(CreateFileW(
        path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kNoShare, kDefaultSecurity,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
}

[[noreturn]] void Refuse(const std::wstring& folder, DWORD code) {
    ThrowUserError(kFolderUntrusted, {folder, code});
}

void CheckExistingFolder(const std::wstring& folder) {
    const UniqueFile handle = OpenWithoutFollowing(folder);
    if (!handle) {
        const DWORD error = GetLastError();
        Refuse(folder, error);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle.get(), &information)) {
        const DWORD error = GetLastError();
        Refuse(folder, error);
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                         &owner, nullptr, nullptr, nullptr, &descriptor);
    const UniqueLocalDescriptor heldDescriptor(descriptor);
    std::vector<BYTE> user = ProcessUser();
    const PSID self = user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const bool ownerTrusted = status == ERROR_SUCCESS && IsTrustedOwner(owner, self);

    // The handle's own attributes and the path's: Wine opens a Unix symbolic link's target even
    // when told not to follow it, but names the link a reparse point by its path.
    const bool reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                              IsReparsePoint(folder);
    switch (JudgeExistingFolder((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                reparsePoint, ownerTrusted)) {
    case FolderVerdict::Usable:
        return;
    case FolderVerdict::NotAFolder:
        Refuse(folder, ERROR_DIRECTORY);
    case FolderVerdict::ReparsePoint:
        Refuse(folder, kReparsePointEncountered);
    case FolderVerdict::ForeignOwner:
        Refuse(folder, status == ERROR_SUCCESS ? ERROR_INVALID_OWNER : status);
    }
}

} // namespace

std::wstring OwnDataFolder() {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    if (FAILED(SHGetFolderPathW(kNoOwner, CSIDL_COMMON_APPDATA, kCurrentUser, SHGFP_TYPE_CURRENT,
                                buffer.data())) ||
        buffer[0] == L'\0') {
        return std::wstring();
    }
    return JoinPath(buffer.data(), kOwnFolderName);
}

bool IsTrustedOwner(const void* ownerSid, const void* processUserSid) {
    const PSID owner = const_cast<void*>(ownerSid);
    const PSID self = const_cast<void*>(processUserSid);
    if (!owner || !IsValidSid(owner)) {
        return false;
    }
    return IsWellKnownSid(owner, WinLocalSystemSid) ||
           IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           (self && IsValidSid(self) && EqualSid(owner, self));
}

FolderVerdict JudgeExistingFolder(bool isDirectory, bool isReparsePoint, bool ownerTrusted) {
    // A junction is a directory too: the link is judged before what it claims to be.
    if (isReparsePoint) {
        return FolderVerdict::ReparsePoint;
    }
    if (!isDirectory) {
        return FolderVerdict::NotAFolder;
    }
    return ownerTrusted ? FolderVerdict::Usable : FolderVerdict::ForeignOwner;
}

void CheckExistingProtectedFolder(const std::wstring& folder) {
    CheckExistingFolder(folder);
}

bool CreateProtectedFolder(const std::wstring& folder, unsigned long& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        error = GetLastError();
        return false;
    }
    const UniqueLocalDescriptor heldDescriptor(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes)) {
        return true;
    }
    error = GetLastError();
    return false;
}

void EnsureProtectedFolder(const std::wstring& folder) {
    unsigned long error = ERROR_SUCCESS;
    if (CreateProtectedFolder(folder, error)) {
        return;
    }
    if (error != ERROR_ALREADY_EXISTS) {
        ThrowUserError(kFolderCreationFailed, {folder, error});
    }
    CheckExistingFolder(folder);
}

bool IsReparsePoint(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace qm
