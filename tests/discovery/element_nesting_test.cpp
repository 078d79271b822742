// Tests of the components.xml nesting guard.
#include "discovery/element_nesting.h"

#include <doctest/doctest.h>

#include <string>

using namespace qm;

// Depths as rapidxml's default parse reaches them; the fuzz target checks the rest.
TEST_CASE("element_nesting_follows_parser") {
    struct Row {
        const char* text;
        std::size_t depth;
    };
    const Row rows[] = {
        {"", 0},
        {"<a><b><c/></b><b/></a>", 3},
        {"<a><b><c></c></b></a>", 3},
        {"\xEF\xBB\xBF<a><b/></a>", 2},
        {"<a>x>y<b/></a>", 2},
        // End tag names are not compared with the open element's.
        {"<a><b></x></y>", 2},
        // Markup that opens nothing.
        {"<?xml version='1.0'?><!-- <a><b> --><r><![CDATA[<x><y>]]></r>", 1},
        {"<?xml?><r/>", 1},
        {"<?pi <a> ?><r/>", 1},
        {"<!-->--><r/>", 1},
        {"<!-x><r/>", 1},
        {"<!DOCTYPE r [<!ELEMENT r ANY>]><r/>", 1},
        {"<!DOCTYPE r [[]>]><r/>", 1},
        // A '>' inside a quoted value does not end the tag; "/>" inside quotes is not empty.
        {"<r a='>'><s b=\"/>\"/></r>", 2},
        {"<r a='>'><s b=\"/>\"></s></r>", 2},
        // A quote is a name character in element and attribute names.
        {"<Setup\"><a><a>", 3},
        {"<Setup a\"b='x'><a><a>", 3},
        // An unknown "<!" ends at its first '>', brackets or not; DOCTYPE brackets skip quotes.
        {"<!ENTITY [><r><a><a>", 3},
        {"<!DOCTYPE r [ ' ]><r><a>", 2},
        {"<!doctype r [<a>]><r>", 0},
        // The parser stops at its first error: nothing after it counts.
        {"<!-- never closed <a><b><c>", 0},
        {"<a x='never closed <b><c>", 1},
        {"<a><b></b x></a><c><d>", 2},
        {"x<a><b>", 0},
        {"<a></a></b><c><d>", 1},
    };
    for (const Row& row : rows) {
        const std::string text = row.text;
        CAPTURE(text);
        CHECK(DeepestElementNesting(text.c_str()) == row.depth);
    }
    SUBCASE("hostile depth") {
        std::string deep;
        for (int i = 0; i < 100000; ++i) {
            deep += "<a>";
        }
        CHECK(DeepestElementNesting(deep.c_str()) == 100000);
    }
}
