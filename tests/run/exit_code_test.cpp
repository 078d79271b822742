// Tests of the exit code for each way a run can end, and of a check's verdict.
#include "run/exit_code.h"
#include "run/preview.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("exit_code_table") {
    struct ExitRow {
        bool hasArguments;
        RunResult result;
        int code;
    };
    const ExitRow rows[] = {
        {false, RunResult::Finished, 0},      {false, RunResult::NothingFound, 0},
        {false, RunResult::RestartFailed, 0}, {false, RunResult::Failed, 0},
        {true, RunResult::Finished, 0},       {true, RunResult::NothingFound, 2},
        {true, RunResult::RestartFailed, 3},  {true, RunResult::Failed, 1},
        {true, RunResult::NotRun, 1},         {true, RunResult::LeftOut, 4},
        {false, RunResult::LeftOut, 0},       {true, RunResult::NotCurrent, 5},
    };
    for (const ExitRow& row : rows) {
        CAPTURE(static_cast<int>(row.result));
        CAPTURE(row.hasArguments);
        CHECK(ExitCodeFor(row.hasArguments, row.result) == row.code);
    }
}

TEST_CASE("check_verdict_table") {
    Facts installed;
    installed.vendorFolders = {L"C:\\A\\X"};
    Facts leftOut = installed;
    leftOut.allUsers = true;
    leftOut.profiles.push_back({});
    leftOut.profiles.back().verdict = ProfileFacts::Verdict::LeftOut;
    Plan current;
    current.alreadyCurrent = true;
    Plan refused = current;
    refused.refusal = L"refused";
    Foreseen fine;
    Foreseen failing;
    failing.result = RunResult::Failed;
    struct Row {
        const char* what;
        const Facts& facts;
        const Plan& plan;
        const Foreseen& foreseen;
        RunResult verdict;
    };
    const Row rows[] = {
        {"current", installed, current, fine, RunResult::Finished},
        {"a run would change something", installed, Plan(), fine, RunResult::NotCurrent},
        {"nothing installed", Facts(), Plan(), fine, RunResult::NothingFound},
        {"a refused payload, though current", installed, refused, fine, RunResult::Failed},
        {"a check that would fail", installed, Plan(), failing, RunResult::Failed},
        {"current, a profile left out", leftOut, current, fine, RunResult::LeftOut},
        {"not current, a profile left out", leftOut, Plan(), fine, RunResult::NotCurrent},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.what));
        CHECK(CheckVerdict(row.facts, row.plan, row.foreseen) == row.verdict);
    }
}
