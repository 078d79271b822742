// Measures whole runs of the real Quillmend.exe: the time from its start to its final message
// box, with one vendor install and with twenty, and the floor: a program that only shows a
// message box, started the same way. Runs of all three are taken in turn so that they see the
// same machine. Prints the medians and the program's own cost: the time to its box less the
// floor, its 100 ms start-up timer and its fixed one-second wait (one: the current suite's
// branch; no legacy install is present).
// The shared scenario code carries doctest checks; this program brings doctest's body without
// its test runner.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/robustness/matrix_support.h"

using namespace qm::e2e;
using namespace qm::robustness;

namespace {

constexpr int kDefaultRepetitions = 5;
constexpr double kFixedWaitSeconds = 1.0;
constexpr double kTimerSeconds = 0.1;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Seconds from start to the box, or a negative value when the run did not end in one box.
double TimeOneRun(int installs) {
    // A measurement build of the program appends its step times to the file this names.
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QM_STEP_TIMES_DIR", folder, MAX_PATH) != 0) {
        const std::wstring file =
            std::wstring(folder) + L"\\steps-" + std::to_wstring(installs) + L".tsv";
        SetEnvironmentVariableW(L"QM_STEP_TIMES", file.c_str());
    }
    Scenario scenario(L"measure");
    scenario.PrepareTool({});
    const std::vector<SuiteInstall> suites = AddVendorInstalls(scenario, installs);
    const RunOutcome outcome = scenario.Run();
    if (!outcome.exited || outcome.boxes.size() != 1 || outcome.boxes[0].text != kSuccessText) {
        return -1;
    }
    for (size_t i = 0; i < suites.size(); ++i) {
        if (!IsHandled(suites[i], i)) {
            return -1;
        }
    }
    return outcome.boxes[0].seconds;
}

// Seconds from the floor program's start to its box, or a negative value when it showed none.
double TimeFloor() {
    ScratchFolder scratch(L"floor");
    RunOptions options;
    options.exe = ExeFolder() + L"\\qm_box_floor.exe";
    options.workingFolder = scratch.path();
    const RunOutcome outcome = RunProgram(options);
    return outcome.exited && outcome.boxes.size() == 1 ? outcome.boxes[0].seconds : -1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int repetitions = argc > 1 ? std::max(1, _wtoi(argv[1])) : kDefaultRepetitions;
    if (!Scenario::ProgramAvailable()) {
        std::fprintf(stderr, "Quillmend.exe is not beside this program\n");
        return 2;
    }
    const int sizes[] = {1, 20};
    std::vector<double> times[2];
    std::vector<double> floors;
    for (int round = 0; round < repetitions; ++round) {
        const double floor = TimeFloor();
        if (floor < 0) {
            std::fprintf(stderr, "the floor program showed no box\n");
            return 1;
        }
        floors.push_back(floor);
        for (int which = 0; which < 2; ++which) {
            const double seconds = TimeOneRun(sizes[which]);
            if (seconds < 0) {
                std::fprintf(stderr, "run with %d install(s) did not succeed\n", sizes[which]);
                return 1;
            }
            times[which].push_back(seconds);
        }
    }
    const double floor = Median(floors);
    std::printf("| vendor installs | runs | start to box (s) | floor (s) | own cost (ms) |\n");
    std::printf("|---:|---:|---:|---:|---:|\n");
    for (int which = 0; which < 2; ++which) {
        const double median = Median(times[which]);
        std::printf("| %d | %d | %.3f | %.3f | %.0f |\n", sizes[which], repetitions, median, floor,
                    (median - floor - kTimerSeconds - kFixedWaitSeconds) * 1000);
    }
    std::printf(
        "\nown cost = start to box - floor - %.0f ms timer - %.0f ms fixed wait (medians)\n",
        kTimerSeconds * 1000, kFixedWaitSeconds * 1000);
    return 0;
}
