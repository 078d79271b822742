// The document's element records, in segments that never move.
#include "xml/element_index.h"

#include <algorithm>

namespace qm {

namespace {

// Records are left uninitialised: every field is written when a record is taken into use,
// and untouched pages of a large segment then cost no physical memory.
std::unique_ptr<ElementRecord[]> AllocateSegment(int32_t records) {
    return std::unique_ptr<ElementRecord[]>(new ElementRecord[static_cast<size_t>(records)]);
}

} // namespace

int32_t ElementIndex::SegmentLength(int32_t segment) const {
    const int64_t past = static_cast<int64_t>(segment) * kSegmentRecords;
    return static_cast<int32_t>(
        std::min<int64_t>(kSegmentRecords, std::max<int64_t>(0, size_ - past)));
}

// Allocates `records` for `segment` and copies over the records in use from the old one.
void ElementIndex::ReplaceSegment(int32_t segment, int32_t records, int32_t inUse) {
    auto fresh = AllocateSegment(records);
    if (segments_[segment]) {
        const int64_t first = static_cast<int64_t>(segment) * kSegmentRecords;
        const int64_t keep = std::min<int64_t>({inUse - first, SegmentLength(segment), records});
        if (keep > 0) {
            std::copy_n(segments_[segment].get(), keep, fresh.get());
        }
    }
    segments_[segment] = std::move(fresh);
}

void ElementIndex::Grow(int64_t wanted, int32_t inUse) {
    if (size_ >= wanted) {
        return;
    }
    const int32_t lastSeg = size_ > 0 ? (size_ - 1) >> kSegmentShift : 0;
    auto newSeg = static_cast<int32_t>(std::min<int64_t>((wanted - 1) >> kSegmentShift, INT32_MAX));
    if (newSeg > lastSeg + 1) {
        newSeg = lastSeg + 1;
        wanted = (static_cast<int64_t>(newSeg) + 1) * kSegmentRecords;
    }
    if (newSeg >= slots_) {
        const int32_t slots = 2 * newSeg + 4;
        auto table =
            std::make_unique<std::unique_ptr<ElementRecord[]>[]>(static_cast<size_t>(slots));
        for (int32_t i = 0; i < slots_; ++i) {
            table[i] = std::move(segments_[i]);
        }
        segments_ = std::move(table);
        slots_ = slots;
    }
    if (newSeg > lastSeg && SegmentLength(lastSeg) < kSegmentRecords) {
        ReplaceSegment(lastSeg, kSegmentRecords, inUse);
    }
    const auto records =
        static_cast<int32_t>(wanted - static_cast<int64_t>(newSeg) * kSegmentRecords);
    ReplaceSegment(newSeg, records, inUse);
    size_ = static_cast<int32_t>(wanted);
}

} // namespace qm
