#pragma once
// Character and entity references in attribute values and character data.
#include <cstdint>
#include <string>

namespace qm {

// Copies text[0 .. length-1], replacing "&lt;", "&amp;", "&gt;", "&apos;", "&quot;" and
// numeric references ("&#65;", "&#x41;"). `text` points into a zero-terminated document: a
// numeric reference looks for its ';' up to 8 characters from its digits, bounded by the
// document's end and not by `length`. A reference that is not decoded is copied as it is.
// Code points of 128 and above become UTF-8 bytes; the rest of the text is left in its code
// page.
std::string DecodeText(const char* text, int32_t length);

} // namespace qm
