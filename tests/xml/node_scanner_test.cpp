// Tests of the node scanner.
#include "xml/node_scanner.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

using namespace qm;

namespace {

struct Scanned {
    int32_t kind;
    int32_t start;
    int32_t length;
    uint32_t flags;
    std::string text; // node text, or the end tag's name span
};

// Every node of `text` up to NodeEnd.
std::vector<Scanned> ScanAll(const std::string& text) {
    TokenCursor cursor;
    cursor.doc = text.c_str();
    NodeInfo node;
    std::vector<Scanned> nodes;
    for (;;) {
        const int32_t before = cursor.next;
        const int32_t kind = ScanNode(cursor, node);
        if (kind == NodeEnd) {
            CHECK(cursor.next == before);
            return nodes;
        }
        // The cursor always moves, to just past the node.
        REQUIRE(cursor.next == node.start + node.length);
        REQUIRE(node.length > 0);
        REQUIRE(node.type == kind);
        std::string text_ = node.text;
        if (kind == NodeEndTag) {
            text_ = text.substr(static_cast<size_t>(cursor.left),
                                static_cast<size_t>(cursor.right - cursor.left + 1));
        } else if (kind != NodeElement && kind != NodeProcessingInstruction && kind != NodeError) {
            text_.clear();
        }
        nodes.push_back({kind, node.start, node.length, node.nodeFlags, text_});
    }
}

void CheckFirstNode(const std::string& input, const Scanned& expected) {
    CAPTURE(input);
    const std::vector<Scanned> nodes = ScanAll(input);
    REQUIRE(!nodes.empty());
    CHECK(nodes[0].kind == expected.kind);
    CHECK(nodes[0].start == expected.start);
    CHECK(nodes[0].length == expected.length);
    CHECK(nodes[0].flags == expected.flags);
    CHECK(nodes[0].text == expected.text);
}

} // namespace

TEST_CASE("scanner_tag_kinds_first_node") {
    struct Row {
        const char* input;
        Scanned expected;
    };
    const Row rows[] = {
        {"<a/>", {NodeElement, 0, 4, NodeEmptyElement, "a"}},
        {"<a />", {NodeElement, 0, 5, NodeEmptyElement, "a"}},
        {"<a b='1'/>", {NodeElement, 0, 10, NodeEmptyElement, "a"}},
        {"<a b=\"1\"/>", {NodeElement, 0, 10, NodeEmptyElement, "a"}},
        // The '/' follows a value character: the element stays open.
        {"<a b=1/>", {NodeElement, 0, 8, 0, "a"}},
        {"<a>", {NodeElement, 0, 3, 0, "a"}},
        {"<a\tb='x>y'>", {NodeElement, 0, 11, 0, "a"}},
        {"<a b=\"it's\">", {NodeElement, 0, 12, 0, "a"}},
        {"<Comp-1.x_y:z>", {NodeElement, 0, 14, 0, "Comp-1.x_y:z"}},
        {"<_a>", {NodeElement, 0, 4, 0, "_a"}},
        {"<\xC4\xE3>", {NodeElement, 0, 4, 0, "\xC4\xE3"}},
        {"<{/>", {NodeElement, 0, 4, NodeEmptyElement, "{"}},
        {"</a >", {NodeEndTag, 0, 5, 0, "a"}},
        {"</a>", {NodeEndTag, 0, 4, 0, "a"}},
        {"</>", {NodeEndTag, 0, 3, 0, ""}},
        // An end tag ends at the first '>', quotes or not.
        {"</a x='>'>", {NodeEndTag, 0, 8, 0, "a"}},
        {"<?xml version='1.0'?>", {NodeProcessingInstruction, 0, 21, 0, "xml"}},
        {"<?xml?>", {NodeProcessingInstruction, 0, 7, 0, "xml?"}},
        {"<!-- x -->", {NodeComment, 0, 10, 0, ""}},
        {"<!---->", {NodeComment, 0, 7, 0, ""}},
        {"<!-- a > b -->", {NodeComment, 0, 14, 0, ""}},
        {"<![CDATA[1<2]]>", {NodeCData, 0, 15, 0, ""}},
        {"<![CDATA[a]>b]]>", {NodeCData, 0, 16, 0, ""}},
        {"<!DOCTYPE r [<!ELEMENT r ANY>]>", {NodeDocType, 0, 31, 0, ""}},
        {"<!DOCTYPE r [<!ENTITY e 'a>b'>]>", {NodeDocType, 0, 32, 0, ""}},
        {"<!DOCTYPE r [<!-- > -->]>", {NodeDocType, 0, 25, 0, ""}},
        {"<!ELEMENT r ANY>", {NodeDocType, 0, 16, 0, ""}},
        {"<!ATTLIST r>", {NodeDocType, 0, 12, 0, ""}},
        {"<!NOTATION n>", {NodeDocType, 0, 13, 0, ""}},
    };
    for (const Row& row : rows) {
        CheckFirstNode(row.input, row.expected);
    }
}

TEST_CASE("scanner_malformed_error_nodes") {
    struct Row {
        const char* input;
        Scanned expected;
    };
    const Row rows[] = {
        {"<1>", {NodeError, 0, 3, 0, "Incorrect tag name character at offset 0"}},
        {"<!- x>", {NodeError, 0, 6, 0, "Incorrect comment tag at offset 0"}},
        {"<!x>", {NodeError, 0, 4, 0, "Incorrect ! tag at offset 0"}},
        {"<![x>", {NodeError, 0, 5, 0, "Incorrect tag at offset 0"}},
        // The character that raises the error belongs to the error node.
        {"<<a/>", {NodeError, 0, 5, 0, "Incorrect tag name character at offset 0"}},
        {"<>", {NodeError, 0, 2, 0, "tag at offset 0 unterminated"}},
        // An error node stops before the next '<' ...
        {"< a<b/>", {NodeError, 0, 3, 0, "Incorrect tag name character at offset 0"}},
        // ... and ends at a '>' only outside quotes.
        {"<1 a='>'>", {NodeError, 0, 9, 0, "Incorrect tag name character at offset 0"}},
        {"<a", {NodeError, 0, 2, 0, "Element tag at offset 0 unterminated"}},
        {"<a b='>", {NodeError, 0, 7, 0, "Element tag at offset 0 unterminated"}},
        {"</a", {NodeError, 0, 3, 0, "Element end tag at offset 0 unterminated"}},
        {"<![CDATA[x]]", {NodeError, 0, 12, 0, "CDATA Section at offset 0 unterminated"}},
        {"<?pi ?", {NodeError, 0, 6, 0, "Processing instruction at offset 0 unterminated"}},
        // The terminator must lie past the node's own opening characters.
        {"<?>", {NodeError, 0, 3, 0, "Processing instruction at offset 0 unterminated"}},
        {"<!-- x --", {NodeError, 0, 9, 0, "Comment at offset 0 unterminated"}},
        {"<!DOCTYPE r", {NodeError, 0, 11, 0, "Doctype at offset 0 unterminated"}},
        {"<!ELEMENT r", {NodeError, 0, 11, 0, "Doctype at offset 0 unterminated"}},
        {"<", {NodeError, 0, 1, 0, "tag at offset 0 unterminated"}},
        {"<!", {NodeError, 0, 2, 0, "tag at offset 0 unterminated"}},
        // An error inside a document type ends the node at the next '>' and names the
        // offset of the last nested declaration's '>'.
        {"<!DOCTYPE r [<!ELEMENT r ANY><!x>]>",
         {NodeError, 0, 33, 0, "Incorrect ! tag at offset 28"}},
        {"<!DOCTYPE r [<!x>]>", {NodeError, 0, 17, 0, "Incorrect ! tag at offset 0"}},
        {"<!DOCTYPE r [<![CDATA[x]]>]>", {NodeError, 0, 26, 0, "Incorrect ! tag at offset 0"}},
        // An unterminated error inside a document type is reported as the document type.
        {"<!DOCTYPE r [<1", {NodeError, 0, 15, 0, "Doctype at offset 0 unterminated"}},
    };
    for (const Row& row : rows) {
        CheckFirstNode(row.input, row.expected);
    }
}

TEST_CASE("scanner_text_and_whitespace_runs") {
    SUBCASE("text ends before '<' or at a '>' that is not its first character") {
        const std::vector<Scanned> nodes = ScanAll("a>b<x/>");
        REQUIRE(nodes.size() == 3);
        CHECK(nodes[0].kind == NodeText);
        CHECK(nodes[0].length == 2);
        CHECK(nodes[1].kind == NodeText);
        CHECK(nodes[1].start == 2);
        CHECK(nodes[1].length == 1);
        CHECK(nodes[2].kind == NodeElement);
        CHECK(nodes[2].start == 3);
    }
    SUBCASE("a leading '>' does not end the text") {
        const std::vector<Scanned> nodes = ScanAll(">x<a/>");
        REQUIRE(nodes.size() == 2);
        CHECK(nodes[0].kind == NodeText);
        CHECK(nodes[0].length == 2);
    }
    SUBCASE("whitespace is space, TAB, LF and CR only") {
        const std::vector<Scanned> nodes = ScanAll(" \t\r\n<a/>\v<b/>");
        REQUIRE(nodes.size() == 4);
        CHECK(nodes[0].kind == NodeWhitespace);
        CHECK(nodes[0].length == 4);
        CHECK(nodes[2].kind == NodeText); // a vertical tab is text
        CHECK(nodes[2].length == 1);
    }
    SUBCASE("whitespace turns into text at the first other character") {
        const std::vector<Scanned> nodes = ScanAll("  x <a/>");
        REQUIRE(nodes.size() == 2);
        CHECK(nodes[0].kind == NodeText);
        CHECK(nodes[0].length == 4);
    }
    SUBCASE("text and whitespace run to the end of the text") {
        CHECK(ScanAll("abc").at(0).length == 3);
        CHECK(ScanAll("  ").at(0).kind == NodeWhitespace);
        CHECK(ScanAll("  ").at(0).length == 2);
    }
}

TEST_CASE("scanner_positions_are_node_relative") {
    // The same nodes give the same kinds and lengths wherever they sit.
    const std::string nodes = "<?p?><!----><![CDATA[]]><a/>";
    for (const std::string prefix : {"", "x", "xyz", "   "}) {
        CAPTURE(prefix);
        const std::vector<Scanned> scanned = ScanAll(prefix + nodes);
        const size_t skip = prefix.empty() ? 0 : 1;
        REQUIRE(scanned.size() == 4 + skip);
        CHECK(scanned[skip].kind == NodeProcessingInstruction);
        CHECK(scanned[skip].length == 5);
        CHECK(scanned[skip + 1].kind == NodeComment);
        CHECK(scanned[skip + 1].length == 7);
        CHECK(scanned[skip + 2].kind == NodeCData);
        CHECK(scanned[skip + 2].length == 12);
        CHECK(scanned[skip + 3].flags == NodeEmptyElement);
    }
    SUBCASE("a terminator counts only after the node's own start") {
        // "?>" at offset 2 of the text, but at 1 of the node: the '?' opened the node.
        const std::vector<Scanned> scanned = ScanAll("x<?>");
        REQUIRE(scanned.size() == 2);
        CHECK(scanned[1].kind == NodeError);
        CHECK(scanned[1].text == "Processing instruction at offset 1 unterminated");
    }
    SUBCASE("messages carry the node's own offset") {
        const std::vector<Scanned> scanned = ScanAll("<a/>\n<1>");
        REQUIRE(scanned.size() == 3);
        CHECK(scanned[2].text == "Incorrect tag name character at offset 5");
    }
}

TEST_CASE("scanner_document_type_quirks_kept") {
    SUBCASE("nested markup may leave a name and the empty flag on the document type") {
        const std::vector<Scanned> scanned = ScanAll("<!DOCTYPE r [<e/>]>");
        REQUIRE(scanned.size() == 1);
        CHECK(scanned[0].kind == NodeDocType);
        CHECK(scanned[0].flags == NodeEmptyElement);
    }
    SUBCASE("quotes at the document type's own level are not tracked") {
        const std::vector<Scanned> scanned = ScanAll("<!DOCTYPE r 'a>b'><r/>");
        REQUIRE(scanned.size() == 3);
        CHECK(scanned[0].kind == NodeDocType);
        CHECK(scanned[0].length == 15);
    }
}

TEST_CASE("scanner_end_of_text") {
    TokenCursor cursor;
    const std::string text = "<a/>";
    cursor.doc = text.c_str();
    cursor.next = 4;
    NodeInfo node;
    node.type = NodeElement;
    node.length = 9;
    CHECK(ScanNode(cursor, node) == NodeEnd);
    CHECK(cursor.next == 4);
    CHECK(node.type == 0);
    CHECK(node.length == 0);
    CHECK(node.start == 4);
    // An empty text is at its end at once.
    const std::string empty;
    cursor.doc = empty.c_str();
    cursor.next = 0;
    CHECK(ScanNode(cursor, node) == NodeEnd);
}
