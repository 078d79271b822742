// Tests of the older generations' sub-key name rule.
#include "discovery/legacy_key_name.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("legacy_key_name_match_table") {
    struct Row {
        const wchar_t* name;
        bool matches;
    };
    const Row rows[] = {
        {L"Penloom V9 Standard", true},
        {L"PENLOOM 9.0", true},
        {L"penloom 9.0", true},
        {L"V9-Penloom", true}, // either order
        {L"penloomv9", true},
        {L"xPenloom Suite xv9x", true}, // plain substrings anywhere
        {L"Penloom 9.0 SP1", false},    // no "v9" and not equal as a whole
        {L"Penloom 8.0", false},
        {L" penloom 9.0", false},
        {L"Penloom", false},
        {L"V9", false},
        {L"", false},
        {L"Pen loom V9", false},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        CHECK(IsLegacyKeyName(row.name) == row.matches);
    }
}

TEST_CASE("legacy_key_name_lowering_aspect") {
    SUBCASE("other characters are kept as they are") {
        CHECK(IsLegacyKeyName(L"PENLOOM V9 \u7248"));
        CHECK_FALSE(IsLegacyKeyName(L"P\u00C9NLOOM V9"));
        CHECK_FALSE(IsLegacyKeyName(L"\uFF30ENLOOM V9")); // full-width P
    }
}
