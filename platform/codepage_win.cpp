// The code-page layer over the thread's ANSI code page.
#include "platform/codepage.h"

#include <windows.h>

namespace qm {

namespace {
constexpr DWORD kNoFlags = 0;
} // namespace

bool WideToNarrow(const std::wstring& wide, std::string& narrow) {
    narrow.clear();
    const std::wstring text(wide.c_str()); // up to the first zero character
    if (text.empty()) {
        return true;
    }
    // Ask for the size first: a UTF-8 ANSI code page needs up to 3 bytes per character.
    const int needed =
        WideCharToMultiByte(CP_THREAD_ACP, kNoFlags, text.data(), static_cast<int>(text.size()),
                            nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return false;
    }
    narrow.resize(static_cast<size_t>(needed));
    const int written =
        WideCharToMultiByte(CP_THREAD_ACP, kNoFlags, text.data(), static_cast<int>(text.size()),
                            &narrow[0], needed, nullptr, nullptr);
    if (written <= 0) {
        narrow.clear();
        return false;
    }
    narrow.resize(static_cast<size_t>(written));
    return true;
}

bool NarrowToWide(const std::string& narrow, std::wstring& wide) {
    wide.clear();
    const std::string text(narrow.c_str()); // up to the first zero byte
    if (text.empty()) {
        return true;
    }
    const int needed = MultiByteToWideChar(CP_THREAD_ACP, kNoFlags, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (needed <= 0) {
        return false;
    }
    wide.resize(static_cast<size_t>(needed));
    const int written = MultiByteToWideChar(CP_THREAD_ACP, kNoFlags, text.data(),
                                            static_cast<int>(text.size()), &wide[0], needed);
    if (written <= 0) {
        wide.clear();
        return false;
    }
    wide.resize(static_cast<size_t>(written));
    return true;
}

} // namespace qm
