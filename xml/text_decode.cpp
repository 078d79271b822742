// Character and entity references in attribute values and character data.
#include "xml/text_decode.h"

#include <cstdlib>
#include <cstring>

namespace qm {

namespace {

struct NamedEntity {
    const char* name; // including the ';'
    int32_t length;
    char value;
};

// Tried in this order.
constexpr NamedEntity kNamedEntities[] = {
    {"lt;", 3, '<'}, {"amp;", 4, '&'}, {"gt;", 3, '>'}, {"apos;", 5, '\''}, {"quot;", 5, '"'},
};

// The ';' of a numeric reference is looked for at the digits' start and the 7 positions after.
constexpr int32_t kReferenceReach = 8;
constexpr long kLastCodePoint = 0x10FFFF;

char Byte(long value) {
    return static_cast<char>(static_cast<unsigned char>(value & 0xFF));
}

// Appends the bytes for `value`; false when the reference is not to be decoded.
bool AppendCodePoint(long value, std::string& out) {
    if (value > kLastCodePoint) {
        return false;
    }
    if (value >= 0x10000) {
        out += Byte(0xF0 | ((value >> 18) & 0x07));
        out += Byte(0x80 | ((value >> 12) & 0x3F));
        out += Byte(0x80 | ((value >> 6) & 0x3F));
        out += Byte(0x80 | (value & 0x3F));
    } else if (value >= 2048) {
        out += Byte(0xE0 | ((value >> 12) & 0x0F));
        out += Byte(0x80 | ((value >> 6) & 0x3F));
        out += Byte(0x80 | (value & 0x3F));
    } else if (value >= 128) {
        out += Byte(0xC0 | ((value >> 6) & 0x1F));
        out += Byte(0x80 | (value & 0x3F));
    } else {
        // Also negative values: their low byte, unless that is the zero that ends a text.
        if ((value & 0xFF) == 0) {
            return false;
        }
        out += Byte(value);
    }
    return true;
}

// Decodes the numeric reference whose '&' is at text[i]; returns the offset after its ';', or
// 0 when it is not decoded.
int32_t DecodeNumeric(const char* text, int32_t i, std::string& out) {
    int32_t digits = i + 2;
    int base = 10;
    if (text[digits] == 'x') {
        ++digits;
        base = 16;
    }
    int32_t semicolon = -1;
    for (int32_t k = digits; k < digits + kReferenceReach && text[k] != '\0'; ++k) {
        if (text[k] == ';') {
            semicolon = k;
            break;
        }
    }
    if (semicolon < 0) {
        return 0;
    }
    // strtol stops at the ';' at the latest, so it stays inside the text.
    const long value = std::strtol(text + digits, nullptr, base);
    if (value == 0 || !AppendCodePoint(value, out)) {
        return 0;
    }
    return semicolon + 1;
}

int32_t DecodeNamed(const char* text, int32_t i, int32_t length, std::string& out) {
    for (const NamedEntity& entity : kNamedEntities) {
        if (i + 1 + entity.length <= length &&
            std::memcmp(text + i + 1, entity.name, static_cast<size_t>(entity.length)) == 0) {
            out += entity.value;
            return i + 1 + entity.length;
        }
    }
    return 0;
}

} // namespace

std::string DecodeText(const char* text, int32_t length) {
    std::string out;
    if (length <= 0) {
        return out;
    }
    out.reserve(static_cast<size_t>(length));
    int32_t i = 0;
    while (i < length) {
        const char* amp =
            static_cast<const char*>(std::memchr(text + i, '&', static_cast<size_t>(length - i)));
        if (amp == nullptr) {
            out.append(text + i, static_cast<size_t>(length - i));
            break;
        }
        const auto at = static_cast<int32_t>(amp - text);
        out.append(text + i, static_cast<size_t>(at - i));
        const int32_t after =
            text[at + 1] == '#' ? DecodeNumeric(text, at, out) : DecodeNamed(text, at, length, out);
        if (after == 0) {
            out += '&';
            i = at + 1;
        } else {
            i = after;
        }
    }
    return out;
}

} // namespace qm
