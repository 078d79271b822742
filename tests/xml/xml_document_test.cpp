// Tests of the XML document.
#include "xml/xml_document.h"

#include <doctest/doctest.h>

#include <string>
#include <utility>
#include <vector>

using namespace qm;

namespace {

// start, length, start-tag length, end-tag length, flags, parent, firstChild, next, prev
struct Rec {
    int32_t start, length, startTag, endTag;
    uint32_t flags;
    int32_t parent, firstChild, next, prev;
};

void CheckRecords(const XmlDocument& doc, const std::vector<Rec>& expected) {
    REQUIRE(doc.PosFree() == static_cast<int32_t>(expected.size()));
    for (int32_t i = 0; i < doc.PosFree(); ++i) {
        CAPTURE(i);
        const ElementRecord& r = doc.Record(i);
        const Rec& e = expected[static_cast<size_t>(i)];
        CHECK(r.start == e.start);
        CHECK(r.length == e.length);
        CHECK(r.StartTagLength() == e.startTag);
        CHECK(r.EndTagLength() == e.endTag);
        CHECK(r.flags == e.flags);
        CHECK(r.parent == e.parent);
        CHECK(r.firstChild == e.firstChild);
        CHECK(r.next == e.next);
        CHECK(r.prev == e.prev);
    }
}

constexpr uint32_t kFirst = ElementFirstChild;
constexpr uint32_t kUnended = ElementNotEnded;
constexpr uint32_t kError = ElementHasError;
constexpr uint32_t kIll = DocumentIllFormed;

} // namespace

TEST_CASE("document_fresh_and_empty") {
    XmlDocument doc;
    CHECK(doc.ErrorText() == "Empty document");
    CHECK(doc.Records().size() == 8);
    CHECK(doc.PosFree() == 1);
    CheckRecords(doc, {{0, 0, 0, 0, 0, 0, 0, 0, 0}});
    CHECK_FALSE(doc.SetDocument(""));
    CHECK(doc.ErrorText() == "Empty document");
    CHECK_FALSE(doc.SetDocument(static_cast<const char*>(nullptr)));
    CHECK(doc.DocText().empty());
}

TEST_CASE("document_parse_well_formed_records") {
    SUBCASE("one empty element") {
        XmlDocument doc;
        CHECK(doc.SetDocument("<a/>"));
        CHECK(doc.ErrorText().empty());
        CheckRecords(doc, {{0, 4, 0, 0, 0, 0, 1, 0, 0}, {0, 4, 4, 0, kFirst, 0, 0, 0, 1}});
    }
    SUBCASE("children and the last-child link") {
        XmlDocument doc;
        CHECK(doc.SetDocument("<a><b/><d/></a>"));
        CheckRecords(doc, {{0, 15, 0, 0, 0, 0, 1, 0, 0},
                           {0, 15, 3, 4, kFirst, 0, 2, 0, 1},
                           {3, 4, 4, 0, kFirst | 1, 1, 0, 3, 3},
                           {7, 4, 4, 0, 1, 1, 0, 0, 2}});
    }
    SUBCASE("levels and lengths of nested elements") {
        XmlDocument doc;
        CHECK(doc.SetDocument("<a><b><c>x</c ></b></a>"));
        CheckRecords(doc, {{0, 23, 0, 0, 0, 0, 1, 0, 0},
                           {0, 23, 3, 4, kFirst, 0, 2, 0, 1},
                           {3, 16, 3, 4, kFirst | 1, 1, 3, 0, 2},
                           {6, 9, 3, 5, kFirst | 2, 2, 0, 0, 3}});
    }
    SUBCASE("markup around the root does not spoil the document") {
        XmlDocument doc;
        CHECK(doc.SetDocument("\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!DOCTYPE r [<!ELEMENT r "
                              "ANY>]><!-- c --><r><![CDATA[<x>]]></r> <?pi?> tail"));
        CHECK(doc.PosFree() == 2);
    }
    SUBCASE("end tags match by name with a tail") {
        XmlDocument doc;
        CHECK(doc.SetDocument("<a[x]></a>"));
        CHECK_FALSE(doc.SetDocument("<a></a=b>"));
        CHECK(doc.ErrorText() == "No start tag for end tag 'a=b' at offset 3");
    }
    SUBCASE("a space before the closing slash keeps the element empty") {
        XmlDocument doc;
        CHECK(doc.SetDocument("<r><a b /></r>"));
        CHECK(doc.Record(2).length == 7);
        CHECK(doc.Record(2).EndTagLength() == 0);
    }
    SUBCASE("the text ends at its first zero byte") {
        XmlDocument doc;
        CHECK(doc.SetDocument(std::string("<a/>\0<b/>", 9)));
        CHECK(doc.DocText() == "<a/>");
    }
}

TEST_CASE("document_parse_messages") {
    struct Row {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {"  text only  ", "No root element"},
        {"<a/><b/>", "Root element has sibling"},
        {"<a></b></a>", "No start tag for end tag 'b' at offset 3"},
        {"<a><b></a>", "End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
        {"<a><b>", "Element 'b' at offset 3 not ended"},
        {"<a><b><d/></b", "Element end tag at offset 10 unterminated"},
        {"</>", "No root element"},
        {"<a></></a>", "No start tag for end tag '' at offset 3"},
        // The first problem wins over later ones and over "Root element has sibling".
        {"<a><1></a><b/>", "Incorrect tag name character at offset 3"},
        {"<a></x><y></a>", "No start tag for end tag 'x' at offset 3"},
        // "No root element" always has the last word.
        {"</x><1>", "No root element"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument(row.text));
        CHECK(doc.ErrorText() == row.message);
    }
}

TEST_CASE("document_parse_repairs_bad_nesting") {
    SUBCASE("an end tag that closes nothing is ignored") {
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument("<a></b></a>"));
        CheckRecords(doc,
                     {{0, 11, 0, 0, kIll, 0, 1, 0, 0}, {0, 11, 3, 4, kFirst | kError, 0, 0, 0, 1}});
    }
    SUBCASE("an outer end tag closes the inner element as unended") {
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument("<a><b></a>"));
        CheckRecords(doc, {{0, 10, 0, 0, kIll, 0, 1, 0, 0},
                           {0, 10, 3, 4, kFirst, 0, 2, 0, 1},
                           {3, 3, 3, 0, kFirst | kUnended | 1, 1, 0, 0, 2}});
    }
    SUBCASE("children of an unended element follow it and keep their flags") {
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument("<a><b>"));
        CheckRecords(doc, {{0, 6, 0, 0, kIll, 0, 1, 0, 0},
                           {0, 3, 3, 0, kFirst | kUnended, 0, 0, 2, 2},
                           {3, 3, 3, 0, kFirst | kUnended | 1, 0, 0, 0, 1}});
    }
    SUBCASE("moved children join the end of the parent's list") {
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument("<r><x/><a><b/><c/></r>"));
        CheckRecords(doc, {{0, 22, 0, 0, kIll, 0, 1, 0, 0},
                           {0, 22, 3, 4, kFirst, 0, 2, 0, 1},
                           {3, 4, 4, 0, kFirst | 1, 1, 0, 3, 5},
                           {7, 3, 3, 0, kUnended | 1, 1, 0, 4, 2},
                           {10, 4, 4, 0, kFirst | 2, 1, 0, 5, 3},
                           {14, 4, 4, 0, 2, 1, 0, 0, 4}});
    }
    SUBCASE("an error moves up with the unended element's children") {
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument("<a><b><1></a>"));
        CHECK(doc.ErrorText() == "Incorrect tag name character at offset 6");
        CHECK((doc.Record(2).flags & kError) == 0);
        CHECK((doc.Record(1).flags & kError) != 0);
        CHECK((doc.Record(0).flags & kIll) != 0);
    }
    SUBCASE("a problem with nothing open marks the document record") {
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument("<1><a/>"));
        CHECK(doc.Record(0).flags == (kIll | kError));
        CHECK_FALSE(doc.SetDocument("<a/><b/>"));
        CHECK(doc.Record(0).flags == 0);
    }
    SUBCASE("a deep unended chain flattens under the document") {
        std::string text;
        constexpr int kDepth = 100000;
        for (int i = 0; i < kDepth; ++i) {
            text += "<e>";
        }
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument(text));
        CHECK(doc.ErrorText() ==
              "Element 'e' at offset " + std::to_string(3 * (kDepth - 1)) + " not ended");
        REQUIRE(doc.PosFree() == kDepth + 1);
        for (int32_t i = 1; i <= kDepth; ++i) {
            const ElementRecord& r = doc.Record(i);
            if (r.parent != 0 || r.next != (i < kDepth ? i + 1 : 0) ||
                r.flags != (kFirst | kUnended | (static_cast<uint32_t>(i - 1) & 0xFFFF))) {
                FAIL("record " << i << " is not a flattened sibling");
            }
        }
        CHECK(doc.Record(1).prev == kDepth);
    }
}

TEST_CASE("document_index_grows_across_segments") {
    // Short elements, so that the first guess (one record per 64 characters) falls short.
    constexpr int kChildren = 140000;
    std::string text = "<r>";
    for (int i = 0; i < kChildren; ++i) {
        text += "<e/>";
    }
    text += "</r>";
    XmlDocument doc;
    REQUIRE(doc.SetDocument(text));
    CHECK(doc.PosFree() == kChildren + 2);
    CHECK(doc.Records().size() >= doc.PosFree());
    CHECK(doc.Records().segmentSlots() >= 3);
    // Every record still holds what the parse wrote, across segment boundaries.
    bool linked = true;
    for (int32_t i = 2; i < doc.PosFree(); ++i) {
        const ElementRecord& r = doc.Record(i);
        linked = linked && r.start == 3 + 4 * (i - 2) && r.parent == 1 &&
                 r.next == (i + 1 < doc.PosFree() ? i + 1 : 0) && (r.flags & 0xFFFF) == 1;
    }
    CHECK(linked);
    CHECK(doc.Record(2).prev == doc.PosFree() - 1);
    SUBCASE("a second parse reuses the segments") {
        const int32_t size = doc.Records().size();
        CHECK(doc.SetDocument("<a/>"));
        CHECK(doc.PosFree() == 2);
        CHECK(doc.Records().size() == size);
    }
}

TEST_CASE("document_deep_nesting_well_formed") {
    constexpr int kDepth = 100000;
    std::string text;
    for (int i = 0; i < kDepth; ++i) {
        text += "<e>";
    }
    for (int i = 0; i < kDepth; ++i) {
        text += "</e>";
    }
    XmlDocument doc;
    CHECK(doc.SetDocument(text));
    CHECK((doc.Record(kDepth).flags & 0xFFFF) == ((kDepth - 1) & 0xFFFF));
    CHECK(doc.Record(kDepth).parent == kDepth - 1);
    CHECK(doc.Record(1).length == static_cast<int32_t>(text.size()));
}

TEST_CASE("document_level_wraps_within_its_bits") {
    // Levels are kept modulo 65536 and never spill into the flag bits.
    constexpr int kDepth = 65537;
    std::string text;
    for (int i = 0; i < kDepth; ++i) {
        text += "<e>";
    }
    for (int i = 0; i < kDepth; ++i) {
        text += "</e>";
    }
    XmlDocument doc;
    CHECK(doc.SetDocument(text));
    CHECK(doc.Record(65537).flags == kFirst);
    CHECK(doc.Record(65536).flags == (kFirst | 0xFFFF));
}

TEST_CASE("document_end_tag_matches_innermost_name_with_tail") {
    struct Row {
        const char* text;
        bool wellFormed;
        const char* message;
    };
    const Row rows[] = {
        // An open name goes on after the end tag's name with '=', '[' or ']'.
        {"<a[x]></a>", true, ""},
        {"<a=1></a>", true, ""},
        {"<a]b></a>", true, ""},
        {"<a[x]></a[x]>", true, ""},
        {"<a[x]></a[x>", true, ""},
        {"<a[x]></a[>", false, "No start tag for end tag 'a[' at offset 6"},
        {"<a></a=b>", false, "No start tag for end tag 'a=b' at offset 3"},
        {"<ab></a>", false, "No start tag for end tag 'a' at offset 4"},
        {"<a></ab>", false, "No start tag for end tag 'ab' at offset 3"},
        // The innermost match wins: it closes "a=1", and "b" is left unended.
        {"<a><a=1><b></a></a>", false,
         "End tag 'a' at offset 12 does not match start tag 'b' at offset 8"},
        // A closed element is no candidate any more.
        {"<r><a></a></a></r>", false, "No start tag for end tag 'a' at offset 10"},
        // Names that part from an open name, closed before it.
        {"<ab><ac></ac><a></a></ab>", true, ""},
        {"<abc><abd><ab></ab></abd><ab=1></ab></abc>", true, ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        XmlDocument doc;
        CHECK(doc.SetDocument(row.text) == row.wellFormed);
        CHECK(doc.ErrorText() == row.message);
    }
    SUBCASE("the innermost of equal names is closed") {
        XmlDocument doc;
        CHECK(doc.SetDocument("<a><b><a></a></b></a>"));
        CHECK(doc.Record(3).length == 7);
        CHECK(doc.Record(1).length == 21);
    }
}

TEST_CASE("document_many_stray_end_tags_stay_linear") {
    // Without an index of the open names every stray end tag would be compared with every
    // open element: this text would take hours.
    constexpr int kOpen = 100000;
    std::string text;
    for (int i = 0; i < kOpen; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < kOpen; ++i) {
        text += "</b>";
    }
    for (int i = 0; i < kOpen; ++i) {
        text += "</a=>";
    }
    XmlDocument doc;
    CHECK_FALSE(doc.SetDocument(text));
    CHECK(doc.ErrorText() == "No start tag for end tag 'b' at offset 300000");
    CHECK(doc.PosFree() == kOpen + 1);
    CHECK((doc.Record(kOpen).flags & ElementNotEnded) != 0);
}

TEST_CASE("document_end_tag_index_closes_the_innermost_match") {
    // The stray end tags spend the budget of the walk over the open elements, so the later end
    // tags are matched through the index of open names: an element opened after it was built,
    // a name matched at its '=' cut, the innermost of two candidates, an element closed before,
    // and every end tag after the strays are all told apart here.
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < 30; ++i) {
        text += "</b>";
    }
    text += "<a=x><b></a><c></c></c>";
    for (int i = 0; i < 100; ++i) {
        text += "</a>";
    }
    XmlDocument doc;
    CHECK_FALSE(doc.SetDocument(text));
    CHECK(doc.ErrorText() == "No start tag for end tag 'b' at offset 300");
    REQUIRE(doc.PosFree() == 104);
    CHECK(doc.Record(101).length == 12);
    CHECK(doc.Record(101).EndTagLength() == 4);
    CHECK(doc.Record(102).flags == 0x180065);
    CHECK(doc.Record(103).length == 7);
    CHECK(doc.Record(103).parent == 100);
    CHECK(doc.Record(1).length == static_cast<int32_t>(text.size()));
    bool allEnded = true;
    for (int32_t i = 1; i <= 100; ++i) {
        allEnded = allEnded && (doc.Record(i).flags & ElementNotEnded) == 0;
    }
    CHECK(allEnded);
}

TEST_CASE("document_hostile_end_tags_keep_their_answers") {
    // Shapes that once cost quadratic time or memory: open names full of cuts, a long shared
    // start, end tags longer than any name. Each ends with the end tags that close every
    // element, so matching must still be right after the strays.
    const auto repeat = [](const std::string& part, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += part;
        }
        return text;
    };
    const std::string cuts(2000, '=');
    const std::string shared(500, 'q');
    struct Row {
        const char* shape;
        std::string text;
        std::string message;
    };
    const Row rows[] = {
        {"names of many '=' and stray end tags",
         repeat("<a" + cuts + ">", 200) + repeat("</b>", 4000) + repeat("</a>", 200),
         "No start tag for end tag 'b' at offset 400600"},
        {"names that part after a long shared start",
         repeat("<" + shared + "1><" + shared + "2>", 200) + repeat("</" + shared + ">", 400) +
             repeat("</" + shared + "2></" + shared + "1>", 200),
         "No start tag for end tag '" + shared + "' at offset 201200"},
        {"end tags longer than every name",
         repeat("<a>", 300) + repeat("</a" + cuts + ">", 300) + repeat("</a>", 300),
         "No start tag for end tag 'a" + cuts + "' at offset 900"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.shape);
        XmlDocument doc;
        CHECK_FALSE(doc.SetDocument(row.text));
        CHECK(doc.ErrorText() == row.message);
        CHECK(doc.Record(1).length == static_cast<int32_t>(row.text.size()));
        CHECK((doc.Record(1).flags & ElementNotEnded) == 0);
    }
}

TEST_CASE("document_refuses_a_text_beyond_32_bit_offsets") {
    XmlDocument doc;
    REQUIRE(doc.SetDocument("<a/>"));
    if (sizeof(void*) < 8) {
        return; // a 32-bit process cannot hold such a text
    }
    std::string text(XmlDocument::kMaxTextLength + 1, ' ');
    text.front() = '<';
    CHECK_FALSE(doc.SetDocument(text.c_str()));
    CHECK(doc.ErrorText() == "Document too large");
    CHECK(doc.DocText().empty());
    CHECK(doc.PosFree() == 1);
    CHECK(doc.SetDocument("<a/>"));
    CHECK_FALSE(doc.SetDocument(std::move(text)));
    CHECK(doc.ErrorText() == "Document too large");
    CHECK(doc.SetDocument("<a/>"));
}

TEST_CASE("document_moved_from_can_be_used_again") {
    XmlDocument doc;
    REQUIRE(doc.SetDocument("<a><b/></a>"));
    REQUIRE(doc.FindElement("a"));
    XmlDocument moved(std::move(doc));
    CHECK(moved.PosFree() == 3);
    CHECK(moved.Pos() == 1);
    CHECK(moved.DocText() == "<a><b/></a>");
    CHECK(doc.PosFree() == 0);
    CHECK(doc.Pos() == 0);
    CHECK(doc.GetData().empty());
    CHECK_FALSE(doc.FindElement("a"));
    CHECK(doc.SetDocument("<c>x</c>"));
    REQUIRE(doc.FindElement("c"));
    CHECK(doc.GetData() == "x");

    XmlDocument assigned;
    assigned = std::move(moved);
    CHECK(assigned.Pos() == 1);
    CHECK(moved.PosFree() == 0);
    CHECK(moved.SetDocument("<d/>"));
    CHECK(moved.PosFree() == 2);
}
