#pragma once
// UTF-8 for the log, independent of any code page, so that every path is written whole. No
// Windows API here.
#include <string>

namespace qm {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD instead of ending the text.
std::string ToUtf8(const std::wstring& wide);

} // namespace qm
