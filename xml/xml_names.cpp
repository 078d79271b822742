// Name tokens: reading one, and comparing it with a requested name.
#include "xml/xml_names.h"

#include "xml/xml_chars.h"

namespace qm {

namespace {

bool IsNameTail(char ch) {
    return ch == '\0' || ch == ' ' || ch == '=' || ch == '/' || ch == '[' || ch == ']';
}

bool IsNameDelimiter(char ch) {
    return ch == '\0' || IsXmlWhitespace(ch) || ch == '<' || ch == '>' || ch == '=' || ch == '\\' ||
           ch == '/' || ch == '?' || ch == '!';
}

} // namespace

bool NameMatches(const char* text, int32_t length, const char* name) {
    if (name == nullptr || length < 0) {
        return false;
    }
    for (int32_t i = 0; i < length; ++i) {
        if (name[i] == '\0' || name[i] != text[i]) {
            return false;
        }
    }
    return IsNameTail(name[length]);
}

bool ReadName(TokenCursor& cursor) {
    const char* doc = cursor.doc;
    int32_t k = cursor.next;
    while (IsXmlWhitespace(doc[k])) {
        ++k;
    }
    cursor.left = k;
    if (doc[k] == '\0') {
        cursor.next = k;
        cursor.right = k - 1;
        return false;
    }
    int32_t end = k;
    while (!IsNameDelimiter(doc[end])) {
        ++end;
    }
    if (end == k) {
        cursor.right = k;
        cursor.next = k + 1;
    } else {
        cursor.right = end - 1;
        cursor.next = end;
    }
    return true;
}

} // namespace qm
