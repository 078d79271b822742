#pragma once
// The key by which the journal tells files apart: Windows compares names without regard to
// case.
#include <windows.h>

#include <string>

namespace qm {

inline std::wstring PathKey(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty()) {
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    }
    return key;
}

} // namespace qm
