#pragma once
// Finds the innermost open element that an end tag closes without walking every open element:
// a file of many open elements followed by many stray end tags would otherwise take quadratic
// time and hang the reader.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qm {

// An end tag's name matches an open element's name when the name starts with it and goes on
// with its end or one of the tail characters. Element names hold no whitespace or '/', so the
// name is cut there at its end or before an '=', '[' or ']'. Every such cut of every open name
// is indexed by its text; the candidates for an end tag are the open elements with a cut equal
// to it, the innermost last.
class OpenNameIndex {
public:
    // The element in stack entry `entry` (its depth less one) opened with this name. Entries
    // are added innermost last and removed innermost first.
    void Add(int32_t entry, const std::string& name);
    void Remove(int32_t entry, const std::string& name);

    // Stack entries whose names have a cut of this text, innermost last; every true match is
    // among them (a hash collision may add others, so callers still compare the names).
    const std::vector<int32_t>* Candidates(const char* text, int32_t length) const;

private:
    struct Key {
        uint64_t hash;
        int32_t length;
        bool operator==(const Key& other) const {
            return hash == other.hash && length == other.length;
        }
    };
    struct KeyHash {
        size_t operator()(const Key& key) const {
            return static_cast<size_t>(key.hash ^ (static_cast<uint64_t>(key.length) << 1));
        }
    };
    template <typename Visit> static void ForEachCut(const std::string& name, Visit visit);

    std::unordered_map<Key, std::vector<int32_t>, KeyHash> entries_;
};

} // namespace qm
