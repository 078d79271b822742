#pragma once
// Names: comparing a name token with a requested name, and reading one name token.
#include <cstdint>

#include "xml/node_scanner.h"

namespace qm {

// True when the first `length` characters of `name` equal `text` and what follows them in
// `name` is its end or a tail that starts with space, '=', '/', '[' or ']'. Byte-wise and
// case-sensitive. Never reads `name` past its terminator; a null name matches nothing.
bool NameMatches(const char* text, int32_t length, const char* name);

// Skips whitespace from cursor.next and reads one name token into cursor.left..right, which
// runs to the first whitespace, '<', '>', '=', '\', '/', '?', '!' or the end of the text; a
// delimiter in first place is a token of its own. False at the end of the text.
bool ReadName(TokenCursor& cursor);

} // namespace qm
