// Tests of the exit code for each way a run can end.
#include "run/exit_code.h"

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
        {false, RunResult::LeftOut, 0},
    };
    for (const ExitRow& row : rows) {
        CAPTURE(static_cast<int>(row.result));
        CAPTURE(row.hasArguments);
        CHECK(ExitCodeFor(row.hasArguments, row.result) == row.code);
    }
}
