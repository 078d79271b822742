#pragma once
// The XML element reader: a whole document kept as one narrow text, an index of its elements
// built by one tolerant parse, and navigation by element name with attribute and data access.
#include <cstddef>
#include <cstdint>
#include <string>

#include "xml/element_index.h"
#include "xml/node_scanner.h"

namespace qm {

class XmlDocument {
public:
    // Offsets into the text are 32-bit: a longer text is refused, not parsed.
    static constexpr size_t kMaxTextLength = INT32_MAX;

    // An empty document, already parsed: "Empty document", not well formed.
    XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    // A document moved from holds no text and no records (PosFree() 0) and can be given a
    // text again.
    XmlDocument(XmlDocument&& other) noexcept;
    XmlDocument& operator=(XmlDocument&& other) noexcept;

    // Takes the text up to its first zero byte (a null text is empty) and parses it; true
    // when it is well formed. A text longer than kMaxTextLength is refused: the document is
    // then empty, with the message "Document too large".
    bool SetDocument(const char* text);
    bool SetDocument(std::string text);

    // Rebuilds the index from the document text; true when it is well formed.
    bool ParseDocument();

    // Navigation. Names may carry a tail after space, '=', '/', '[' or ']', which is ignored;
    // an empty or null name matches any element.
    void ResetPosition();
    bool FindElement(const char* name = nullptr);
    bool FindElement(const std::string& name) { return FindElement(name.c_str()); }
    void IntoElement();
    bool OutOfElement();

    // Values of the current element, references decoded; empty when there is none.
    std::string GetData() const;
    std::string GetAttribute(const char* name) const;
    std::string GetAttribute(const std::string& name) const { return GetAttribute(name.c_str()); }

    const std::string& DocText() const { return docText_; }
    const std::string& ErrorText() const { return errorText_; }
    int32_t PosParent() const { return posParent_; }
    int32_t Pos() const { return pos_; }
    int32_t PosChild() const { return posChild_; }
    int32_t PosFree() const { return posFree_; }
    int32_t NodeType() const { return nodeType_; }
    // Records 0 .. PosFree() - 1 are in use; record 0 stands for the document itself.
    const ElementRecord& Record(int32_t index) const { return records_[index]; }
    const ElementIndex& Records() const { return records_; }

private:
    struct ParseState;

    bool RefuseText();
    int32_t ParseElements(TokenCursor& cursor);
    void AllocateRecords(int32_t count);
    void OpenElement(ParseState& parse, const NodeInfo& node);
    // Depth of the innermost open element that an end tag of this name closes; 0 when none.
    int32_t MatchingDepth(ParseState& parse, const char* name, int32_t length);
    void CloseByEndTag(ParseState& parse, const TokenCursor& cursor, const NodeInfo& endTag);
    void CloseUnended(ParseState& parse, const TokenCursor* mismatchedEndTag);
    void MarkProblem(int32_t current, const std::string& message);
    void ResolveMovedParents();

    int32_t LocateElement(int32_t parent, int32_t after, const char* name) const;
    bool FindAttribute(TokenCursor& cursor, const char* name) const;
    std::string GetElementData(int32_t index) const;
    TokenCursor CursorAt(int32_t next) const;

    std::string docText_;
    std::string errorText_;
    int32_t posParent_ = 0;
    int32_t pos_ = 0;
    int32_t posChild_ = 0;
    int32_t posFree_ = 0;
    int32_t nodeType_ = 0;
    ElementIndex records_;
};

// For tests only: match every end tag through the index of open element names instead of
// walking the open elements first. The results are the same either way; this lets the tests
// cover the index with small documents.
void SetEndTagIndexFromStart(bool fromStart);

} // namespace qm
