// Measures whole runs of the real Quillmend.exe: the time from its start to its final message
// box, with one vendor install and with twenty, and with one and fifty user profiles served by a
// run for all users, and the floor: a program that only shows a
// message box, started the same way. Runs of all programs measured are taken in turn so that
// they see the same machine: each row for every program, the programs' order reversed every
// other round, as a run is slowed by what the one before it left to the disk and to Wine's
// server (measured: 14 to 16 ms on one install, for whichever program came second). Prints, for
// each program, the medians and its own cost: the time to its box less the floor, its 100 ms
// start-up timer and its fixed one-second wait (one: the current suite's branch; no legacy install
// is present); then the suite's downtime, from the first of its programs ended to the last started
// again, in runs where the suite is running; each profile's share, and with two programs the
// second's less the first's row by row, as the median of each round's difference. Arguments: RUNS,
// then LABEL=PATH of each Quillmend.exe to measure (default: the one beside). The shared scenario
// code carries doctest checks; this program brings doctest's body without its test runner.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/made_up_profile.h"
#include "tests/robustness/matrix_support.h"

using namespace qm::e2e;
using namespace qm::robustness;
using qm::UniqueProcess;

namespace {

constexpr int kDefaultRepetitions = 5;
constexpr double kFixedWaitSeconds = 1.0;
constexpr double kTimerSeconds = 0.1;
constexpr int kStartAttempts = 3;
// Vendor installs and, for runs for all users (/allusers), made-up user profiles where the suite
// has run; 0 profiles: a run for the running account. quiet: a fleet's run (/quiet), timed to
// its exit (exitCode), as it shows no box. looks: a preview or a check, which stops nothing.
struct Size {
    int installs;
    int profiles;
    const wchar_t* arguments;
    bool quiet;
    bool looks;
    DWORD exitCode;
    const wchar_t* tag; // of the step times' file
};
constexpr DWORD kNotCurrent = 5;
constexpr Size kSizes[] = {
    {1, 0, L"", false, false, 0, L""},
    {20, 0, L"", false, false, 0, L""},
    {1, 1, L"/allusers", false, false, 0, L"-p1"},
    {1, 50, L"/allusers", false, false, 0, L"-p50"},
    {1, 0, L"/quiet", true, false, 0, L"-q"},
    {20, 0, L"/quiet", true, false, 0, L"-q"},
    {20, 0, L"/preview /quiet", true, true, 0, L"-preview"},
    {20, 0, L"/check /quiet", true, true, kNotCurrent, L"-check"},
};
constexpr int kSizeCount = 8;
constexpr int kOneProfile = 2; // the rows whose difference is each profile's share
constexpr int kManyProfiles = 3;
constexpr int kAccountSizes = 2; // the rows an older program without these switches is measured in

struct Program {
    std::wstring label;
    std::wstring path;
    std::vector<double> times[kSizeCount];
    std::vector<double> downtimes[kSizeCount];
    bool allUsers = true; // knows /allusers: measured for user profiles too
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

// When the process began (ended = false) or ended; negative when that cannot be read.
double ProcessTime(HANDLE process, bool ended) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process || !GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return -1;
    }
    return Seconds(ended ? exited : created);
}

// Seconds from start to the box, or a negative value when the run did not end in one box. With
// the suite running, downtime is set to the seconds from its first program ended to its last
// started again (negative when that cannot be told).
double TimeOneRun(const Program& program, Size size, bool suiteRunning, double& downtime) {
    const int installs = size.installs;
    // A measurement build of the program appends its step times to the file this names.
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QM_STEP_TIMES_DIR", folder, MAX_PATH) != 0) {
        const std::wstring file =
            std::wstring(folder) + L"\\steps-" + std::to_wstring(installs) + size.tag + L".tsv";
        SetEnvironmentVariableW(L"QM_STEP_TIMES", file.c_str());
    }
    Scenario scenario(L"measure");
    scenario.PrepareTool({}, program.path);
    const std::vector<SuiteInstall> suites = AddVendorInstalls(scenario, installs);
    std::vector<std::unique_ptr<MadeUpProfile>> profiles;
    for (int i = 0; i < size.profiles; ++i) {
        profiles.push_back(std::make_unique<MadeUpProfile>(
            scenario, L"S-1-5-21-9-9-9-" + std::to_wstring(2000 + i), L"u" + std::to_wstring(i),
            true));
        if (!profiles.back()->made()) {
            std::fprintf(stderr, "profile %d could not be made\n", i);
            return -1;
        }
    }
    std::vector<UniqueProcess> stopped;
    size_t before = 0;
    if (suiteRunning) {
        // Not StartSuitePrograms: its REQUIREs need a test runner this program does not have.
        for (const std::wstring& image :
             {suites[0].client + L"\\" + kServiceExe, suites[0].client + L"\\" + kClientExe,
              suites[0].centre + L"\\" + kUpdaterExe}) {
            // Under load Wine now and then fails to start one; a second try is no measurement.
            DWORD pid = 0;
            for (int attempt = 0; attempt < kStartAttempts && pid == 0; ++attempt) {
                pid = scenario.StartProgram(image);
            }
            if (pid == 0) {
                std::fprintf(stderr, "%ls did not start\n", image.c_str());
                return -1;
            }
            stopped.emplace_back(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        }
        before = scenario.StartsSoFar();
    }
    RunOptions options;
    options.arguments = size.arguments;
    const RunOutcome outcome = scenario.Run(options);
    const bool ended =
        size.quiet
            ? outcome.exited && outcome.exitCode == size.exitCode && outcome.boxes.empty()
            : outcome.exited && outcome.boxes.size() == 1 && outcome.boxes[0].text == kSuccessText;
    if (!ended) {
        return -1;
    }
    for (size_t i = 0; i < suites.size() && !size.looks; ++i) {
        if (!IsHandled(suites[i], i)) {
            return -1;
        }
    }
    if (suiteRunning) {
        double firstStop = -1;
        for (const UniqueProcess& process : stopped) {
            const double end = ProcessTime(process.get(), true);
            firstStop = firstStop < 0 || (end >= 0 && end < firstStop) ? end : firstStop;
        }
        double lastStart = -1;
        for (const wchar_t* image : {kServiceExe, kClientExe}) {
            for (const StandInStart& start :
                 StartsAfter(scenario, suites[0].client + L"\\" + image, before, 1)) {
                const UniqueProcess process(
                    OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, start.pid));
                lastStart = std::max(lastStart, ProcessTime(process.get(), false));
            }
        }
        downtime = firstStop < 0 || lastStart < 0 ? -1 : lastStart - firstStop;
    }
    return size.quiet ? outcome.seconds : outcome.boxes[0].seconds;
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

std::string ProfilesText(const Size& size) {
    return size.profiles > 0 ? std::to_string(size.profiles) : "(the account's)";
}

// In ms, the median over the rounds of later[round] - earlier[round] (seconds): the two runs of
// a round follow each other, so a machine that slows for a while slows both, where the
// difference of the medians mixes rounds.
double MedianDifference(const std::vector<double>& earlier, const std::vector<double>& later) {
    std::vector<double> differences;
    for (size_t round = 0; round < earlier.size() && round < later.size(); ++round) {
        differences.push_back((later[round] - earlier[round]) * 1000);
    }
    return Median(differences);
}

void PrintTable(const Program& program, int repetitions, double floor, bool headed) {
    if (headed) {
        std::printf("%ls\n\n", program.label.c_str());
    }
    std::printf(
        "| vendor installs | user profiles | switch | runs | start to box (s) | floor (s) | own "
        "cost (ms) | downtime (ms) |\n");
    std::printf("|---:|---:|---|---:|---:|---:|---:|---:|\n");
    for (int which = 0; which < kSizeCount; ++which) {
        if (program.times[which].empty()) {
            continue;
        }
        const double median = Median(program.times[which]);
        const std::string profiles = ProfilesText(kSizes[which]);
        // A run with an argument (measured for the checkout alone) makes no fixed wait after its
        // stops.
        const bool argument = kSizes[which].arguments[0] != L'\0';
        const double fixedWait = argument ? 0 : kFixedWaitSeconds;
        const std::wstring switchName = !argument ? L"none"
                                        : kSizes[which].quiet
                                            ? std::wstring(kSizes[which].arguments) + L" (to exit)"
                                            : kSizes[which].arguments;
        char downtime[32] = "-";
        if (!kSizes[which].looks) {
            std::snprintf(downtime, sizeof downtime, "%.0f",
                          Median(program.downtimes[which]) * 1000);
        }
        std::printf("| %d | %s | %ls | %d | %.3f | %.3f | %.0f | %s |\n", kSizes[which].installs,
                    profiles.c_str(), switchName.c_str(), repetitions, median, floor,
                    (median - floor - kTimerSeconds - fixedWait) * 1000, downtime);
    }
    // Each profile's share, round by round.
    const std::vector<double>& one = program.times[kOneProfile];
    if (!one.empty() && one.size() == program.times[kManyProfiles].size()) {
        const double added = kSizes[kManyProfiles].profiles - kSizes[kOneProfile].profiles;
        std::printf(
            "\nper profile (median of each round's difference between the rows of %d and "
            "%d profiles): own cost %.1f ms, downtime %.1f ms\n",
            kSizes[kOneProfile].profiles, kSizes[kManyProfiles].profiles,
            MedianDifference(one, program.times[kManyProfiles]) / added,
            MedianDifference(program.downtimes[kOneProfile], program.downtimes[kManyProfiles]) /
                added);
    }
    std::printf("\n");
}

std::string Signed(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.0f", milliseconds);
    return text;
}

// The second program less the first, row by row, round by round.
void PrintDifferences(const Program& first, const Program& second) {
    std::printf("\n%ls less %ls, the median of each round's difference\n\n", second.label.c_str(),
                first.label.c_str());
    std::printf("| vendor installs | user profiles | switch | own cost (ms) | downtime (ms) |\n");
    std::printf("|---:|---:|---|---:|---:|\n");
    for (int which = 0; which < kSizeCount; ++which) {
        const size_t rounds = first.times[which].size();
        if (rounds == 0 || second.times[which].size() != rounds) {
            continue;
        }
        const double down = MedianDifference(first.downtimes[which], second.downtimes[which]);
        std::printf("| %d | %s | %ls | %+.0f | %s |\n", kSizes[which].installs,
                    ProfilesText(kSizes[which]).c_str(),
                    kSizes[which].arguments[0] != L'\0' ? kSizes[which].arguments : L"none",
                    MedianDifference(first.times[which], second.times[which]),
                    kSizes[which].looks ? "-" : Signed(down).c_str());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int repetitions = argc > 1 ? std::max(1, _wtoi(argv[1])) : kDefaultRepetitions;
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos) {
            std::fprintf(stderr, "expected LABEL=PATH, got %ls\n", argument.c_str());
            return 2;
        }
        programs.push_back({argument.substr(0, equals), argument.substr(equals + 1), {}, {}});
        // Only the checkout is sure to know /allusers; a commit compared with it may not.
        programs.back().allUsers = programs.back().label.rfind(L"checkout", 0) == 0;
    }
    if (programs.empty()) {
        if (!Scenario::ProgramAvailable()) {
            std::fprintf(stderr, "Quillmend.exe is not beside this program\n");
            return 2;
        }
        programs.push_back({L"", ExeFolder() + L"\\Quillmend.exe", {}, {}, true});
    }
    std::vector<double> floors;
    for (int round = 0; round < repetitions; ++round) {
        const double floor = TimeFloor();
        if (floor < 0) {
            std::fprintf(stderr, "the floor program showed no box\n");
            return 1;
        }
        floors.push_back(floor);
        for (int which = 0; which < kSizeCount; ++which) {
            for (size_t turn = 0; turn < programs.size(); ++turn) {
                Program& program = programs[round % 2 == 0 ? turn : programs.size() - 1 - turn];
                if (which >= kAccountSizes && !program.allUsers) {
                    continue;
                }
                double downtime = -1;
                const double seconds = TimeOneRun(program, kSizes[which], false, downtime);
                if (kSizes[which].looks) {
                    downtime = 0; // nothing is stopped
                } else {
                    TimeOneRun(program, kSizes[which], true, downtime);
                }
                if (seconds < 0 || downtime < 0) {
                    std::fprintf(stderr, "%ls: run with %d install(s), %d profile(s) failed\n",
                                 program.label.c_str(), kSizes[which].installs,
                                 kSizes[which].profiles);
                    return 1;
                }
                program.times[which].push_back(seconds);
                program.downtimes[which].push_back(downtime);
            }
        }
    }
    const double floor = Median(floors);
    for (const Program& program : programs) {
        PrintTable(program, repetitions, floor, programs.size() > 1 || !program.label.empty());
    }
    std::printf("own cost = start to box (to exit with /quiet) - floor - %.0f ms timer - %.0f ms "
                "fixed wait (medians; no fixed wait in runs with an argument)\n",
                kTimerSeconds * 1000, kFixedWaitSeconds * 1000);
    if (programs.size() == 2) {
        PrintDifferences(programs[0], programs[1]);
    }
    return 0;
}
