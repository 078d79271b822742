#pragma once
// Unix symbolic links for end-to-end cases, as a user's link would stand where the program
// writes: Wine shows one to a folder as a reparse point, and CreateSymbolicLinkW makes none there.
#include <windows.h>

#include <string>

#include "platform/win_handles.h"

namespace qm::e2e {

// Whether something is at path now. Links are made where nothing is and point at what exists;
// Wine marks a link to a folder as a reparse point but shows a link to a file as that file.
inline bool IsLinkNow(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a Unix program (Wine starts one like any other) and waits until present(), for ten
// seconds at most: Wine's handle to a Unix program neither signals its end nor gives its code.
template <typename Present>
inline bool RunUnixUntil(const std::wstring& program, const std::wstring& arguments,
                         Present present) {
    std::wstring command = program + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    const qm::UniqueProcess held(process.hProcess);
    const qm::UniqueProcess thread(process.hThread);
    for (int waited = 0; waited < 100; ++waited) {
        if (present()) {
            return true;
        }
        Sleep(100);
    }
    return present();
}

inline std::wstring UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    std::wstring wide = L"\"";
    for (const char* c = unix; c && *c; ++c) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    }
    HeapFree(GetProcessHeap(), 0, unix);
    return wide + L"\"";
}

// A Unix symbolic link at path to target for one case, always removed.
class UnixLink {
public:
    UnixLink(const std::wstring& target, const std::wstring& path)
        : path_(path), unixPath_(UnixPath(path)),
          made_(RunUnixUntil(L"Z:\\bin\\ln", L"-s " + UnixPath(target) + L" " + unixPath_,
                             [&] { return IsLinkNow(path); })) {}
    ~UnixLink() {
        RunUnixUntil(L"Z:\\bin\\rm", L"-f " + unixPath_, [this] { return !IsLinkNow(path_); });
    }
    UnixLink(const UnixLink&) = delete;
    UnixLink& operator=(const UnixLink&) = delete;
    bool made() const { return made_; }

private:
    std::wstring path_;
    std::wstring unixPath_;
    bool made_;
};

} // namespace qm::e2e
