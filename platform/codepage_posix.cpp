// The code-page layer for the native build, without Windows.
#include "platform/codepage.h"

namespace qm {

namespace {
constexpr char kDefaultChar = '?';
} // namespace

bool WideToNarrow(const std::wstring& wide, std::string& narrow) {
    narrow.clear();
    for (const wchar_t ch : wide) {
        if (ch == L'\0') {
            break;
        }
        const auto value = static_cast<unsigned long>(ch);
        narrow.push_back(value <= 0xFF ? static_cast<char>(static_cast<unsigned char>(value))
                                       : kDefaultChar);
    }
    return true;
}

bool NarrowToWide(const std::string& narrow, std::wstring& wide) {
    wide.clear();
    for (const char ch : narrow) {
        if (ch == '\0') {
            break;
        }
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(ch)));
    }
    return true;
}

} // namespace qm
