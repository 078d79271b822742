// The list dialog's opening size: the text whole where it fits, else 80% of the work area.
#include "app/list_layout.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("list_dialog_extent") {
    struct Row {
        const char* name;
        Extent text;
        Extent expected;
    };
    const Extent chrome{40, 100};
    const Extent minimum{400, 300};
    const Extent screen{1024, 738};
    const Row rows[] = {
        {"a short list: the template's size", {100, 50}, {400, 300}},
        {"a list that fits: its own size", {600, 400}, {640, 500}},
        {"20 installs: 80% of the work area, scrolled", {3000, 3185}, {819, 590}},
        {"wide but short: only the width is capped", {2000, 100}, {819, 300}},
    };
    for (const Row& row : rows) {
        INFO(row.name);
        const Extent got = ListDialogExtent(row.text, chrome, minimum, screen);
        CHECK(got.width == row.expected.width);
        CHECK(got.height == row.expected.height);
    }
    SUBCASE("a work area below the template: the work area") {
        const Extent got = ListDialogExtent({100, 50}, chrome, minimum, {320, 240});
        CHECK(got.width == 320);
        CHECK(got.height == 240);
    }
}
