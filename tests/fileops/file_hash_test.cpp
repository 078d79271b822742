// Whether a file holds given bytes, read through one open.
#include "fileops/file_hash.h"

#include <doctest/doctest.h>

#include "tests/fileops/test_support.h"

using namespace qm;
using namespace qm::test;

TEST_CASE("file_hash_readable_and_holds_table") {
    TempFolder temp;
    // Longer than one read's chunk, so that the second chunk is compared too.
    const std::string large(64 * 1024 + 7, 'x');
    std::string largeDiffersLate = large;
    largeDiffersLate.back() = 'y';
    struct Row {
        const char* what;
        const std::string* content; // null: no file
        std::string bytes;
        bool readable;
        bool same;
    };
    const std::string small = "key\r\n";
    const std::string other = "kez\r\n";
    const std::string empty;
    const Row rows[] = {
        {"the same bytes", &small, small, true, true},
        {"the same size, other bytes", &other, small, true, false},
        {"another size", &small, small + "!", true, false},
        {"an empty file", &empty, small, true, false},
        {"two chunks, the same", &large, large, true, true},
        {"two chunks, the last byte differs", &largeDiffersLate, large, true, false},
        {"no file", nullptr, small, false, false},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.what));
        const std::wstring path = temp / L"target";
        RemoveTree(path);
        if (row.content) {
            WriteTextFile(path, *row.content);
        }
        bool same = true;
        CHECK(ReadableAndHolds(path, row.bytes, same) == row.readable);
        CHECK(same == row.same);
    }
}
