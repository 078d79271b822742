#pragma once
// One value read from an XML file in a single call.
#include <string>
#include <vector>

namespace qm {

// The attribute `attributeName` of the element that the slash-separated `elementPath` leads
// to (the first part names the root element), or that element's character data when
// `attributeName` is empty. Every failure, from a missing file to a missing attribute, gives
// an empty text. The file's bytes become characters of the same value (no UTF-8 decoding, no
// byte-order mark handling) and go through the thread's narrow code page.
std::wstring QueryXmlFileValue(std::wstring filePath, std::wstring elementPath,
                               std::wstring attributeName);

// Splits `text` at each `separator` into `parts` (cleared first) and returns their number.
// No parts when either text is empty or `text` does not contain the separator after its first
// character; the text after the last separator is a part even when it is empty.
int SplitString(const std::wstring& text, const std::wstring& separator,
                std::vector<std::wstring>& parts);

} // namespace qm
