// The checks every fleet machine's log must pass: byte-order mark, a UTC time on every line,
// CR LF endings, the exit code last; and the line a console shows as the outcome.
#include <doctest/doctest.h>

#include "tools/fleet/run_log_check.h"

using qm::fleet::ReadRunLog;

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const std::string kTime = "2026-12-09T10:24:25.123Z ";

} // namespace

TEST_CASE("fleet_log_reading_table") {
    struct Row {
        const char* what;
        std::string bytes;
        int exitCode;
        const char* problem; // start of the first problem, "" when none
        const char* outcome;
    };
    const Row rows[] = {
        {"exit line only", kBom + kTime + "exit code 0\r\n", 0, "", "exit code 0"},
        {"the last box is the outcome",
         kBom + kTime + "box [提示] 组件服务修复成功!\r\n" + kTime + "box ... more\r\n" + kTime +
             "exit code 0\r\n",
         0, "", "box [提示] 组件服务修复成功!"},
        {"no byte-order mark", kTime + "exit code 0\r\n", 0, "the log does not start", ""},
        {"code differs from the process's", kBom + kTime + "exit code 0\r\n", 3,
         "the last line is \"exit code 0\"", "exit code 0"},
        {"half-written last line", kBom + kTime + "exit code 1\r\n" + kTime + "exit co", 1,
         "the last line does not end", "exit code 1"},
        {"line without a time", kBom + "2026-12-09 10:24:25 start\r\n" + kTime + "exit code 2\r\n",
         2, "a line without its UTC time", "exit code 2"},
        {"empty after the mark", kBom, 0, "the log holds no event", ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        const auto reading = ReadRunLog(row.bytes, row.exitCode);
        if (*row.problem == '\0') {
            CHECK(reading.problems.empty());
        } else {
            REQUIRE_FALSE(reading.problems.empty());
            CHECK(reading.problems.front().rfind(row.problem, 0) == 0);
        }
        CHECK(reading.outcome == row.outcome);
    }
}
