#pragma once
// Character classes of the reader, in one place. The text is narrow: one byte per character.

namespace qm {

// Exactly space, TAB, LF and CR; no other control character counts as whitespace.
inline bool IsXmlWhitespace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}

// A start tag begins with A-Z, '_', ':' or any byte above 0x60, which takes in a-z, "{|}~",
// 0x7F and every byte of a multi-byte code page.
inline bool IsNameStartChar(char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    return (byte >= 'A' && byte <= 'Z') || byte > 0x60 || byte == '_' || byte == ':';
}

} // namespace qm
