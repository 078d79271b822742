// The error the user sees: a message formatted once, with its code.
#include "platform/user_error.h"

#include "platform/codepage.h"

namespace qm {

std::wstring FormatUserMessage(const std::wstring& pattern,
                               std::initializer_list<MessageArg> args) {
    std::wstring out;
    auto arg = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t ch = pattern[i];
        if (ch == L'%' && i + 1 < pattern.size()) {
            const wchar_t directive = pattern[i + 1];
            if (directive == L'%') {
                out += L'%';
                ++i;
                continue;
            }
            if ((directive == L's' || directive == L'd') && arg != args.end()) {
                out += arg->text();
                ++arg;
                ++i;
                continue;
            }
        }
        out += ch;
    }
    return out;
}

UserError::UserError(const std::wstring& text) : std::runtime_error(ToNarrow(text)), text_(text) {}

std::wstring MessageOf(const std::exception& error) {
    const auto* user = dynamic_cast<const UserError*>(&error);
    return user ? user->text() : ToWide(error.what());
}

void ThrowUserError(const std::wstring& pattern, std::initializer_list<MessageArg> args) {
    throw UserError(FormatUserMessage(pattern, args));
}

std::wstring FailureMessage(const wchar_t* pattern, const std::wstring& path, unsigned long code) {
    if (std::wstring(pattern).find(L"%s") != std::wstring::npos) {
        return FormatUserMessage(pattern, {path, code});
    }
    return FormatUserMessage(pattern, {code});
}

} // namespace qm
