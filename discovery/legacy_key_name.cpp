// Which Uninstall sub-key belongs to the "penloom 9.0" generation.
#include "discovery/legacy_key_name.h"

namespace qm {

namespace {

std::wstring LowerAsciiLetters(std::wstring text) {
    for (wchar_t& ch : text) {
        if (ch >= L'A' && ch <= L'Z') {
            ch = static_cast<wchar_t>(ch - L'A' + L'a');
        }
    }
    return text;
}

bool Contains(const std::wstring& text, const wchar_t* part) {
    return text.find(part) != std::wstring::npos;
}

} // namespace

bool IsLegacyKeyName(const std::wstring& subKeyName) {
    const std::wstring lowered = LowerAsciiLetters(subKeyName);
    return (Contains(lowered, L"penloom") && Contains(lowered, L"v9")) || lowered == L"penloom 9.0";
}

} // namespace qm
