// The program's own folders under %ProgramData%: created protected, checked before use.
#include "fileops/protected_folder.h"

#include "fileops/link_check.h"

#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

namespace qm {

namespace {

constexpr wchar_t kOwnFolderName[] = L"Quillmend";
constexpr wchar_t kFolderCreationFailed[] = L"创建程序数据目录失败[%s], Errcode: %d";
constexpr wchar_t kFolderUntrusted[] =
    L"程序数据目录不可信[%s], 其所有者不是SYSTEM或Administrators, 或它是链接, 未做任何修改, "
    L"Errcode: %d";

constexpr HWND kNoOwner = nullptr;
constexpr HANDLE kCurrentUser = nullptr;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr wchar_t kTrustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// What lets someone else put files in, take them away, or make the folder theirs.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                      FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct LocalFreeTraits {
    using Handle = PSECURITY_DESCRIPTOR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { LocalFree(handle); }
};
using UniqueLocalDescriptor = UniqueHandle<LocalFreeTraits>;

// A part of this process's token (TokenUser, TokenOwner); empty when it cannot be read.
std::vector<BYTE> TokenPart(TOKEN_INFORMATION_CLASS part) {
    UniqueToken token;
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        (GetTokenInformation(token.get(), part, nullptr, 0, &needed),
         GetLastError() != ERROR_INSUFFICIENT_BUFFER)) {
        return buffer;
    }
    buffer.resize(needed);
    if (!GetTokenInformation(token.get(), part, buffer.data(), needed, &needed)) {
        buffer.clear();
    }
    return buffer;
}

// The folder itself, never what it links to, without delete sharing (see the header).
UniqueFile OpenHeld(const std::wstring& path) {
    return UniqueFile(CreateFileW(
        path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareNoDelete, kDefaultSecurity,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
}

[[noreturn]] void Refuse(const std::wstring& folder, DWORD code) {
    ThrowUserError(kFolderUntrusted, {folder, code});
}

// TrustedInstaller's SID, made once: every ACE of every judged file asks about it.
PSID TrustedInstallerSid() {
    static const std::vector<BYTE> sid = [] {
        std::vector<BYTE> bytes;
        PSID made = nullptr;
        if (ConvertStringSidToSidW(kTrustedInstaller, &made)) {
            const auto* first = static_cast<const BYTE*>(made);
            bytes.assign(first, first + GetLengthSid(made));
            LocalFree(made);
        }
        return bytes;
    }();
    return sid.empty() ? nullptr : PSID(const_cast<BYTE*>(sid.data()));
}

// This process's token user and the owner it gives new objects, read once: neither changes
// while the run lasts, and each file judged would otherwise read the token twice.
struct TokenSids {
    std::vector<BYTE> user = TokenPart(TokenUser);
    std::vector<BYTE> owner = TokenPart(TokenOwner);
    PSID self() const {
        return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    }
    PSID newOwner() const {
        return owner.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner;
    }
};

const TokenSids& ProcessTokenSids() {
    static const TokenSids sids;
    return sids;
}

bool Valid(PSID sid) {
    return sid && IsValidSid(sid);
}

// What the owner and DACL of an open file or folder say, for this process's token.
struct SecurityJudgement {
    DWORD readError = ERROR_SUCCESS; // of reading them: nothing is trusted then
    bool ownerTrusted = false;
    bool othersMayChange = true;
};

SecurityJudgement JudgeSecurity(HANDLE handle) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SecurityJudgement judgement;
    judgement.readError = GetSecurityInfo(handle, SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                          &owner, nullptr, &dacl, nullptr, &descriptor);
    const UniqueLocalDescriptor heldDescriptor(descriptor);
    if (judgement.readError != ERROR_SUCCESS) {
        return judgement;
    }
    const PSID self = ProcessTokenSids().self();
    const PSID newOwner = ProcessTokenSids().newOwner();
    judgement.ownerTrusted = IsTrustedOwner(owner, newOwner, self);
    judgement.othersMayChange = GrantsChangeToOthers(dacl, newOwner, self);
    return judgement;
}

// Why an existing folder must not be used, as a verdict; or Usable with the folder held.
struct Judged {
    FolderVerdict verdict = FolderVerdict::Usable;
    DWORD code = ERROR_SUCCESS; // the refusal's code
    bool movable = false;       // judged for what it is: it may be moved aside
    bool linkItself = false;    // a link, and the handle holds the link, not what it points to
    UniqueFile handle;
};

// What could not be looked at is refused, not moved aside: it may be ours after all.
Judged Unreadable(DWORD code) {
    return {FolderVerdict::ForeignOwner, code, false, false, UniqueFile()};
}

Judged JudgeFolder(const std::wstring& folder) {
    Judged judged;
    judged.handle = OpenHeld(folder);
    if (!judged.handle) {
        return Unreadable(GetLastError());
    }
    const UniqueFile& handle = judged.handle;
    // Only the attributes: the full information asks the volume too, which costs more.
    FILE_BASIC_INFO information{};
    if (!GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &information,
                                      sizeof information)) {
        return Unreadable(GetLastError());
    }
    // A link is judged by its tag and, where the link's target was opened all the same (Wine
    // opens a Unix link's target whatever it is asked), by the handle's final path.
    const DWORD link = CheckOpenedIsPath(handle.get(), folder);
    if (link != ERROR_SUCCESS && link != kReparsePointEncountered) {
        return Unreadable(link);
    }
    const SecurityJudgement security = JudgeSecurity(handle.get());
    const bool read = security.readError == ERROR_SUCCESS;
    judged.verdict = JudgeExistingFolder(
        (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
        link == kReparsePointEncountered, security.ownerTrusted, security.othersMayChange);
    switch (judged.verdict) {
    case FolderVerdict::Usable:
        return judged;
    case FolderVerdict::NotAFolder:
        judged.code = ERROR_DIRECTORY;
        break;
    case FolderVerdict::ReparsePoint:
        judged.code = kReparsePointEncountered;
        break;
    case FolderVerdict::ForeignOwner:
        judged.code = read ? ERROR_INVALID_OWNER : security.readError;
        break;
    case FolderVerdict::ForeignWriter:
        judged.code = ERROR_INVALID_SECURITY_DESCR;
        break;
    }
    judged.handle.reset();
    // A file is never ours; a folder whose security could not be read may be. A link is moved
    // only through a handle that holds the link itself (renamed by its name, the system may
    // move what it points to instead); where it cannot be had so (Wine opens a Unix link's
    // target), the link stays refused.
    judged.linkItself = judged.verdict == FolderVerdict::ReparsePoint &&
                        (information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    judged.movable = (read && judged.verdict != FolderVerdict::ReparsePoint) ||
                     judged.verdict == FolderVerdict::NotAFolder || judged.linkItself;
    return judged;
}

UniqueFile CheckExistingFolder(const std::wstring& folder) {
    Judged judged = JudgeFolder(folder);
    if (judged.verdict != FolderVerdict::Usable) {
        Refuse(folder, judged.code);
    }
    return std::move(judged.handle);
}

// Renames the link at path itself, by a handle that holds it, never what it points to.
bool MoveLinkAside(const std::wstring& path, const std::wstring& aside) {
    const UniqueFile link(CreateFileW(
        path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareNoDelete, kDefaultSecurity,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!link ||
        !GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    const size_t nameBytes = aside.size() * sizeof(wchar_t);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, aside.data(), nameBytes);
    return SetFileInformationByHandle(link.get(), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())) != FALSE;
}

// A name beside folder for what stood there, with the time it was moved: unique per second.
std::wstring AsideName(const std::wstring& folder) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    wchar_t stamp[32] = {};
    swprintf(stamp, 32, L".untrusted-%04u%02u%02uT%02u%02u%02uZ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    return folder + stamp;
}

} // namespace

std::wstring OwnDataFolder() {
    // Asked of the shell once a run: the log, the record and the backups each need it, and
    // where ProgramData lies does not change while the run lasts.
    static std::wstring known;
    if (!known.empty()) {
        return known;
    }
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    if (FAILED(SHGetFolderPathW(kNoOwner, CSIDL_COMMON_APPDATA, kCurrentUser, SHGFP_TYPE_CURRENT,
                                buffer.data())) ||
        buffer[0] == L'\0') {
        return std::wstring();
    }
    known = JoinPath(buffer.data(), kOwnFolderName);
    return known;
}

bool OthersMayChange(HANDLE handle) {
    return JudgeSecurity(handle).othersMayChange;
}

bool IsTrustedOwner(const void* ownerSid, const void* tokenOwnerSid, const void* tokenUserSid) {
    const PSID owner = const_cast<void*>(ownerSid);
    const PSID newOwner = const_cast<void*>(tokenOwnerSid);
    const PSID self = const_cast<void*>(tokenUserSid);
    if (!Valid(owner)) {
        return false;
    }
    if (IsWellKnownSid(owner, WinLocalSystemSid) ||
        IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
        (Valid(TrustedInstallerSid()) && EqualSid(owner, TrustedInstallerSid()))) {
        return true;
    }
    if (Valid(newOwner) && EqualSid(owner, newOwner)) {
        return true;
    }
    // Where new objects go to Administrators, the account's own SID owns only what it made
    // unelevated. Elsewhere the account owns what it makes (Wine's token names a group as its
    // owner, yet gives every file the account).
    const bool elevatedOwner =
        Valid(newOwner) && IsWellKnownSid(newOwner, WinBuiltinAdministratorsSid);
    return !elevatedOwner && Valid(self) && EqualSid(owner, self);
}

bool GrantsChangeToOthers(const void* dacl, const void* tokenOwnerSid, const void* tokenUserSid) {
    const PACL list = static_cast<PACL>(const_cast<void*>(dacl));
    if (!list) {
        return true;
    }
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) {
            return true;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        const bool plainAllow = header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
                                header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        const bool otherAllow = header->AceType == ACCESS_ALLOWED_COMPOUND_ACE_TYPE ||
                                header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
                                header->AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
        if (!plainAllow && !otherAllow) {
            continue; // denials, audits and labels give nobody anything
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (!(allowed->Mask & kChangeRights)) {
            continue;
        }
        // Entries inherited only by what is made inside count too: the log and the sets are.
        const PSID grantee = plainAllow ? PSID(const_cast<DWORD*>(&allowed->SidStart)) : nullptr;
        if (!grantee || !IsTrustedOwner(grantee, tokenOwnerSid, tokenUserSid)) {
            return true;
        }
    }
    return false;
}

FolderVerdict JudgeExistingFolder(bool isDirectory, bool isReparsePoint, bool ownerTrusted,
                                  bool othersMayChange) {
    // A junction is a directory too: the link is judged before what it claims to be.
    if (isReparsePoint) {
        return FolderVerdict::ReparsePoint;
    }
    if (!isDirectory) {
        return FolderVerdict::NotAFolder;
    }
    if (!ownerTrusted) {
        return FolderVerdict::ForeignOwner;
    }
    return othersMayChange ? FolderVerdict::ForeignWriter : FolderVerdict::Usable;
}

UniqueFile CheckExistingProtectedFolder(const std::wstring& folder) {
    return CheckExistingFolder(folder);
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

UniqueFile EnsureProtectedFolder(const std::wstring& folder, std::wstring* movedAside) {
    unsigned long error = ERROR_SUCCESS;
    if (!CreateProtectedFolder(folder, error) && error != ERROR_ALREADY_EXISTS) {
        ThrowUserError(kFolderCreationFailed, {folder, error});
    }
    // Made just now or found: checked and held the same way, so nothing can take its place
    // between the creation and the hold.
    Judged judged = JudgeFolder(folder);
    if (judged.verdict == FolderVerdict::Usable) {
        return std::move(judged.handle);
    }
    if (error != ERROR_ALREADY_EXISTS || !judged.movable) {
        Refuse(folder, judged.code);
    }
    // Any user may make the name first: what stands there is not obeyed, nor may it stop every
    // run for good. It is renamed aside, and a protected folder made anew.
    const std::wstring aside = AsideName(folder);
    const bool moved = judged.linkItself ? MoveLinkAside(folder, aside)
                                         : MoveFileExW(folder.c_str(), aside.c_str(), 0) != FALSE;
    if (!moved) {
        Refuse(folder, judged.code);
    }
    if (movedAside) {
        *movedAside = aside;
    }
    if (!CreateProtectedFolder(folder, error)) {
        ThrowUserError(kFolderCreationFailed, {folder, error});
    }
    return CheckExistingFolder(folder);
}

bool IsReparsePoint(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace qm
