// One machine of a fleet rehearsal, run inside that machine's own Wine prefix:
//   qm_fleet_machine INDEX STEM
// lays out state INDEX (modulo the table), asks Quillmend.exe /check whether the machine is
// current, runs Quillmend.exe /quiet /log /json as a deployment agent would, checks the exit code,
// the log and the files against the state, and asks /check again. Writes the three runs' records
// (STEM.before.json, STEM.run.json, STEM.after.json), STEM.log (the run's log) and STEM.tsv (the
// state, its description, the expected exit code, the run's seconds and the verdict); the
// report is built from the records. Exit code 0 when every check held.
// One process does it all because the harness owns what it lays out (the programs it started,
// a file held open) and undoes it when the machine is done.
#define DOCTEST_CONFIG_IMPLEMENT // the robustness support's checks are linked, never run here
#include <doctest/doctest.h>

#include <cstdio>
#include <string>

#include "fileops/protected_folder.h"
#include "tools/fleet/machine_states.h"
#include "tools/fleet/run_log_check.h"

using namespace qm::e2e;
using namespace qm::fleet;

namespace {

constexpr wchar_t kAgentArguments[] = L"/quiet /log /json";
constexpr wchar_t kCheckArguments[] = L"/check /quiet /json:";
constexpr int kExitCurrent = 0;
constexpr DWORD kRunTimeoutMs = 120000;
constexpr int kExitUsage = 2;

// A report cell on one line, without the separator.
std::string Cell(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || !Scenario::ProgramAvailable()) {
        std::fprintf(stderr, "usage: qm_fleet_machine INDEX STEM (Quillmend.exe beside it)\n");
        return kExitUsage;
    }
    const std::vector<MachineState>& states = MachineStates();
    const MachineState& state = states[static_cast<size_t>(_wtoi(argv[1])) % states.size()];
    const std::wstring stem = argv[2];

    Verdict verdict;
    RunOutcome outcome;
    std::string log;
    LogReading reading;
    {
        Scenario scenario(L"fleet");
        Layout layout = state.prepare(scenario);
        verdict.Expect(layout.problem.empty(), "state laid out: " + layout.problem);
        RunOptions options;
        options.timeoutMs = kRunTimeoutMs;
        options.arguments = kCheckArguments + stem + L".before.json";
        verdict.Expect(scenario.Run(options).exited, "the check before the run ended by itself");
        options.arguments = kAgentArguments;
        outcome = scenario.Run(options);
        verdict.Expect(outcome.exited, "ended by itself: " + Utf8(outcome.problem));
        verdict.Expect(static_cast<int>(outcome.exitCode) == state.expectedExit,
                       "exit code " + std::to_string(state.expectedExit));
        verdict.Expect(outcome.boxes.empty() && outcome.otherVisibleWindows == 0,
                       "no box and no window");

        const std::wstring logPath = qm::OwnDataFolder() + L"\\Quillmend.log";
        verdict.Expect(ReadBytes(logPath, log), "a log at " + Utf8(logPath));
        reading = ReadRunLog(log, static_cast<int>(outcome.exitCode));
        for (const std::string& problem : reading.problems) {
            verdict.failed.push_back(problem);
        }
        std::string record;
        verdict.Expect(ReadBytes(qm::OwnDataFolder() + L"\\last.json", record) &&
                           WriteBytes(stem + L".run.json", record),
                       "a record of the run");
        if (layout.check) {
            layout.check(verdict);
        }
        // A run that ended well leaves nothing for the next one to do.
        options.arguments = kCheckArguments + stem + L".after.json";
        const RunOutcome after = scenario.Run(options);
        if (state.expectedExit == kExitCurrent) {
            verdict.Expect(after.exited && after.exitCode == kExitCurrent,
                           "current after the run (/check exit code 0)");
        }
    }
    WriteBytes(stem + L".log", log);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", outcome.seconds);
    const std::string row =
        Cell(state.name) + "\t" + Cell(state.description) + "\t" +
        std::to_string(state.expectedExit) + "\t" + seconds + "\t" +
        Cell(verdict.failed.empty() ? "pass" : "FAIL: " + Join(verdict.failed)) + "\n";
    WriteBytes(stem + L".tsv", row);
    std::fputs(row.c_str(), stdout);
    return verdict.failed.empty() ? 0 : 1;
}
