// Tests of the open-name index.
#include "xml/open_name_index.h"

#include <doctest/doctest.h>

#include <cstring>
#include <string>

using namespace qm;

namespace {

// The names live in one text, as they do in a document.
const std::string kNames = "ab ac a=x a[1 b abcd x ";

struct Index {
    OpenNameIndex index{kNames.c_str()};
    int32_t entries = 0;
    void Add(const char* name) {
        const auto at = static_cast<int32_t>(kNames.find(std::string(name) + ' '));
        index.Add(entries++, at, static_cast<int32_t>(std::strlen(name)));
    }
    void Remove() {
        index.RemoveLast();
        --entries;
    }
    int32_t Innermost(const char* endTag) const {
        return index.Innermost(endTag, static_cast<int32_t>(std::strlen(endTag)));
    }
};

} // namespace

TEST_CASE("open_name_index_innermost_after_adds_and_removes") {
    Index names;
    names.Add("ab"); // entry 0
    names.Add("ac"); // 1: cuts the edge of "ab" after 'a'
    CHECK(names.Innermost("a") == -1);
    CHECK(names.Innermost("ab") == 0);
    CHECK(names.Innermost("ac") == 1);
    names.Add("a=x"); // 2
    CHECK(names.Innermost("a") == 2);
    CHECK(names.Innermost("a=") == -1);
    names.Add("a[1"); // 3
    CHECK(names.Innermost("a") == 3);
    CHECK(names.Innermost("a[1") == 3);
    names.Remove();
    CHECK(names.Innermost("a") == 2);
    names.Remove();
    CHECK(names.Innermost("a") == -1);
    names.Remove(); // "ac": the cut edge is whole again
    CHECK(names.Innermost("ac") == -1);
    CHECK(names.Innermost("ab") == 0);
    names.Add("b"); // 1
    CHECK(names.Innermost("b") == 1);
    names.Remove();
    CHECK(names.Innermost("b") == -1);
    SUBCASE("a node freed and reused elsewhere is no child of its old parent") {
        names.Add("abcd"); // 1
        names.Remove();
        names.Add("x"); // 1, in the node "abcd" left
        CHECK(names.Innermost("abx") == -1);
        CHECK(names.Innermost("b") == -1);
        CHECK(names.Innermost("x") == 1);
    }
}
