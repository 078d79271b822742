// Navigation by element name and value access over a parsed document.
#include <algorithm>
#include <cstring>

#include "xml/text_decode.h"
#include "xml/xml_chars.h"
#include "xml/xml_document.h"
#include "xml/xml_names.h"

namespace qm {

namespace {

// A CDATA node's inner text lies between "<![CDATA[" and "]]>".
constexpr int32_t kCDataOpenLength = 9;
constexpr int32_t kCDataDelimitersLength = 12;

bool EndsUnquotedToken(char ch, bool afterEqual) {
    if (ch == '\0' || IsXmlWhitespace(ch) || ch == '>') {
        return true;
    }
    // A value after '=' may hold '/', '?' and '=' (<a b=x/y>).
    return !afterEqual && (ch == '=' || ch == '/' || ch == '?');
}

} // namespace

void XmlDocument::ResetPosition() {
    posParent_ = 0;
    pos_ = 0;
    posChild_ = 0;
    nodeType_ = 0;
}

bool XmlDocument::FindElement(const char* name) {
    if (records_.size() == 0) {
        return false;
    }
    const int32_t found = LocateElement(posParent_, pos_, name);
    if (found == 0) {
        return false;
    }
    posParent_ = records_[found].parent;
    pos_ = found;
    posChild_ = 0;
    nodeType_ = NodeElement;
    return true;
}

void XmlDocument::IntoElement() {
    posParent_ = pos_;
    pos_ = 0;
    posChild_ = 0;
    nodeType_ = 0;
}

bool XmlDocument::OutOfElement() {
    if (posParent_ == 0) {
        return false;
    }
    posChild_ = pos_;
    pos_ = posParent_;
    posParent_ = records_[pos_].parent;
    nodeType_ = pos_ != 0 ? NodeElement : 0;
    return true;
}

int32_t XmlDocument::LocateElement(int32_t parent, int32_t after, const char* name) const {
    int32_t candidate = after != 0 ? records_[after].next : records_[parent].firstChild;
    if (name == nullptr || name[0] == '\0') {
        return candidate;
    }
    const char* doc = docText_.c_str();
    while (candidate != 0) {
        TokenCursor cursor = CursorAt(records_[candidate].start + 1);
        ReadName(cursor);
        if (NameMatches(doc + cursor.left, cursor.right - cursor.left + 1, name)) {
            return candidate;
        }
        candidate = records_[candidate].next;
    }
    return 0;
}

std::string XmlDocument::GetAttribute(const char* name) const {
    if (pos_ == 0 || nodeType_ != NodeElement || name == nullptr) {
        return std::string();
    }
    TokenCursor cursor = CursorAt(records_[pos_].start + 1);
    if (!FindAttribute(cursor, name)) {
        return std::string();
    }
    return DecodeText(docText_.c_str() + cursor.left, cursor.right - cursor.left + 1);
}

bool XmlDocument::FindAttribute(TokenCursor& cursor, const char* name) const {
    const char* doc = cursor.doc;
    int32_t foundNameEnd = 0; // last character of the matched name; 0: not matched yet
    bool firstName = true;    // the element's own name comes first and is skipped
    bool afterEqual = false;
    for (;;) {
        const int32_t saved = cursor.next;
        int32_t k = saved;
        while (IsXmlWhitespace(doc[k])) {
            ++k;
        }
        if (doc[k] == '\0') {
            if (foundNameEnd == 0) {
                return false;
            }
            break;
        }
        const char first = doc[k];
        const bool quoted = first == '"' || first == '\'';
        if (quoted) {
            cursor.flags |= TokenQuoted;
            int32_t close = k + 1;
            while (doc[close] != '\0' && doc[close] != first) {
                ++close;
            }
            cursor.left = k + 1;
            cursor.right = close - 1;
            cursor.next = doc[close] != '\0' ? close + 1 : close;
        } else {
            cursor.flags &= ~TokenQuoted;
            int32_t end = k;
            while (!EndsUnquotedToken(doc[end], afterEqual)) {
                ++end;
            }
            cursor.left = k;
            cursor.right = end == k ? k : end - 1;
            cursor.next = end == k ? k + 1 : end;
        }
        if (afterEqual) {
            if (foundNameEnd != 0) {
                return true; // the token is the value
            }
            afterEqual = false; // another attribute's value
            continue;
        }
        if (quoted) {
            if (foundNameEnd != 0) {
                break;
            }
            continue;
        }
        const char lead = doc[cursor.left];
        if (lead == '=') {
            afterEqual = true;
            continue;
        }
        if (lead == '>' || lead == '/' || lead == '?') {
            cursor.next = saved; // the tag ends
            if (foundNameEnd != 0) {
                break;
            }
            return false;
        }
        if (foundNameEnd != 0) {
            break; // the matched attribute has no value
        }
        if (firstName) {
            firstName = false;
        } else if (NameMatches(doc + cursor.left, cursor.right - cursor.left + 1, name)) {
            cursor.preSpaceStart = saved;
            cursor.preSpaceLength = cursor.left - saved;
            foundNameEnd = cursor.right;
        }
    }
    // An attribute without a value: its name is the value.
    cursor.left = cursor.preSpaceStart + cursor.preSpaceLength;
    cursor.right = foundNameEnd;
    cursor.next = foundNameEnd + 1;
    return true;
}

std::string XmlDocument::GetData() const {
    return GetElementData(pos_);
}

std::string XmlDocument::GetElementData(int32_t index) const {
    // With no current element there is no data (record 0 would be the whole document).
    if (index == 0) {
        return std::string();
    }
    const ElementRecord& element = records_[index];
    if (element.firstChild != 0 || element.StartTagLength() == element.length) {
        return std::string();
    }
    // Tag lengths are stored modulo their field widths: keep the content inside the text.
    const auto docLength = static_cast<int64_t>(docText_.size());
    const int64_t first = std::clamp<int64_t>(
        static_cast<int64_t>(element.start) + element.StartTagLength(), 0, docLength);
    const int64_t past = std::clamp<int64_t>(static_cast<int64_t>(element.start) + element.length -
                                                 element.EndTagLength(),
                                             first, docLength);
    const char* doc = docText_.c_str();
    const auto contentStart = static_cast<int32_t>(first);
    const auto contentEnd = static_cast<int32_t>(past);
    if (std::memchr(doc + contentStart, '<', static_cast<size_t>(contentEnd - contentStart)) ==
        nullptr) {
        return DecodeText(doc + contentStart, contentEnd - contentStart);
    }
    std::string data;
    TokenCursor cursor = CursorAt(contentStart);
    NodeInfo node;
    while (cursor.next < contentEnd) {
        const int32_t kind = ScanNode(cursor, node);
        if (kind == NodeText) {
            data += DecodeText(doc + node.start, node.length);
        } else if (kind == NodeCData) {
            const int64_t innerStart = static_cast<int64_t>(node.start) + kCDataOpenLength;
            const int64_t innerLength =
                std::min<int64_t>(node.length - kCDataDelimitersLength, docLength - innerStart);
            if (innerLength >= 1) {
                data.append(doc + innerStart, static_cast<size_t>(innerLength));
            }
        }
    }
    return data;
}

} // namespace qm
