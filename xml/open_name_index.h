#pragma once
// Finds the innermost open element that an end tag closes without walking every open element:
// a file of many open elements followed by many stray end tags would otherwise take quadratic
// time and hang the reader.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

// An end tag's name matches an open element's name when the name starts with it and goes on
// with its end or one of the tail characters. Element names hold no whitespace or '/', so an
// end tag matches where the open name ends or goes on with '=', '[' or ']'.
//
// The open names are kept in a radix tree whose edge labels are spans of the document text.
// Each node knows the innermost open element whose name passes through it and the innermost
// whose name ends there, so one walk along the end tag's name finds the match: time linear in
// the end tag's length, whatever the number of open elements. Storage stays a few nodes per open
// element, however many '=', '[' or ']' its name holds (indexing every such cut of every name
// would cost a product of the two counts). Children are found through one table of (node, byte)
// under a hash seeded at run time, so a document cannot be written to collide in it.
//
// Elements are added innermost last and removed innermost first, so what an addition changes is
// logged and undone exactly when that element is removed: the tree only ever holds the open
// elements. The log keeps the overwritten values along a name's path as runs of equal values,
// which costs a few runs per addition rather than one entry per node (a name repeated under
// names that branch off it at every character would otherwise log one per character), and each
// node remembers the child last taken from it, so that a path walked again needs no table look-up.
class OpenNameIndex {
public:
    // The names are spans of `doc`, which must outlive the index and stay unchanged.
    explicit OpenNameIndex(const char* doc);

    // The element in stack entry `entry` (its depth less one) opened with the name at
    // doc[nameStart, nameStart + length). Entries are added in increasing order.
    void Add(int32_t entry, int32_t nameStart, int32_t length);
    // Removes the entry added last.
    void RemoveLast();

    // The innermost entry whose name an end tag with this name closes; -1 when none.
    int32_t Innermost(const char* text, int32_t length) const;

private:
    static constexpr int32_t kNone = -1;

    struct Node {
        int32_t labelStart;  // offset in the text of the label of the edge into this node
        int32_t labelLength; // 0 for the root only
        int32_t innermost;   // innermost entry whose name passes through here, or kNone
        int32_t endsHere;    // innermost entry whose name ends here, or kNone
        int32_t parent;      // kNone for the root
        int32_t lastChild;   // a hint: the child last taken from here, or kNone
        uint32_t firstByte;  // of the label, kept here to spare a read of the text
    };
    // `count` nodes in a row along a path whose innermost entry was `old` before an addition.
    struct Run {
        int32_t count;
        int32_t old;
    };
    // What one addition did, so that removing the entry undoes it.
    struct Addition {
        int32_t nameStart;
        int32_t length;
        size_t runs;     // size of runs_ before it
        size_t nodes;    // size of nodes_ before it; newer nodes are its own
        int32_t endNode; // the node where its name ends, and the value it replaced there
        int32_t endOld;
        int32_t leafParent;  // parent of the leaf it created, or kNone
        int32_t splitParent; // the edge it cut: parent, new middle node, lower node
        int32_t splitMiddle; // (kNone when it cut none)
        int32_t splitLower;
    };

    // The children of all nodes: (parent, first byte of the label) -> child, linear probing.
    class ChildTable {
    public:
        int32_t Find(int32_t parent, unsigned char byte) const;
        void Set(int32_t parent, unsigned char byte, int32_t child); // insert or replace
        void Erase(int32_t parent, unsigned char byte);

    private:
        struct Slot {
            int32_t parent; // kNone: empty
            int32_t child;
            uint32_t byte;
        };
        size_t Home(int32_t parent, uint32_t byte) const;
        size_t Locate(int32_t parent,
                      uint32_t byte) const; // its slot or the empty one ending the run
        void GrowIfNeeded();

        std::vector<Slot> slots_;
        size_t used_ = 0;
    };

    int32_t NewNode(int32_t labelStart, int32_t labelLength, int32_t parent, int32_t innermost);
    // The child of `node` whose label starts with `byte`, or kNone.
    int32_t Child(int32_t node, unsigned char byte) const;
    // Makes `entry` the node's innermost, logging the value it replaces.
    void Touch(int32_t node, int32_t entry, size_t firstRun);
    // Length of the common start of a node's label and text[0, length), at least 1 (the first
    // byte chose the child).
    int32_t CommonLength(const Node& node, const char* text, int32_t length) const;

    const char* doc_;
    std::vector<Node> nodes_;
    std::vector<Run> runs_;
    std::vector<Addition> additions_;
    ChildTable children_;
};

} // namespace qm
