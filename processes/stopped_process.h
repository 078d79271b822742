#pragma once
// One process of a wanted image name, as the stop found it. No Windows API here.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct StoppedProcess {
    uint32_t processId = 0;
    std::wstring imagePath; // empty when it could not be read
    bool ended = false;     // termination was asked for and accepted
    // Why a process found running could not be ended (the Windows error code); 0 when it was
    // ended, had already gone, or was only looked for. With ended, 258 (WAIT_TIMEOUT): ended,
    // but still there after the wait, so it may still hold the old files.
    uint32_t endError = 0;
    std::wstring rights; // how it ran, in words for the log; empty when not recorded
};

// The image path of the last process whose path could be read: a later match whose path
// cannot be read must not make the run forget a program it stopped and has to start again.
inline std::wstring KeptImagePath(const std::vector<StoppedProcess>& stopped) {
    std::wstring kept;
    for (const StoppedProcess& process : stopped) {
        if (!process.imagePath.empty()) {
            kept = process.imagePath;
        }
    }
    return kept;
}

// Every image path the stopped processes ran from, each once, in the order first seen: two
// installs' copies of one program both come back.
inline std::vector<std::wstring> KeptImagePaths(const std::vector<StoppedProcess>& stopped) {
    std::vector<std::wstring> kept;
    for (const StoppedProcess& process : stopped) {
        if (!process.imagePath.empty() &&
            std::find(kept.begin(), kept.end(), process.imagePath) == kept.end()) {
            kept.push_back(process.imagePath);
        }
    }
    return kept;
}

} // namespace qm
