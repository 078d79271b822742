#pragma once
// What a fleet machine's log must show, apart from the machine it came from: the checks every
// run's log passes whatever the machine's state, and the line a deployment console shows as the
// run's outcome. No Windows API here, so the table test also runs natively.
#include <string>
#include <vector>

namespace qm::fleet {

struct LogReading {
    std::vector<std::string> problems; // empty when the log is as it must be
    std::string outcome;               // the last box line, else the last line's text
};

// `bytes` is the whole log file of a machine that ran the program once, ending with
// `exitCode`.
LogReading ReadRunLog(const std::string& bytes, int exitCode);

} // namespace qm::fleet
