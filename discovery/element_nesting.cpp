// A shadow of rapidxml's default parse that keeps only what decides nesting. Each construct is
// consumed exactly as the parser consumes it, however odd (a quote is a name character, an
// unknown "<!" ends at its first '>' whatever brackets it holds): a guard with a grammar of its
// own would count fewer levels than the parser enters. Where the parser raises an error the
// shadow stops, since nothing deeper follows; where the parser may raise an error early (a
// bad character reference) the shadow goes on, which can only count more.
#include "discovery/element_nesting.h"

#include <algorithm>
#include <cstring>

namespace qm {

namespace {

// The parser's character classes for flags 0.
bool IsSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}

bool IsNameChar(char ch) {
    return ch != '\0' && !IsSpace(ch) && ch != '/' && ch != '>' && ch != '?';
}

bool IsAttributeNameChar(char ch) {
    return ch != '\0' && !IsSpace(ch) && std::strchr("/<>=?!", ch) == nullptr;
}

const char* SkipSpace(const char* p) {
    while (IsSpace(*p)) {
        ++p;
    }
    return p;
}

const char* SkipName(const char* p) {
    while (IsNameChar(*p)) {
        ++p;
    }
    return p;
}

bool StartsWith(const char* p, const char* prefix) {
    return std::strncmp(p, prefix, std::strlen(prefix)) == 0;
}

// Just past the first `terminator` at or after p; null when the text ends first.
const char* PastTerminator(const char* p, const char* terminator) {
    const char* found = std::strstr(p, terminator);
    return found ? found + std::strlen(terminator) : nullptr;
}

// After "<!DOCTYPE" and one white-space character: up to the first '>' outside brackets;
// inside them, brackets nest and nothing else counts, quotes and '>' included.
const char* SkipDoctype(const char* p) {
    while (*p != '>') {
        if (*p == '\0') {
            return nullptr;
        }
        if (*p != '[') {
            ++p;
            continue;
        }
        ++p;
        for (int depth = 1; depth > 0; ++p) {
            if (*p == '[') {
                ++depth;
            } else if (*p == ']') {
                --depth;
            } else if (*p == '\0') {
                return nullptr;
            }
        }
    }
    return p + 1;
}

// p is on the '?' or '!' after '<'. Processing instructions and the XML declaration end at
// the first "?>"; any "<!" the parser does not recognise ends at its first '>'.
const char* SkipMarkup(const char* p) {
    if (*p == '?') {
        return PastTerminator(p + 1, "?>");
    }
    if (StartsWith(p, "!--")) {
        return PastTerminator(p + 3, "-->");
    }
    if (StartsWith(p, "![CDATA[")) {
        return PastTerminator(p + 8, "]]>");
    }
    if (StartsWith(p, "!DOCTYPE") && IsSpace(p[8])) {
        return SkipDoctype(p + 9);
    }
    return PastTerminator(p + 1, ">");
}

// A quoted attribute value ends at its quote; character references never step over one.
const char* SkipAttributes(const char* p) {
    while (IsAttributeNameChar(*p)) {
        ++p;
        while (IsAttributeNameChar(*p)) {
            ++p;
        }
        p = SkipSpace(p);
        if (*p != '=') {
            return nullptr;
        }
        p = SkipSpace(p + 1);
        const char quote = *p;
        if (quote != '\'' && quote != '"') {
            return nullptr;
        }
        ++p;
        while (*p != quote && *p != '\0') {
            ++p;
        }
        if (*p != quote) {
            return nullptr;
        }
        p = SkipSpace(p + 1);
    }
    return p;
}

// p is just after the '<' of a start tag; past its '>' or "/>", with `opened` telling which.
const char* SkipStartTag(const char* p, bool& opened) {
    const char* afterName = SkipName(p);
    if (afterName == p) {
        return nullptr;
    }
    p = SkipAttributes(SkipSpace(afterName));
    if (p == nullptr) {
        return nullptr;
    }
    opened = *p == '>';
    if (opened) {
        return p + 1;
    }
    return p[0] == '/' && p[1] == '>' ? p + 2 : nullptr;
}

// p is on the '<' of "</": past its '>'. The name is not compared with the open element's.
const char* SkipEndTag(const char* p) {
    p = SkipSpace(SkipName(p + 2));
    return *p == '>' ? p + 1 : nullptr;
}

} // namespace

std::size_t DeepestElementNesting(const char* text) {
    const char* p = text;
    if (StartsWith(p, "\xEF\xBB\xBF")) {
        p += 3;
    }
    std::size_t open = 0;
    std::size_t deepest = 0;
    while (p != nullptr) {
        p = SkipSpace(p);
        if (*p == '\0') {
            break;
        }
        if (*p != '<') {
            if (open == 0) {
                break; // "expected <"
            }
            // Text runs to the next '<': references inside never step over one.
            p += std::strcspn(p, "<");
            continue;
        }
        if (open > 0 && p[1] == '/') {
            p = SkipEndTag(p);
            --open;
            continue;
        }
        ++p;
        if (*p == '?' || *p == '!') {
            p = SkipMarkup(p);
            continue;
        }
        deepest = std::max(deepest, ++open);
        bool opened = false;
        p = SkipStartTag(p, opened);
        if (!opened) {
            --open;
        }
    }
    return deepest;
}

} // namespace qm
