#include "discovery/catalogue_rules.h"

#include <cstring>

namespace qm {

std::wstring CatalogueComponentName(const std::wstring& refValue) {
    const auto semicolon = refValue.find(L';');
    return semicolon == std::wstring::npos ? std::wstring() : refValue.substr(0, semicolon);
}

std::wstring ComponentsFilePath(const std::wstring& catalogueFolder,
                                const std::wstring& component) {
    return catalogueFolder + L"\\" + component + L"\\components.xml";
}

bool CatalogueFolderFits(const std::wstring& catalogueFolder) {
    return catalogueFolder.size() < kCatalogueFolderCapacity;
}

namespace {

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Offset just past `terminator` at or after `from`, or the end of the text when missing (the
// parser then fails on its own; nothing deeper can follow).
const char* SkipPast(const char* from, const char* terminator) {
    const char* found = std::strstr(from, terminator);
    return found ? found + std::strlen(terminator) : from + std::strlen(from);
}

// A declaration such as <!DOCTYPE ... [ ... ]>: ends at the first '>' outside brackets.
const char* SkipDeclaration(const char* text) {
    int brackets = 0;
    for (; *text; ++text) {
        if (*text == '[') {
            ++brackets;
        } else if (*text == ']') {
            --brackets;
        } else if (*text == '>' && brackets <= 0) {
            return text + 1;
        }
    }
    return text;
}

// A tag from its '<' to just past its '>', quotes honoured; reports whether it closed itself.
const char* SkipTag(const char* text, bool& selfClosing) {
    char quote = 0;
    char previous = 0;
    for (++text; *text; ++text) {
        const char ch = *text;
        if (quote) {
            if (ch == quote) {
                quote = 0;
            }
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '>') {
            selfClosing = previous == '/';
            return text + 1;
        }
        previous = ch;
    }
    selfClosing = false;
    return text;
}

} // namespace

bool ElementNestingWithin(const char* text, std::size_t limit) {
    std::size_t depth = 0;
    while (*text) {
        if (*text != '<') {
            ++text;
            continue;
        }
        if (StartsWith(text, "<!--")) {
            text = SkipPast(text + 4, "-->");
        } else if (StartsWith(text, "<![CDATA[")) {
            text = SkipPast(text + 9, "]]>");
        } else if (StartsWith(text, "<?")) {
            text = SkipPast(text + 2, "?>");
        } else if (StartsWith(text, "<!")) {
            text = SkipDeclaration(text + 2);
        } else if (text[1] == '/') {
            depth = depth > 0 ? depth - 1 : 0;
            text = SkipPast(text + 2, ">");
        } else {
            bool selfClosing = false;
            text = SkipTag(text, selfClosing);
            if (!selfClosing && ++depth > limit) {
                return false;
            }
        }
    }
    return true;
}

} // namespace qm
