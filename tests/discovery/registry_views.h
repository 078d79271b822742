#pragma once
// Scratch keys under HKEY_LOCAL_MACHINE, written into the registry view their path names, the
// way installers of either bitness write them: a path below "SOFTWARE\WOW6432Node" is the
// 32-bit view, any other path the 64-bit view. Opening the plain path with the view's flag
// puts the key where 64-bit Windows keeps it whatever the bitness of the test itself; without
// the flag a 32-bit test (WoW64) would be redirected into WOW6432Node for both.
#include <windows.h>

#include <string>

#include "platform/win_handles.h"

namespace qm::test {

struct ViewedPath {
    std::wstring path; // without the WOW6432Node node
    REGSAM view;       // KEY_WOW64_32KEY or KEY_WOW64_64KEY
};

inline ViewedPath InNamedView(const std::wstring& path) {
    static const std::wstring node = L"SOFTWARE\\WOW6432Node";
    if (path.size() >= node.size() && _wcsnicmp(path.c_str(), node.c_str(), node.size()) == 0 &&
        (path.size() == node.size() || path[node.size()] == L'\\')) {
        return {L"SOFTWARE" + path.substr(node.size()), KEY_WOW64_32KEY};
    }
    return {path, KEY_WOW64_64KEY};
}

inline LSTATUS CreateKeyInView(const std::wstring& path, UniqueRegKey& key) {
    const ViewedPath viewed = InNamedView(path);
    constexpr DWORD kReserved = 0;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, viewed.path.c_str(), kReserved, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | viewed.view, nullptr,
                           key.put(), nullptr);
}

// "App Path" as installers store it: a string with its terminator.
inline LSTATUS WriteAppPath(HKEY key, const std::wstring& appPath) {
    return RegSetValueExW(key, L"App Path", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(appPath.c_str()),
                          static_cast<DWORD>((appPath.size() + 1) * sizeof(wchar_t)));
}

// Removes the key with everything below it; a missing key is fine.
inline void DeleteTreeInView(const std::wstring& path) {
    const ViewedPath viewed = InNamedView(path);
    {
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, viewed.path.c_str(), 0, KEY_ALL_ACCESS | viewed.view,
                          key.put()) != ERROR_SUCCESS) {
            return;
        }
        RegDeleteTreeW(key.get(), nullptr);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, viewed.path.c_str(), viewed.view, 0);
}

} // namespace qm::test
