// Tests of the navigation over the element index.
#include "xml/xml_document.h"

#include <doctest/doctest.h>

#include <string>

using namespace qm;

namespace {

// The attribute `name` of the root element of `text`.
std::string RootAttribute(const std::string& text, const char* name) {
    XmlDocument doc;
    doc.SetDocument(text);
    REQUIRE(doc.FindElement());
    return doc.GetAttribute(name);
}

std::string RootData(const std::string& text) {
    XmlDocument doc;
    doc.SetDocument(text);
    REQUIRE(doc.FindElement());
    return doc.GetData();
}

} // namespace

TEST_CASE("navigation_find_into_out") {
    XmlDocument doc;
    REQUIRE(doc.SetDocument("<ref><Other/><Component ref='x'/><Component ref='y'/></ref>"));
    SUBCASE("level by level") {
        CHECK(doc.FindElement("ref"));
        CHECK(doc.Pos() == 1);
        CHECK(doc.NodeType() == NodeElement);
        doc.IntoElement();
        CHECK(doc.PosParent() == 1);
        CHECK(doc.Pos() == 0);
        CHECK(doc.NodeType() == 0);
        CHECK(doc.FindElement("Component"));
        CHECK(doc.Pos() == 3);
        CHECK(doc.GetAttribute("ref") == "x");
        CHECK(doc.GetAttribute("Ref").empty());
        // The next match comes after the current element.
        CHECK(doc.FindElement("Component"));
        CHECK(doc.GetAttribute("ref") == "y");
        // A failed search keeps the position.
        CHECK_FALSE(doc.FindElement("Component"));
        CHECK(doc.Pos() == 4);
        CHECK(doc.OutOfElement());
        CHECK(doc.Pos() == 1);
        CHECK(doc.PosChild() == 4);
        CHECK(doc.PosParent() == 0);
        CHECK(doc.NodeType() == NodeElement);
        CHECK_FALSE(doc.OutOfElement());
        CHECK(doc.Pos() == 1);
    }
    SUBCASE("the top level holds only the root") {
        CHECK_FALSE(doc.FindElement("Component"));
        CHECK(doc.Pos() == 0);
    }
    SUBCASE("an empty or null name takes the next element") {
        CHECK(doc.FindElement(""));
        doc.IntoElement();
        CHECK(doc.FindElement(nullptr));
        CHECK(doc.Pos() == 2);
        CHECK(doc.FindElement());
        CHECK(doc.Pos() == 3);
    }
    SUBCASE("a tail after the name is ignored, a prefix is no match") {
        CHECK(doc.FindElement("ref x"));
        doc.IntoElement();
        CHECK(doc.FindElement("Component[1]"));
        CHECK(doc.Pos() == 3);
        doc.ResetPosition();
        CHECK(doc.FindElement("ref"));
        doc.IntoElement();
        CHECK_FALSE(doc.FindElement("Comp"));
    }
    SUBCASE("out of an element entered but not searched") {
        CHECK(doc.FindElement("ref"));
        doc.IntoElement();
        CHECK(doc.OutOfElement());
        CHECK(doc.Pos() == 1);
        CHECK(doc.PosChild() == 0);
        CHECK(doc.GetAttribute("x").empty());
    }
    SUBCASE("a new parse resets the position") {
        CHECK(doc.FindElement("ref"));
        doc.SetDocument("<a/>");
        CHECK(doc.Pos() == 0);
        CHECK(doc.PosParent() == 0);
    }
}

TEST_CASE("navigation_attribute_values") {
    struct Row {
        const char* text;
        const char* name;
        const char* value;
    };
    const Row rows[] = {
        {"<a b='1' e='2'/>", "e", "2"},
        {"<a b='1' e='2'/>", "b", "1"},
        {"<a b = '1'/>", "b", "1"},
        {"<a b=\"it's\"/>", "b", "it's"},
        {"<a\tb='1'\r\n/>", "b", "1"},
        // A value-less attribute yields its own name.
        {"<a b e='2'/>", "b", "b"},
        {"<a e='2' b>", "b", "b"},
        {"<a b/>", "b", "b"},
        // An unquoted value ends only at whitespace or '>'.
        {"<a b=x/y>", "b", "x/y"},
        {"<a b=x e=y>", "e", "y"},
        {"<a b='a&lt;b&amp;e'/>", "b", "a<b&e"},
        {"<a b='&#x1F600;'/>", "b", "\xF0\x9F\x98\x80"},
        {"<a b=''/>", "b", ""},
        // The element's own name is not an attribute; neither is a value.
        {"<a a='1'/>", "a", "1"},
        {"<a b='e'/>", "e", ""},
        {"<a b='1'/>", "", ""},
        {"<a b='1'/>", "c", ""},
        // Tails on the requested name are ignored.
        {"<a b='1'/>", "b x", "1"},
        // The search stops at the end of the start tag.
        {"<a><b c='1'/></a>", "c", ""},
        {"<a b='x>y' c='2'>z</a>", "c", "2"},
        // An attribute quoted with the other quote inside.
        {"<a b='say \"hi\"'/>", "b", "say \"hi\""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CAPTURE(row.name);
        CHECK(RootAttribute(row.text, row.name) == row.value);
    }
}

TEST_CASE("navigation_attribute_without_current_element") {
    XmlDocument doc;
    REQUIRE(doc.SetDocument("<a b='1'/>"));
    CHECK(doc.GetAttribute("b").empty());
    REQUIRE(doc.FindElement("a"));
    CHECK(doc.GetAttribute(nullptr).empty());
    doc.IntoElement();
    CHECK(doc.GetAttribute("b").empty());
}

TEST_CASE("navigation_element_data") {
    struct Row {
        const char* text;
        const char* data;
    };
    const Row rows[] = {
        {"<a>abc</a>", "abc"},
        {"<a>x<!--z-->y</a>", "xy"},
        {"<a><![CDATA[<b>]]></a>", "<b>"},
        {"<a>1<![CDATA[&lt;]]>&lt;</a>", "1&lt;<"},
        {"<a><b/>text</a>", ""},
        {"<a/>", ""},
        {"<a></a>", ""},
        {"<a> x &amp; y </a>", " x & y "},
        // With markup inside, whitespace-only runs are skipped.
        {"<a> <?pi?> x </a>", " x "},
        {"<a>  <!-- c -->  </a>", ""},
        {"<a>p<?pi?>q</a>", "pq"},
        {"<a><![CDATA[]]></a>", ""},
        {"<a>&#65;&#x42;</a>", "AB"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CHECK(RootData(row.text) == row.data);
    }
    SUBCASE("no current element gives no data") {
        XmlDocument doc;
        REQUIRE(doc.SetDocument("<a>abc</a>"));
        CHECK(doc.GetData().empty());
        // Without a root element the document record has no children: its text is still not
        // the data of anything.
        CHECK_FALSE(doc.SetDocument("abc"));
        CHECK(doc.GetData().empty());
    }
    SUBCASE("an unended element has no data") {
        XmlDocument doc;
        doc.SetDocument("<a>abc");
        REQUIRE(doc.FindElement("a"));
        CHECK(doc.GetData().empty());
    }
}
