// Set names, the newest set, and which sets are pruned.
#include "backup/backup_sets.h"

#include <algorithm>
#include <cstdio>

namespace qm {

namespace {

constexpr size_t kStampLength = 16; // yyyymmddThhmmssZ
constexpr int kMostAttempts = 999;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool IsStamp(const std::wstring& text) {
    if (text.size() != kStampLength || text[8] != L'T' || text[15] != L'Z') {
        return false;
    }
    for (size_t i = 0; i < kStampLength; ++i) {
        if (i != 8 && i != 15 && !IsDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// 1 for the stamp alone, n for "-n".
int AttemptOf(const std::wstring& name) {
    return name.size() == kStampLength ? 1 : std::stoi(name.substr(kStampLength + 1));
}

} // namespace

std::wstring SetStamp(const UtcTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring SetName(const std::wstring& stamp, int attempt) {
    return attempt <= 1 ? stamp : stamp + L"-" + std::to_wstring(attempt);
}

bool IsSetName(const std::wstring& name) {
    if (!IsStamp(name.substr(0, kStampLength))) {
        return false;
    }
    if (name.size() == kStampLength) {
        return true;
    }
    // "-2" to "-999", without leading zeros, so that each set has exactly one name.
    const std::wstring suffix = name.substr(kStampLength);
    if (suffix.size() < 2 || suffix.size() > 4 || suffix[0] != L'-' || suffix[1] == L'0') {
        return false;
    }
    for (size_t i = 1; i < suffix.size(); ++i) {
        if (!IsDigit(suffix[i])) {
            return false;
        }
    }
    return AttemptOf(name) >= 2 && AttemptOf(name) <= kMostAttempts;
}

bool IsOlderSet(const std::wstring& a, const std::wstring& b) {
    const std::wstring stampA = a.substr(0, kStampLength);
    const std::wstring stampB = b.substr(0, kStampLength);
    if (stampA != stampB) {
        return stampA < stampB;
    }
    return AttemptOf(a) < AttemptOf(b);
}

std::wstring NewestSet(const std::vector<std::wstring>& names) {
    std::wstring newest;
    for (const std::wstring& name : names) {
        if (IsSetName(name) && (newest.empty() || IsOlderSet(newest, name))) {
            newest = name;
        }
    }
    return newest;
}

std::vector<std::wstring> SetsToRemove(const std::vector<BackupSetInfo>& sets) {
    std::vector<BackupSetInfo> newestFirst;
    for (const BackupSetInfo& set : sets) {
        if (IsSetName(set.name)) {
            newestFirst.push_back(set);
        }
    }
    std::sort(
        newestFirst.begin(), newestFirst.end(),
        [](const BackupSetInfo& a, const BackupSetInfo& b) { return IsOlderSet(b.name, a.name); });
    std::vector<std::wstring> removed;
    size_t newerFinished = 0;
    for (size_t i = 0; i < newestFirst.size(); ++i) {
        const BackupSetInfo& set = newestFirst[i];
        if (i >= kSetsKept && !set.rollbackUnfinished &&
            (set.finished || newerFinished >= kSetsKept)) {
            removed.push_back(set.name);
        }
        if (set.finished) {
            ++newerFinished;
        }
    }
    return removed;
}

} // namespace qm
