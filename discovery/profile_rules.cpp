// The profile rules over wide text.
#include "discovery/profile_rules.h"

#include "platform/paths.h"

#include <algorithm>

namespace qm {

namespace {

constexpr wchar_t kUserProfileVariable[] = L"%USERPROFILE%";

bool IsDigit(wchar_t ch) {
    return ch >= L'0' && ch <= L'9';
}

wchar_t Upper(wchar_t ch) {
    return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
}

bool SameLetters(const std::wstring& text, size_t at, const std::wstring& word) {
    if (text.size() < at + word.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (Upper(text[at + i]) != Upper(word[i])) {
            return false;
        }
    }
    return true;
}

// "-" and digits, one or more of each group after the prefix; nothing else.
bool IsSidTail(const std::wstring& text, size_t at) {
    if (at >= text.size()) {
        return false;
    }
    bool digitSeen = false;
    for (size_t i = at; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            digitSeen = true;
        } else if (text[i] == L'-' && digitSeen) {
            digitSeen = false;
        } else {
            return false;
        }
    }
    return digitSeen;
}

} // namespace

bool IsUserProfileKey(const std::wstring& keyName) {
    for (const wchar_t* prefix : {L"S-1-5-21-", L"S-1-12-1-"}) {
        const std::wstring head = prefix;
        if (keyName.compare(0, head.size(), head) == 0) {
            return IsSidTail(keyName, head.size());
        }
    }
    return false;
}

bool IsServedProfileState(uint32_t state) {
    return (state & (kProfileMandatory | kProfileTemporary | kProfileBackup)) == 0;
}

std::wstring ExpandUserAppData(const std::wstring& value, const std::wstring& profileFolder) {
    std::wstring expanded;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != L'%') {
            expanded.push_back(value[i]);
            continue;
        }
        if (!SameLetters(value, i, kUserProfileVariable)) {
            return std::wstring();
        }
        expanded += profileFolder;
        i += std::wstring(kUserProfileVariable).size() - 1;
    }
    return expanded;
}

std::wstring DefaultAppData(const std::wstring& profileFolder) {
    return JoinPath(JoinPath(profileFolder, L"AppData"), L"Roaming");
}

bool IsNetworkPath(const std::wstring& path) {
    if (path.size() < 2 || path[0] != L'\\' || path[1] != L'\\') {
        return false;
    }
    const bool devicePrefix =
        path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
    // \\?\UNC\server\share is a share too.
    return !devicePrefix || SameLetters(path, 4, L"UNC\\");
}

bool IsWithinFolder(const std::wstring& path, const std::wstring& folder) {
    const std::wstring base = TrimTrailingBackslash(folder);
    if (base.empty() || !SameLetters(path, 0, base)) {
        return false;
    }
    return path.size() == base.size() || path[base.size()] == L'\\';
}

bool IsAppDataInProfile(const std::wstring& appData, const std::wstring& profileFolder) {
    if (!IsWithinFolder(appData, profileFolder) || appData.find(L'/') != std::wstring::npos) {
        return false;
    }
    const std::wstring below = appData.substr(TrimTrailingBackslash(profileFolder).size());
    for (size_t start = 0; start < below.size();) {
        const size_t end = std::min(below.find(L'\\', start), below.size());
        const std::wstring part = below.substr(start, end - start);
        if (part == L"." || part == L"..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace qm
