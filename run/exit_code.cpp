// The exit code for each way a run can end.
#include "run/exit_code.h"

namespace qm {

int ExitCodeFor(bool hasArguments, RunResult result) {
    if (!hasArguments) {
        return kExitFinished;
    }
    switch (result) {
    case RunResult::Finished:
        return kExitFinished;
    case RunResult::NothingFound:
        return kExitNothingFound;
    case RunResult::RestartFailed:
        return kExitRestartFailed;
    case RunResult::LeftOut:
        return kExitLeftOut;
    case RunResult::NotCurrent:
        return kExitNotCurrent;
    case RunResult::Failed:
    case RunResult::NotRun: // the window went away before the run: nothing was done
        return kExitFailed;
    }
    return kExitFailed;
}

} // namespace qm
