// Tests of XML name rules.
#include "xml/xml_names.h"

#include <doctest/doctest.h>

#include <string>

using namespace qm;

TEST_CASE("names_match_tails") {
    struct Row {
        const char* token;
        const char* name;
        bool matches;
    };
    const Row rows[] = {
        {"Component", "Component", true},
        {"Component", "Component x", true},
        {"Component", "Component=1", true},
        {"Component", "Component/sub", true},
        {"Component", "Component[2]", true},
        {"Component", "Component]", true},
        // Only those five characters start a tail; TAB, LF and CR do not.
        {"Component", "Component\tx", false},
        {"Component", "Component\nx", false},
        {"Component", "Component\rx", false},
        {"Component", "Components", false},
        {"Component", "Comp", false},
        {"Component", "component", false},
        {"", "", true},
        {"", "a", false},
        {"a", "", false},
    };
    for (const Row& row : rows) {
        CAPTURE(row.token);
        CAPTURE(row.name);
        const std::string token = row.token;
        CHECK(NameMatches(token.c_str(), static_cast<int32_t>(token.size()), row.name) ==
              row.matches);
    }
    CHECK_FALSE(NameMatches("a", 1, nullptr));
    // Only `length` characters of the text count.
    CHECK(NameMatches("ab", 1, "a"));
    // A name shorter than the token is never read past its end.
    CHECK_FALSE(NameMatches("abc", 3, "a"));
}

TEST_CASE("names_read_token") {
    struct Row {
        const char* text;
        int32_t next;
        bool found;
        int32_t left;
        int32_t right;
        int32_t after;
    };
    const Row rows[] = {
        {"<abc d>", 1, true, 1, 3, 4},
        {"<abc\td>", 1, true, 1, 3, 4},
        {"<  abc>", 1, true, 3, 5, 6},
        {"<a=b>", 1, true, 1, 1, 2},
        {"<a\\b>", 1, true, 1, 1, 2},
        {"<a?>", 1, true, 1, 1, 2},
        {"<a!>", 1, true, 1, 1, 2},
        {"<a<b>", 1, true, 1, 1, 2},
        // A delimiter in first place is a token of its own.
        {"</a>", 1, true, 1, 1, 2},
        {"<a>", 2, true, 2, 2, 3},
        {"<abc", 1, true, 1, 3, 4},
        // At the end of the text: an empty token and false.
        {"<a   ", 2, false, 5, 4, 5},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        TokenCursor cursor;
        cursor.doc = row.text;
        cursor.next = row.next;
        CHECK(ReadName(cursor) == row.found);
        CHECK(cursor.left == row.left);
        CHECK(cursor.right == row.right);
        CHECK(cursor.next == row.after);
    }
}
