// The innermost open element an end tag closes, found without walking every open one.
#include "xml/open_name_index.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace qm {

namespace {

constexpr size_t kFirstTableSlots = 64;

bool IsCutCharacter(char ch) {
    return ch == '=' || ch == '[' || ch == ']';
}

uint64_t Mix(uint64_t value) {
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

// Once per process, from the system's random source where it has one, the clock and the
// addresses the loader chose: a document cannot know it in advance.
uint64_t MakeSeed() {
    uint64_t seed =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        seed ^= (static_cast<uint64_t>(device()) << 32) ^ device();
    } catch (...) {
        // No random source: the clock and the addresses still vary from run to run.
    }
    const int local = 0;
    seed = Mix(seed ^ reinterpret_cast<uintptr_t>(&local));
    return Mix(seed ^ reinterpret_cast<uintptr_t>(&MakeSeed));
}

uint64_t Seed() {
    static const uint64_t seed = MakeSeed();
    return seed;
}

} // namespace

// ---- child table ----

size_t OpenNameIndex::ChildTable::Home(int32_t parent, uint32_t byte) const {
    const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(parent)) << 8) | byte;
    return static_cast<size_t>(Mix(key + Seed())) & (slots_.size() - 1);
}

size_t OpenNameIndex::ChildTable::Locate(int32_t parent, uint32_t byte) const {
    const size_t mask = slots_.size() - 1;
    size_t i = Home(parent, byte);
    while (slots_[i].parent != kNone && (slots_[i].parent != parent || slots_[i].byte != byte)) {
        i = (i + 1) & mask;
    }
    return i;
}

int32_t OpenNameIndex::ChildTable::Find(int32_t parent, unsigned char byte) const {
    if (slots_.empty()) {
        return kNone;
    }
    const Slot& slot = slots_[Locate(parent, byte)];
    return slot.parent == kNone ? kNone : slot.child;
}

void OpenNameIndex::ChildTable::GrowIfNeeded() {
    // At most half full, so that probe runs stay short.
    if (2 * (used_ + 1) <= slots_.size()) {
        return;
    }
    std::vector<Slot> old(std::max(kFirstTableSlots, 2 * slots_.size()), Slot{kNone, 0, 0});
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.parent != kNone) {
            slots_[Locate(slot.parent, slot.byte)] = slot;
        }
    }
}

void OpenNameIndex::ChildTable::Set(int32_t parent, unsigned char byte, int32_t child) {
    GrowIfNeeded();
    Slot& slot = slots_[Locate(parent, byte)];
    if (slot.parent == kNone) {
        ++used_;
    }
    slot = Slot{parent, child, byte};
}

void OpenNameIndex::ChildTable::Erase(int32_t parent, unsigned char byte) {
    if (slots_.empty()) {
        return;
    }
    const size_t mask = slots_.size() - 1;
    size_t hole = Locate(parent, byte);
    if (slots_[hole].parent == kNone) {
        return;
    }
    --used_;
    // Move later slots of the run back into the hole unless their home lies after it.
    for (size_t next = (hole + 1) & mask; slots_[next].parent != kNone; next = (next + 1) & mask) {
        const size_t home = Home(slots_[next].parent, slots_[next].byte);
        const bool staysPut =
            hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (!staysPut) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole].parent = kNone;
}

// ---- the tree ----

OpenNameIndex::OpenNameIndex(const char* doc) : doc_(doc) {}

int32_t OpenNameIndex::NewNode(int32_t labelStart, int32_t labelLength, int32_t parent,
                               int32_t innermost) {
    const auto firstByte = static_cast<unsigned char>(doc_[labelStart]);
    nodes_.push_back(Node{labelStart, labelLength, innermost, kNone, parent, kNone, firstByte});
    return static_cast<int32_t>(nodes_.size() - 1);
}

int32_t OpenNameIndex::Child(int32_t node, unsigned char byte) const {
    // Live nodes are exactly those below nodes_.size(), and a node has one child per first
    // byte: a hint that names a node with this parent and first byte names the child.
    const int32_t hint = nodes_[node].lastChild;
    if (hint != kNone && static_cast<size_t>(hint) < nodes_.size() && nodes_[hint].parent == node &&
        nodes_[hint].firstByte == byte) {
        return hint;
    }
    return children_.Find(node, byte);
}

void OpenNameIndex::Touch(int32_t node, int32_t entry, size_t firstRun) {
    const int32_t old = nodes_[node].innermost;
    if (runs_.size() > firstRun && runs_.back().old == old) {
        ++runs_.back().count;
    } else {
        runs_.push_back(Run{1, old});
    }
    nodes_[node].innermost = entry;
}

int32_t OpenNameIndex::CommonLength(const Node& node, const char* text, int32_t length) const {
    const int32_t limit = std::min(node.labelLength, length);
    const char* label = doc_ + node.labelStart;
    int32_t same = 1;
    while (same < limit && label[same] == text[same]) {
        ++same;
    }
    return same;
}

void OpenNameIndex::Add(int32_t entry, int32_t nameStart, int32_t length) {
    if (nodes_.empty()) {
        NewNode(0, 0, kNone, kNone); // the root: the empty prefix of every name
    }
    Addition addition{nameStart, length, runs_.size(), nodes_.size(), 0,
                      kNone,     kNone,  kNone,        kNone,         kNone};
    const char* name = doc_ + nameStart;
    int32_t node = 0;
    int32_t done = 0;
    // The new entry is innermost of all, so it becomes the innermost of every node on its path.
    Touch(node, entry, addition.runs);
    while (done < length) {
        const auto byte = static_cast<unsigned char>(name[done]);
        int32_t child = Child(node, byte);
        if (child == kNone) {
            child = NewNode(nameStart + done, length - done, node, kNone);
            children_.Set(node, byte, child);
            addition.leafParent = node;
        } else {
            const int32_t same = CommonLength(nodes_[child], name + done, length - done);
            if (same < nodes_[child].labelLength) {
                // The name leaves the label part way: cut the edge with a middle node.
                const int32_t middle =
                    NewNode(nodes_[child].labelStart, same, node, nodes_[child].innermost);
                Node& lower = nodes_[child];
                lower.labelStart += same;
                lower.labelLength -= same;
                lower.parent = middle;
                lower.firstByte = static_cast<unsigned char>(doc_[lower.labelStart]);
                children_.Set(node, byte, middle);
                children_.Set(middle, static_cast<unsigned char>(lower.firstByte), child);
                nodes_[middle].lastChild = child;
                addition.splitParent = node;
                addition.splitMiddle = middle;
                addition.splitLower = child;
                child = middle;
            }
        }
        nodes_[node].lastChild = child;
        Touch(child, entry, addition.runs);
        node = child;
        done += nodes_[child].labelLength;
    }
    addition.endNode = node;
    addition.endOld = nodes_[node].endsHere;
    nodes_[node].endsHere = entry;
    additions_.push_back(addition);
}

void OpenNameIndex::RemoveLast() {
    if (additions_.empty()) {
        return;
    }
    const Addition addition = additions_.back();
    additions_.pop_back();
    nodes_[addition.endNode].endsHere = addition.endOld;
    // Every later addition is undone, so the path is as this one left it: walk it again and
    // give each node back its value from the runs.
    const char* name = doc_ + addition.nameStart;
    size_t run = addition.runs;
    int32_t leftInRun = runs_[run].count;
    int32_t node = 0;
    int32_t done = 0;
    for (;;) {
        nodes_[node].innermost = runs_[run].old;
        if (--leftInRun == 0 && run + 1 < runs_.size()) {
            leftInRun = runs_[++run].count;
        }
        if (done >= addition.length) {
            break;
        }
        node = Child(node, static_cast<unsigned char>(name[done]));
        done += nodes_[node].labelLength;
    }
    runs_.resize(addition.runs);
    if (addition.leafParent != kNone) {
        const Node& leaf = nodes_.back();
        children_.Erase(addition.leafParent, static_cast<unsigned char>(leaf.firstByte));
    }
    if (addition.splitMiddle != kNone) {
        const Node& middle = nodes_[addition.splitMiddle];
        Node& lower = nodes_[addition.splitLower];
        children_.Erase(addition.splitMiddle, static_cast<unsigned char>(lower.firstByte));
        lower.labelStart = middle.labelStart;
        lower.labelLength += middle.labelLength;
        lower.parent = addition.splitParent;
        lower.firstByte = middle.firstByte;
        children_.Set(addition.splitParent, static_cast<unsigned char>(lower.firstByte),
                      addition.splitLower);
    }
    nodes_.resize(addition.nodes);
}

int32_t OpenNameIndex::Innermost(const char* text, int32_t length) const {
    if (nodes_.empty()) {
        return kNone;
    }
    int32_t node = 0;
    int32_t done = 0;
    while (done < length) {
        const int32_t child = Child(node, static_cast<unsigned char>(text[done]));
        if (child == kNone) {
            return kNone;
        }
        const Node& next = nodes_[child];
        const int32_t same = CommonLength(next, text + done, length - done);
        if (same < next.labelLength) {
            // The end tag ends inside the label (or leaves it): the names below go on with the
            // label's next character.
            if (done + same < length || !IsCutCharacter(doc_[next.labelStart + same])) {
                return kNone;
            }
            return next.innermost;
        }
        node = child;
        done += same;
    }
    int32_t best = nodes_[node].endsHere;
    for (const char tail : {'=', '[', ']'}) {
        const int32_t child = Child(node, static_cast<unsigned char>(tail));
        if (child != kNone) {
            best = std::max(best, nodes_[child].innermost);
        }
    }
    return best;
}

} // namespace qm
