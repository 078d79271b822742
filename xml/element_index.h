#pragma once
// The element records of a document, in segments of 65536 so that growing never moves a
// record an index refers to.
#include <cstdint>
#include <memory>
#include <utility>

namespace qm {

// ElementRecord::flags. Bits 0-15 hold the nesting level (modulo 65536).
constexpr uint32_t ElementLevelMask = 0xFFFF;
constexpr uint32_t ElementFirstChild = 0x80000;
constexpr uint32_t ElementNotEnded = 0x100000;
constexpr uint32_t ElementHasError = 0x200000;
constexpr uint32_t DocumentIllFormed = 0x800000; // record 0 only

// ElementRecord::tagLengths: start-tag length in bits 0-21, end-tag length in bits 22-31.
constexpr uint32_t StartTagLengthMask = 0x3FFFFF;
constexpr uint32_t EndTagLengthShift = 22;
constexpr uint32_t EndTagLengthMask = 0x3FF;

struct ElementRecord {
    int32_t start;  // offset of the start tag's '<'
    int32_t length; // through the end tag's '>'; the start tag alone when empty or unended
    uint32_t tagLengths;
    uint32_t flags;
    int32_t parent;
    int32_t firstChild;
    int32_t next;
    int32_t prev; // the first child's prev names the last child of the same parent

    int32_t StartTagLength() const { return static_cast<int32_t>(tagLengths & StartTagLengthMask); }
    int32_t EndTagLength() const {
        return static_cast<int32_t>((tagLengths >> EndTagLengthShift) & EndTagLengthMask);
    }
    // Each length is kept modulo its field's width.
    void SetTagLengths(int32_t startTag, int32_t endTag) {
        tagLengths = (static_cast<uint32_t>(startTag) & StartTagLengthMask) |
                     ((static_cast<uint32_t>(endTag) & EndTagLengthMask) << EndTagLengthShift);
    }
};

class ElementIndex {
public:
    static constexpr int32_t kSegmentShift = 16;
    static constexpr int32_t kSegmentRecords = 1 << kSegmentShift;

    ElementIndex() = default;
    ElementIndex(const ElementIndex&) = delete;
    ElementIndex& operator=(const ElementIndex&) = delete;
    // An index moved from is empty (size 0) and can grow again.
    ElementIndex(ElementIndex&& other) noexcept { *this = std::move(other); }
    ElementIndex& operator=(ElementIndex&& other) noexcept {
        if (this != &other) {
            segments_ = std::move(other.segments_);
            slots_ = std::exchange(other.slots_, 0);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }

    // Records allocated (not the number in use).
    int32_t size() const { return size_; }
    int32_t segmentSlots() const { return slots_; }

    // `index` must be below size().
    ElementRecord& operator[](int32_t index) {
        return segments_[index >> kSegmentShift][index & (kSegmentRecords - 1)];
    }
    const ElementRecord& operator[](int32_t index) const {
        return segments_[index >> kSegmentShift][index & (kSegmentRecords - 1)];
    }

    // Grows to `wanted` records, keeping the first `inUse`; one call adds at most one
    // segment, so the result may stay below `wanted`. Nothing happens when size() suffices.
    void Grow(int64_t wanted, int32_t inUse);

private:
    int32_t SegmentLength(int32_t segment) const;
    void ReplaceSegment(int32_t segment, int32_t records, int32_t inUse);

    std::unique_ptr<std::unique_ptr<ElementRecord[]>[]> segments_;
    int32_t slots_ = 0;
    int32_t size_ = 0;
};

} // namespace qm
