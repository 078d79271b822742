// The XML document: parse once, then navigate.
#include "xml/xml_document.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "xml/xml_messages.h"
#include "xml/open_name_index.h"
#include "xml/xml_names.h"

namespace qm {

namespace {

// Records reserved up front: one per 64 characters of text, plus a few.
constexpr size_t kCharactersPerRecordGuess = 64;
constexpr int32_t kSpareRecords = 8;
// Comparisons of end tags with open elements allowed on top of twice the text's length before
// the open names are indexed.
constexpr int64_t kWalkBudgetSpare = 4096;
// For tests: match every end tag through the index, so that both ways are exercised.
bool g_indexEndTagsAtOnce = false;

// The start tags of the open elements: entry k holds the one at depth k + 1. The scanner
// writes every node into the entry at `top`, so a start tag stays below a push.
class OpenTagStack {
public:
    void Push() {
        ++top;
        if (top == capacity) {
            capacity = 2 * capacity + 6;
            entries_.resize(static_cast<size_t>(capacity));
        }
    }
    NodeInfo& Top() { return entries_[static_cast<size_t>(top)]; }
    NodeInfo& At(int32_t index) { return entries_[static_cast<size_t>(index)]; }

    int32_t top = -1;
    int32_t capacity = 0;

private:
    std::vector<NodeInfo> entries_;
};

std::string SpanText(const char* doc, int32_t left, int32_t right) {
    if (right < left) {
        return std::string();
    }
    return std::string(doc + left, static_cast<size_t>(right - left + 1));
}

} // namespace

struct XmlDocument::ParseState {
    OpenTagStack stack;
    uint32_t baseLevel = 0;
    int32_t depth = 0;
    int32_t current = 0; // innermost open element; the parent of new elements
    int32_t first = 0;
    bool movedChildren = false;
    // End tags are matched by walking the open elements from the innermost, which is one
    // comparison in a sound document. The walks' work is counted; when a text makes them
    // expensive (many open elements and stray end tags), the open names are indexed from then
    // on, so no text costs more than linear time.
    int64_t walkBudget = 0;
    bool indexed = false;
    OpenNameIndex openNames;

    explicit ParseState(const char* doc) : openNames(doc) {}

    // The name of the element in stack entry `entry`, as the text holds it after its '<'.
    void IndexEntry(int32_t entry) {
        const NodeInfo& tag = stack.At(entry);
        openNames.Add(entry, tag.start + 1, static_cast<int32_t>(tag.text.size()));
    }
};

XmlDocument::XmlDocument() {
    ParseDocument();
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept {
    *this = std::move(other);
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
    if (this != &other) {
        docText_ = std::move(other.docText_);
        errorText_ = std::move(other.errorText_);
        posParent_ = std::exchange(other.posParent_, 0);
        pos_ = std::exchange(other.pos_, 0);
        posChild_ = std::exchange(other.posChild_, 0);
        posFree_ = std::exchange(other.posFree_, 0);
        nodeType_ = std::exchange(other.nodeType_, 0);
        records_ = std::move(other.records_);
        other.docText_.clear();
        other.errorText_.clear();
    }
    return *this;
}

bool XmlDocument::SetDocument(const char* text) {
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > kMaxTextLength) {
        return RefuseText();
    }
    docText_.assign(text != nullptr ? text : "", length);
    errorText_.clear();
    return ParseDocument();
}

bool XmlDocument::SetDocument(std::string text) {
    // The scan relies on the zero terminator: keep the text before the first zero byte.
    text.resize(std::strlen(text.c_str()));
    if (text.size() > kMaxTextLength) {
        return RefuseText();
    }
    docText_ = std::move(text);
    errorText_.clear();
    return ParseDocument();
}

// The text is not kept: the document is left empty, with the reason as its message.
bool XmlDocument::RefuseText() {
    docText_.clear();
    docText_.shrink_to_fit();
    ParseDocument();
    errorText_ = xml_message::kDocumentTooLarge;
    return false;
}

bool XmlDocument::ParseDocument() {
    ResetPosition();
    posFree_ = 1;
    const size_t guess = docText_.size() / kCharactersPerRecordGuess + kSpareRecords;
    AllocateRecords(static_cast<int32_t>(std::min<size_t>(guess, INT32_MAX)));
    records_[0] = ElementRecord{};
    if (docText_.empty()) {
        errorText_ = xml_message::kEmptyDocument;
    } else {
        TokenCursor cursor = CursorAt(0);
        const int32_t root = ParseElements(cursor);
        ElementRecord& document = records_[0];
        document.length = static_cast<int32_t>(docText_.size());
        if (root != 0) {
            document.firstChild = root;
            // A problem met by the parse loop comes first.
            if (records_[root].next != 0 && (document.flags & DocumentIllFormed) == 0) {
                errorText_ = xml_message::kRootHasSibling;
            }
        } else {
            errorText_ = xml_message::kNoRootElement;
        }
    }
    ResetPosition();
    const ElementRecord& document = records_[0];
    return records_.size() > 0 && (document.flags & DocumentIllFormed) == 0 &&
           document.firstChild != 0 && records_[document.firstChild].next == 0;
}

void XmlDocument::AllocateRecords(int32_t count) {
    const int64_t wanted = count != 0 ? count : static_cast<int64_t>(posFree_) + posFree_ / 2;
    records_.Grow(wanted, posFree_);
}

TokenCursor XmlDocument::CursorAt(int32_t next) const {
    TokenCursor cursor;
    cursor.doc = docText_.c_str();
    cursor.next = next;
    return cursor;
}

int32_t XmlDocument::ParseElements(TokenCursor& cursor) {
    cursor.next = 0;
    errorText_.clear();
    ParseState parse(docText_.c_str());
    parse.walkBudget =
        g_indexEndTagsAtOnce ? 0 : 2 * static_cast<int64_t>(docText_.size()) + kWalkBudgetSpare;
    parse.stack.Push();
    parse.baseLevel = records_[0].flags & ElementLevelMask;
    for (;;) {
        NodeInfo& node = parse.stack.Top();
        switch (ScanNode(cursor, node)) {
        case NodeElement:
            OpenElement(parse, node);
            break;
        case NodeEndTag:
            CloseByEndTag(parse, cursor, node);
            break;
        case NodeError:
            MarkProblem(parse.current, node.text);
            break;
        case NodeEnd:
            while (parse.depth > 0) {
                CloseUnended(parse, nullptr);
            }
            if (parse.movedChildren) {
                ResolveMovedParents();
            }
            return parse.first;
        default:
            break; // text, whitespace, CDATA, processing instructions, comments, doctypes
        }
    }
}

void XmlDocument::OpenElement(ParseState& parse, const NodeInfo& node) {
    if (posFree_ == records_.size()) {
        AllocateRecords(0);
    }
    const int32_t index = posFree_++;
    if (parse.first == 0) {
        parse.first = index;
    }
    ElementRecord& record = records_[index];
    ElementRecord& parent = records_[parse.current];
    record.parent = parse.current;
    record.next = 0;
    uint32_t flags = 0;
    if (parent.firstChild != 0) {
        ElementRecord& firstSibling = records_[parent.firstChild];
        const int32_t last = firstSibling.prev;
        records_[last].next = index;
        firstSibling.prev = index;
        record.prev = last;
    } else {
        parent.firstChild = index;
        record.prev = index;
        flags = ElementFirstChild;
    }
    record.flags =
        flags | ((static_cast<uint32_t>(parse.depth) + parse.baseLevel) & ElementLevelMask);
    record.firstChild = 0;
    record.start = node.start;
    if ((node.nodeFlags & NodeEmptyElement) != 0) {
        record.SetTagLengths(node.length, 0);
        record.length = node.length;
    } else {
        record.SetTagLengths(node.length, 0);
        ++parse.depth;
        parse.current = index;
        parse.stack.Push();
        if (parse.indexed) {
            parse.IndexEntry(parse.depth - 1);
        }
    }
}

void XmlDocument::MarkProblem(int32_t current, const std::string& message) {
    records_[0].flags |= DocumentIllFormed;
    records_[current].flags |= ElementHasError;
    if (errorText_.empty()) {
        errorText_ = message;
    }
}

int32_t XmlDocument::MatchingDepth(ParseState& parse, const char* name, int32_t length) {
    if (!parse.indexed) {
        for (int32_t entry = parse.depth - 1; entry >= 0 && parse.walkBudget > 0; --entry) {
            parse.walkBudget -= 1 + length;
            if (NameMatches(name, length, parse.stack.At(entry).text.c_str())) {
                return entry + 1;
            }
        }
        if (parse.walkBudget > 0) {
            return 0;
        }
        for (int32_t entry = 0; entry < parse.depth; ++entry) {
            parse.IndexEntry(entry);
        }
        parse.indexed = true;
    }
    // The index answers exactly; the comparison only keeps a fault in it from ever closing an
    // element whose name does not match.
    const int32_t entry = parse.openNames.Innermost(name, length);
    if (entry >= 0 && entry < parse.depth &&
        NameMatches(name, length, parse.stack.At(entry).text.c_str())) {
        return entry + 1;
    }
    return 0;
}

void XmlDocument::CloseByEndTag(ParseState& parse, const TokenCursor& cursor,
                                const NodeInfo& endTag) {
    const char* doc = docText_.c_str();
    const int32_t nameLength = cursor.right - cursor.left + 1;
    const int32_t matched = MatchingDepth(parse, doc + cursor.left, nameLength);
    if (matched == 0) {
        MarkProblem(parse.current,
                    FormatXmlMessage(xml_message::kNoStartTag,
                                     {SpanText(doc, cursor.left, cursor.right), endTag.start}));
        return;
    }
    while (parse.depth > matched) {
        CloseUnended(parse, &cursor);
    }
    ElementRecord& element = records_[parse.current];
    element.length = endTag.start + endTag.length - element.start;
    element.SetTagLengths(element.StartTagLength(), endTag.length);
    if (parse.indexed) {
        parse.openNames.RemoveLast();
    }
    parse.current = element.parent;
    --parse.depth;
    --parse.stack.top;
}

void XmlDocument::CloseUnended(ParseState& parse, const TokenCursor* mismatchedEndTag) {
    records_[0].flags |= DocumentIllFormed;
    const int32_t index = parse.current;
    ElementRecord& element = records_[index];
    const int32_t parentIndex = element.parent;
    ElementRecord& parent = records_[parentIndex];
    element.SetTagLengths(element.StartTagLength(), 0);
    element.flags |= ElementNotEnded;
    element.length = element.StartTagLength();
    const int32_t children = element.firstChild;
    element.firstChild = 0;
    if ((element.flags & ElementHasError) != 0) {
        element.flags &= ~ElementHasError;
        parent.flags |= ElementHasError;
    }
    if (children != 0) {
        // The children follow the element as its siblings, keeping their own flags. Their
        // parent links still name the element; ResolveMovedParents fixes them once at the
        // end, so a deep unended chain costs linear time, not quadratic.
        ElementRecord& firstMoved = records_[children];
        const int32_t lastMoved = firstMoved.prev;
        element.next = children;
        firstMoved.prev = index;
        records_[parent.firstChild].prev = lastMoved;
        parse.movedChildren = true;
    }
    const std::string& name = parse.stack.At(parse.depth - 1).text;
    if (parse.indexed) {
        parse.openNames.RemoveLast();
    }
    --parse.depth;
    --parse.stack.top;
    parse.current = parentIndex;
    if (!errorText_.empty()) {
        return;
    }
    if (mismatchedEndTag == nullptr) {
        errorText_ = FormatXmlMessage(xml_message::kNotEnded, {name, element.start});
    } else {
        const TokenCursor& tag = *mismatchedEndTag;
        errorText_ = FormatXmlMessage(
            xml_message::kEndTagMismatch,
            {SpanText(docText_.c_str(), tag.left, tag.right), tag.left - 1, name, element.start});
    }
}

void SetEndTagIndexFromStart(bool fromStart) {
    g_indexEndTagsAtOnce = fromStart;
}

// An element closed as unended handed its children to its parent; a record whose parent link
// names such an element belongs to that element's (resolved) parent. Parents come before
// their children, so one pass in index order resolves every chain.
void XmlDocument::ResolveMovedParents() {
    for (int32_t i = 1; i < posFree_; ++i) {
        ElementRecord& record = records_[i];
        const ElementRecord& parent = records_[record.parent];
        if (record.parent != 0 && (parent.flags & ElementNotEnded) != 0) {
            record.parent = parent.parent;
        }
    }
}

} // namespace qm
