#include "xml/open_name_index.h"

namespace qm {

namespace {

// Two polynomial hashes modulo primes below 2^31, side by side in one 64-bit value: each
// prefix's hash follows from the previous one, so all cuts of a name cost one pass over it.
constexpr uint64_t kModulusLow = 2147483647;  // 2^31 - 1
constexpr uint64_t kModulusHigh = 2147483629; // the largest prime below it
constexpr uint64_t kBaseLow = 1000003;
constexpr uint64_t kBaseHigh = 999983;

uint64_t Step(uint64_t hash, char ch) {
    const uint64_t value = static_cast<unsigned char>(ch) + 1u;
    const uint64_t low = ((hash & 0xFFFFFFFFu) * kBaseLow + value) % kModulusLow;
    const uint64_t high = ((hash >> 32) * kBaseHigh + value) % kModulusHigh;
    return (high << 32) | low;
}

bool IsCutCharacter(char ch) {
    return ch == '=' || ch == '[' || ch == ']';
}

} // namespace

template <typename Visit> void OpenNameIndex::ForEachCut(const std::string& name, Visit visit) {
    uint64_t hash = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsCutCharacter(name[i])) {
            visit(Key{hash, static_cast<int32_t>(i)});
        }
        hash = Step(hash, name[i]);
    }
    visit(Key{hash, static_cast<int32_t>(name.size())});
}

void OpenNameIndex::Add(int32_t entry, const std::string& name) {
    ForEachCut(name, [&](const Key& key) { entries_[key].push_back(entry); });
}

void OpenNameIndex::Remove(int32_t entry, const std::string& name) {
    ForEachCut(name, [&](const Key& key) {
        const auto found = entries_.find(key);
        if (found == entries_.end()) {
            return;
        }
        std::vector<int32_t>& list = found->second;
        if (!list.empty() && list.back() == entry) {
            list.pop_back();
        }
        if (list.empty()) {
            entries_.erase(found);
        }
    });
}

const std::vector<int32_t>* OpenNameIndex::Candidates(const char* text, int32_t length) const {
    uint64_t hash = 0;
    for (int32_t i = 0; i < length; ++i) {
        hash = Step(hash, text[i]);
    }
    const auto found = entries_.find(Key{hash, length});
    return found == entries_.end() ? nullptr : &found->second;
}

} // namespace qm
