// The file query: a value read from a named XML file.
#include "xml/xml_file_query.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "xml/file_bytes.h"
#include "xml/xml_document.h"

namespace qm {

namespace {

// Longer texts are not converted: the narrow buffer would pass 2 GB.
constexpr size_t kMaxDocumentCharacters = 1073741822;

// The file as the reader sees it: each byte a character of the same value, read line by line
// with the LFs left out, up to its first zero byte.
std::wstring ReadFileCharacters(const std::wstring& path) {
    std::string bytes;
    std::wstring text;
    if (!ReadFileBytes(path, bytes)) {
        return text;
    }
    const size_t length = std::strlen(bytes.c_str());
    text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] != '\n') {
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
        }
    }
    return text;
}

std::string DocumentText(const std::wstring& characters) {
    std::string narrow;
    if (characters.size() > kMaxDocumentCharacters || !WideToNarrow(characters, narrow)) {
        narrow.clear();
    }
    return narrow;
}

} // namespace

int SplitString(const std::wstring& text, const std::wstring& separator,
                std::vector<std::wstring>& parts) {
    parts.clear();
    if (text.empty() || separator.empty()) {
        return 0;
    }
    size_t found = text.find(separator);
    if (found == std::wstring::npos || found == 0) {
        return 0;
    }
    size_t from = 0;
    while (found != std::wstring::npos) {
        parts.push_back(text.substr(from, found - from));
        from = found + separator.size();
        found = text.find(separator, from);
    }
    parts.push_back(text.substr(from));
    return static_cast<int>(parts.size());
}

std::wstring QueryXmlFileValue(std::wstring filePath, std::wstring elementPath,
                               std::wstring attributeName) {
    std::wstring result;
    XmlDocument document;
    if (elementPath.empty()) {
        return result;
    }
    if (!document.SetDocument(DocumentText(ReadFileCharacters(filePath)))) {
        return result;
    }
    std::vector<std::wstring> parts;
    SplitString(elementPath, L"/", parts);
    document.ResetPosition();
    if (parts.empty()) {
        return result;
    }
    int entered = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        // A part the code page cannot take matches any element, as an empty one does.
        std::string name;
        const bool converted = WideToNarrow(parts[i], name);
        if (!document.FindElement(converted ? name.c_str() : nullptr)) {
            return result;
        }
        if (i + 1 < parts.size()) {
            document.IntoElement();
            ++entered;
        }
    }
    std::string value;
    if (attributeName.empty()) {
        value = document.GetData();
    } else {
        std::string name;
        if (WideToNarrow(attributeName, name)) {
            value = document.GetAttribute(name.c_str());
        }
    }
    if (!NarrowToWide(value, result)) {
        result.clear();
    }
    for (; entered > 0; --entered) {
        document.OutOfElement();
    }
    return result;
}

} // namespace qm
