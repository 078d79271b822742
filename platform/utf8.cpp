// UTF-8 to and from wide text.
#include "platform/utf8.h"

#include <cstdint>

namespace qm {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void AppendCodePoint(uint32_t point, std::string& out) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

bool IsHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string ToUtf8(const std::wstring& wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const uint32_t unit = static_cast<uint32_t>(wide[i]);
        if (sizeof(wchar_t) > 2 && unit > 0xFFFF) {
            // A native build's wide text holds whole code points.
            AppendCodePoint(unit <= 0x10FFFF ? unit : kReplacement, out);
        } else if (IsHighSurrogate(unit) && i + 1 < wide.size() &&
                   IsLowSurrogate(static_cast<uint32_t>(wide[i + 1]))) {
            const uint32_t low = static_cast<uint32_t>(wide[++i]);
            AppendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendCodePoint(kReplacement, out);
        } else {
            AppendCodePoint(unit, out);
        }
    }
    return out;
}

} // namespace qm
