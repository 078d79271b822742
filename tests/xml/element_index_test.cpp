// Tests of the element index.
#include "xml/element_index.h"

#include <doctest/doctest.h>

using namespace qm;

namespace {

constexpr int32_t kSegment = ElementIndex::kSegmentRecords;

void Fill(ElementIndex& index, int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) {
        index[i] = ElementRecord{i, i + 1, 0, 0, 0, 0, 0, 0};
    }
}

bool Holds(const ElementIndex& index, int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) {
        if (index[i].start != i || index[i].length != i + 1) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_CASE("index_grow_within_a_segment") {
    ElementIndex index;
    CHECK(index.size() == 0);
    index.Grow(8, 0);
    CHECK(index.size() == 8);
    Fill(index, 0, 8);
    index.Grow(12, 8);
    CHECK(index.size() == 12);
    CHECK(Holds(index, 0, 8));
    SUBCASE("a size that suffices changes nothing") {
        index.Grow(5, 8);
        CHECK(index.size() == 12);
    }
}

TEST_CASE("index_grow_one_segment_per_call") {
    ElementIndex index;
    index.Grow(100, 0);
    Fill(index, 0, 100);
    // A request three segments ahead adds one full segment and fills up the partial one.
    index.Grow(3 * kSegment + 10, 100);
    CHECK(index.size() == 2 * kSegment);
    CHECK(Holds(index, 0, 100));
    Fill(index, 100, 2 * kSegment);
    index.Grow(2 * kSegment + 5, 2 * kSegment);
    CHECK(index.size() == 2 * kSegment + 5);
    Fill(index, 2 * kSegment, 2 * kSegment + 5);
    index.Grow(2 * kSegment + 50, 2 * kSegment + 5);
    CHECK(index.size() == 2 * kSegment + 50);
    CHECK(Holds(index, 0, 2 * kSegment + 5));
    CHECK(index.segmentSlots() >= 3);
}

TEST_CASE("index_first_request_beyond_one_segment") {
    ElementIndex index;
    index.Grow(5 * kSegment, 0);
    CHECK(index.size() == 2 * kSegment);
    Fill(index, 0, 2 * kSegment);
    CHECK(Holds(index, 0, 2 * kSegment));
}

TEST_CASE("index_tag_lengths_wrap_in_their_fields") {
    ElementRecord record{};
    record.SetTagLengths(5, 7);
    CHECK(record.StartTagLength() == 5);
    CHECK(record.EndTagLength() == 7);
    record.SetTagLengths(0x400001, 1025);
    CHECK(record.StartTagLength() == 1);
    CHECK(record.EndTagLength() == 1);
}
