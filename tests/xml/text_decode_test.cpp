// Tests of the text decoding.
#include "xml/text_decode.h"

#include <doctest/doctest.h>

#include <string>

using namespace qm;

namespace {

std::string Decode(const std::string& text) {
    return DecodeText(text.c_str(), static_cast<int32_t>(text.size()));
}

} // namespace

TEST_CASE("decode_named_entities") {
    struct Row {
        const char* text;
        const char* decoded;
    };
    const Row rows[] = {
        {"a&lt;b&amp;e", "a<b&e"},
        {"&gt;&apos;&quot;", ">'\""},
        {"&lt", "&lt"},
        {"&LT;", "&LT;"},
        {"&unknown;", "&unknown;"},
        {"&", "&"},
        {"&&amp;", "&&"},
        {"&amp;lt;", "&lt;"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CHECK(Decode(row.text) == row.decoded);
    }
    SUBCASE("a name must end inside the decoded length") {
        const std::string doc = "&lt;";
        CHECK(DecodeText(doc.c_str(), 3) == "&lt");
    }
}

TEST_CASE("decode_numeric_references") {
    struct Row {
        const char* text;
        std::string decoded;
    };
    const Row rows[] = {
        {"&#65;", "A"},
        {"&#x41;", "A"},
        {"&#X41;", "&#X41;"}, // only a lower-case x selects base 16
        {"&#233;", "\xC3\xA9"},
        {"&#xE9;", "\xC3\xA9"},
        {"&#127;", "\x7F"},
        {"&#128;", "\xC2\x80"},
        {"&#2047;", "\xDF\xBF"},
        {"&#2048;", "\xE0\xA0\x80"},
        {"&#x4E2D;", "\xE4\xB8\xAD"},
        {"&#xFFFF;", "\xEF\xBF\xBF"},
        // Beyond 16 bits: four UTF-8 bytes, never the low 16 bits alone.
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&#x10000;", "\xF0\x90\x80\x80"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"&#x110000;", "&#x110000;"},
        {"&#0;", "&#0;"},
        {"&#;", "&#;"},
        {"&#x;", "&#x;"},
        {"&#abc;", "&#abc;"},
        // Negative values give their low byte, unless that byte is zero.
        {"&#-1;", "\xFF"},
        {"&#-256;", "&#-256;"},
        // Digits stop at the first non-digit.
        {"&#65x;", "A"},
        // The ';' must be among the 8 characters from the digits' start.
        {"&#0000065;", "A"},
        {"&#00000065;", "&#00000065;"},
        {"&#65", "&#65"},
        {"x&#65;y&#66;z", "xAyBz"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CHECK(Decode(row.text) == row.decoded);
    }
}

TEST_CASE("decode_reference_reaching_past_length") {
    // The ';' is looked for in the document beyond the decoded length; the reference still
    // decodes and decoding ends there.
    const std::string doc = "&#65;tail";
    CHECK(DecodeText(doc.c_str(), 3) == "A");
    // The look-ahead stops at the document's end.
    const std::string shortDoc = "&#6";
    CHECK(DecodeText(shortDoc.c_str(), 3) == "&#6");
    CHECK(DecodeText(doc.c_str(), 0).empty());
    CHECK(DecodeText(doc.c_str(), -1).empty());
}
