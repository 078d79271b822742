// Tests of the reader's messages.
#include "xml/xml_messages.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("messages_format_placeholders") {
    CHECK(FormatXmlMessage(xml_message::kEndTagMismatch, {"a", 7, "b", 3}) ==
          "End tag 'a' at offset 7 does not match start tag 'b' at offset 3");
    CHECK(FormatXmlMessage(xml_message::kNoStartTag, {"", 0}) ==
          "No start tag for end tag '' at offset 0");
    // A name that itself holds a placeholder is not formatted again.
    CHECK(FormatXmlMessage(xml_message::kNotEnded, {"%s%d", -5}) ==
          "Element '%s%d' at offset -5 not ended");
    CHECK(FormatXmlMessage(xml_message::kIncorrect, {"tag"}) == "Incorrect tag at offset %d");
}
