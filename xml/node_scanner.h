#pragma once
// The reader's single lexical step: one call recognises one node of a zero-terminated narrow
// text and moves the cursor past it.
#include <cstdint>
#include <string>

namespace qm {

// Node kinds, as returned by ScanNode and kept in NodeInfo::type.
enum : int32_t {
    NodeEndTag = 0,
    NodeElement = 1,
    NodeText = 2,
    NodeWhitespace = 4,
    NodeCData = 8,
    NodeProcessingInstruction = 16,
    NodeComment = 32,
    NodeDocType = 64,
    NodeError = -1,
    NodeEnd = -2,
};

// NodeInfo::nodeFlags: the start tag closes itself (<name/>).
constexpr uint32_t NodeEmptyElement = 0x10000;
// TokenCursor::flags: the last attribute token was a quoted string.
constexpr uint32_t TokenQuoted = 0x8000;

struct TokenCursor {
    int32_t left = 0;          // first character of the last token
    int32_t right = -1;        // its last character; left - 1 means an empty token
    int32_t next = 0;          // where the next scan starts
    const char* doc = nullptr; // the text; its zero terminator ends every scan
    uint32_t flags = 0;
    int32_t preSpaceStart = 0; // whitespace before a matched attribute name
    int32_t preSpaceLength = 0;
};

struct NodeInfo {
    int32_t type = 0;
    int32_t start = 0;
    int32_t length = 0;
    uint32_t nodeFlags = 0;
    // Start tag: element name; processing instruction: target; error node: its message.
    // Left untouched for other kinds.
    std::string text;
};

// Recognises the node at cursor.next, fills `node` and returns its kind. The cursor moves to
// the character after the node, except at the end of the text (NodeEnd), where it stays.
// An end tag leaves its name in cursor.left..cursor.right instead of node.text.
int32_t ScanNode(TokenCursor& cursor, NodeInfo& node);

} // namespace qm
