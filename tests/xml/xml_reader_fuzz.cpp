// libFuzzer target: the scanner, the parse, navigation, GetAttribute and GetData over
// arbitrary bytes. Besides the sanitizers it checks the index's own invariants, so that a
// record that points outside the text or a broken sibling list is a finding too, and that end
// tags matched through the index of open names give the same records as the walk.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xml/node_scanner.h"
#include "xml/text_decode.h"
#include "xml/xml_document.h"

using namespace qm;

namespace {

constexpr int kMaxNavigationSteps = 20000;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void CheckScan(const std::string& text) {
    const auto length = static_cast<int32_t>(std::strlen(text.c_str()));
    TokenCursor cursor;
    cursor.doc = text.c_str();
    NodeInfo node;
    for (;;) {
        const int32_t before = cursor.next;
        const int32_t kind = ScanNode(cursor, node);
        if (kind == NodeEnd) {
            Require(cursor.next == length, "scan ends at the terminator");
            return;
        }
        Require(node.start == before && node.length > 0, "node starts at the cursor");
        Require(cursor.next == before + node.length && cursor.next <= length, "cursor advances");
        if (kind == NodeEndTag) {
            Require(cursor.left > before && cursor.right >= cursor.left - 1 &&
                        cursor.right < cursor.next,
                    "end tag name inside the node");
        }
    }
}

// Each record lies inside the text and sits in exactly one consistent sibling list.
void CheckIndex(const XmlDocument& doc) {
    const auto length = static_cast<int64_t>(doc.DocText().size());
    const int32_t count = doc.PosFree();
    Require(count >= 1 && count <= doc.Records().size(), "records in use are allocated");
    std::vector<int32_t> seen(static_cast<size_t>(count), 0);
    for (int32_t parent = 0; parent < count; ++parent) {
        const ElementRecord& p = doc.Record(parent);
        if (parent > 0) {
            Require(p.start >= 0 && p.start < length && p.length > 0 &&
                        p.start + static_cast<int64_t>(p.length) <= length,
                    "record inside the text");
            Require(p.parent >= 0 && p.parent < parent, "parent comes first");
        }
        const int32_t first = p.firstChild;
        if (first == 0) {
            continue;
        }
        Require(first > parent && first < count, "first child in range");
        int32_t previous = 0;
        for (int32_t child = first; child != 0; child = doc.Record(child).next) {
            Require(child > 0 && child < count && seen[child]++ == 0, "child listed once");
            const ElementRecord& c = doc.Record(child);
            Require(c.parent == parent, "child names its parent");
            if (previous != 0) {
                Require(c.prev == previous, "prev names the previous sibling");
            }
            previous = child;
        }
        Require(doc.Record(first).prev == previous, "first child's prev names the last child");
    }
    for (int32_t i = 1; i < count; ++i) {
        Require(seen[i] == 1, "every element is some element's child");
    }
}

// The same parse with every end tag matched through the index of open names must give the same
// answer, record for record, as the walk over the open elements.
void CheckIndexAgrees(const std::string& text, const XmlDocument& walked, bool wellFormed) {
    SetEndTagIndexFromStart(true);
    XmlDocument indexed;
    const bool indexedWellFormed = indexed.SetDocument(text);
    SetEndTagIndexFromStart(false);
    Require(indexedWellFormed == wellFormed && indexed.ErrorText() == walked.ErrorText() &&
                indexed.PosFree() == walked.PosFree(),
            "the index matches end tags as the walk does");
    for (int32_t i = 0; i < walked.PosFree(); ++i) {
        const ElementRecord& a = walked.Record(i);
        const ElementRecord& b = indexed.Record(i);
        Require(a.start == b.start && a.length == b.length && a.tagLengths == b.tagLengths &&
                    a.flags == b.flags && a.parent == b.parent && a.firstChild == b.firstChild &&
                    a.next == b.next && a.prev == b.prev,
                "the index gives the same records as the walk");
    }
}

void Navigate(XmlDocument& doc, const char* name, const char* attribute) {
    doc.ResetPosition();
    for (int step = 0; step < kMaxNavigationSteps; ++step) {
        if (doc.FindElement(name)) {
            doc.GetAttribute(attribute);
            doc.GetData();
            doc.IntoElement();
            doc.GetData();
        } else if (!doc.OutOfElement()) {
            return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckScan(text);

    XmlDocument doc;
    const bool wellFormed = doc.SetDocument(text);
    Require(!wellFormed || doc.ErrorText().empty(), "a well-formed document has no message");
    Require(wellFormed || !doc.ErrorText().empty(), "an ill-formed document has a message");
    CheckIndex(doc);
    CheckIndexAgrees(text, doc, wellFormed);

    // Names taken from the input itself, so that the fuzzer can steer matches.
    const std::string name = text.substr(0, std::min<size_t>(size, 3));
    const std::string attribute = size > 3 ? text.substr(3, 2) : std::string("b");
    Navigate(doc, nullptr, attribute.c_str());
    Navigate(doc, name.c_str(), "a");
    Navigate(doc, "", name.c_str());

    DecodeText(doc.DocText().c_str(), static_cast<int32_t>(doc.DocText().size()));
    return 0;
}
