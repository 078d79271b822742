// The checks every fleet machine's log must pass, and its line for the console.
#include "tools/fleet/run_log_check.h"

#include <cctype>

namespace qm::fleet {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = 3;
// "2026-12-09T10:24:25.123Z " before every event.
constexpr char kTimeShape[] = "dddd-dd-ddTdd:dd:dd.dddZ ";
constexpr size_t kTimeSize = sizeof kTimeShape - 1;
constexpr char kBoxPrefix[] = "box [";

bool StartsWithTime(const std::string& line) {
    if (line.size() < kTimeSize) {
        return false;
    }
    for (size_t i = 0; i < kTimeSize; ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (kTimeShape[i] == 'd' ? !digit : line[i] != kTimeShape[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

LogReading ReadRunLog(const std::string& bytes, int exitCode) {
    LogReading reading;
    if (bytes.compare(0, kByteOrderMarkSize, kByteOrderMark) != 0) {
        reading.problems.emplace_back("the log does not start with the UTF-8 byte-order mark");
        return reading;
    }
    std::vector<std::string> texts;
    size_t start = kByteOrderMarkSize;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            reading.problems.emplace_back("the last line does not end with CR LF");
            break;
        }
        const std::string line = bytes.substr(start, end - start);
        if (!StartsWithTime(line)) {
            reading.problems.emplace_back("a line without its UTC time: " + line);
        } else {
            texts.push_back(line.substr(kTimeSize));
        }
        start = end + 2;
    }
    if (texts.empty()) {
        reading.problems.emplace_back("the log holds no event");
        return reading;
    }
    const std::string last = "exit code " + std::to_string(exitCode);
    if (texts.back() != last) {
        reading.problems.emplace_back("the last line is \"" + texts.back() + "\", not \"" + last +
                                      "\"");
    }
    reading.outcome = texts.back();
    for (auto text = texts.rbegin(); text != texts.rend(); ++text) {
        if (text->compare(0, sizeof kBoxPrefix - 1, kBoxPrefix) == 0) {
            reading.outcome = *text;
            break;
        }
    }
    return reading;
}

} // namespace qm::fleet
