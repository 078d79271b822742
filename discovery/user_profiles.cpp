// Reading ProfileList and the logged-on users' own AppData folders.
#include "discovery/user_profiles.h"

#include "discovery/profile_rules.h"
#include "fileops/link_check.h"
#include "platform/win_handles.h"

#include <sddl.h>

#include <cwctype>
#include <map>
#include <vector>

namespace qm {

namespace {

constexpr wchar_t kProfileListKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kShellFoldersKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kUnresolved[] = L"unresolved";
constexpr DWORD kNoOptions = 0;
constexpr LPDWORD kReserved = nullptr;
constexpr DWORD kNameCapacity = 256;
constexpr DWORD kLongestPath = 32768;
constexpr HANDLE kNoTemplate = nullptr;

UniqueRegKey OpenKey(HKEY parent, const std::wstring& path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), kNoOptions, KEY_READ | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return UniqueRegKey(opened);
}

// A text value as stored, without expanding it; false when it is missing or not text.
bool ReadText(HKEY key, const wchar_t* name, std::wstring& text, DWORD& type) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, kReserved, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > kLongestPath * sizeof(wchar_t)) {
        return false;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, kReserved, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    text.assign(buffer.data());
    return true;
}

DWORD ReadState(HKEY key) {
    DWORD state = 0;
    DWORD size = sizeof state;
    DWORD type = 0;
    if (RegQueryValueExW(key, L"State", kReserved, &type, reinterpret_cast<BYTE*>(&state), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0;
    }
    return state;
}

// The machine's own expansion: ProfileImagePath names machine variables (%SystemDrive%).
std::wstring Expanded(const std::wstring& text) {
    std::vector<wchar_t> buffer(kLongestPath, L'\0');
    const DWORD length = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), kLongestPath);
    return length == 0 || length > kLongestPath ? std::wstring() : std::wstring(buffer.data());
}

std::wstring AccountOf(const std::wstring& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) {
        return kUnresolved;
    }
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    const bool found =
        LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) != FALSE;
    LocalFree(sid);
    return found ? std::wstring(domain) + L"\\" + name : kUnresolved;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What one listing has learnt: the final paths served so far (final path -> SID) and each
// drive's type, which the system looks up anew at every ask (twice a profile, most of a
// profile's cost under Wine) and which does not change while the list is read.
struct Listing {
    std::map<std::wstring, std::wstring> finalPaths;
    std::map<wchar_t, bool> remoteDrives;
};

// A drive letter the system maps to a share is no more local than a UNC path.
bool IsRemote(const std::wstring& path, Listing& listing) {
    if (IsNetworkPath(path)) {
        return true;
    }
    if (path.size() >= 2 && path[1] == L':') {
        const wchar_t letter = static_cast<wchar_t>(std::towupper(path[0]));
        const auto known = listing.remoteDrives.find(letter);
        if (known != listing.remoteDrives.end()) {
            return known->second;
        }
        const std::wstring root = path.substr(0, 2) + L"\\";
        const bool remote = GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
        listing.remoteDrives.emplace(letter, remote);
        return remote;
    }
    return false;
}

// Where the user's roaming AppData is, and from where that is known.
void ReadAppData(UserProfile& profile) {
    const UniqueRegKey folders = OpenKey(HKEY_USERS, profile.sid + kShellFoldersKey);
    std::wstring value;
    DWORD type = 0;
    if (folders && ReadText(folders.get(), L"AppData", value, type)) {
        profile.source = AppDataSource::Hive;
        profile.appData = ExpandUserAppData(value, profile.folder);
        if (profile.appData.empty()) {
            profile.notServed = L"its AppData (" + value +
                                L") names a variable only the user's "
                                L"own session knows";
        }
        return;
    }
    profile.source = AppDataSource::Default;
    profile.appData = DefaultAppData(profile.folder);
}

// The verdict on one ProfileList entry; its AppData when it is served.
void Judge(HKEY list, UserProfile& profile, Listing& listing) {
    if (!IsUserProfileKey(profile.sid)) {
        profile.notServed = L"not a user's profile";
        return;
    }
    const UniqueRegKey key = OpenKey(list, profile.sid);
    std::wstring path;
    DWORD type = 0;
    if (!key || !ReadText(key.get(), L"ProfileImagePath", path, type)) {
        profile.notServed = L"no ProfileImagePath";
        return;
    }
    profile.account = AccountOf(profile.sid);
    profile.folder = type == REG_EXPAND_SZ ? Expanded(path) : path;
    if (!IsServedProfileState(ReadState(key.get()))) {
        profile.notServed = L"a temporary, backup or mandatory profile";
        return;
    }
    if (profile.folder.empty() || IsRemote(profile.folder, listing)) {
        profile.notServed = L"not a local folder";
        return;
    }
    if (!IsFolder(profile.folder) ||
        GetFileAttributesW((profile.folder + L"\\NTUSER.DAT").c_str()) == INVALID_FILE_ATTRIBUTES) {
        profile.notServed = L"no profile folder with NTUSER.DAT";
        return;
    }
    bool link = false;
    const std::wstring finalPath = FinalPathOf(profile.folder, link);
    const auto seen = listing.finalPaths.find(finalPath);
    if (finalPath.empty() || seen != listing.finalPaths.end()) {
        profile.notServed =
            finalPath.empty() ? L"its folder cannot be opened" : L"the folder of " + seen->second;
        return;
    }
    listing.finalPaths.emplace(finalPath, profile.sid);
    if (!link) {
        profile.folderFinal = finalPath;
    }
    ReadAppData(profile);
    if (profile.notServed.empty() && IsRemote(profile.appData, listing)) {
        // SYSTEM reaches a share as the computer account, not as the user.
        profile.notServed = L"its AppData is on a network share";
    }
}

} // namespace

std::wstring FinalPathOf(const std::wstring& path) {
    bool link = false;
    return FinalPathOf(path, link);
}

std::wstring FinalPathOf(const std::wstring& path, bool& link) {
    link = false;
    const UniqueFile file(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    if (!file) {
        return std::wstring();
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        return std::wstring();
    }
    link = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(tag.ReparseTag);
    std::vector<wchar_t> buffer(kLongestPath, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(file.get(), buffer.data(), kLongestPath, FILE_NAME_NORMALIZED);
    return length == 0 || length >= kLongestPath ? std::wstring()
                                                 : std::wstring(buffer.data(), length);
}

std::vector<UserProfile> ListUserProfiles() {
    std::vector<UserProfile> profiles;
    const UniqueRegKey list = OpenKey(HKEY_LOCAL_MACHINE, kProfileListKey);
    if (!list) {
        return profiles;
    }
    Listing listing;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameCapacity] = {};
        DWORD length = kNameCapacity;
        const LONG status =
            RegEnumKeyExW(list.get(), index, name, &length, kReserved, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            continue;
        }
        UserProfile profile;
        profile.sid = name;
        Judge(list.get(), profile, listing);
        profiles.push_back(profile);
    }
    return profiles;
}

} // namespace qm
