#pragma once
// The process's exit code, decided from how the run ended. Without arguments it is always 0,
// as it has always been; with any argument it tells the outcome to whoever started the program
// (a deployment agent, a script). No Windows API here.
#include "run/run_plan.h"

namespace qm {

constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNothingFound = 2;
constexpr int kExitRestartFailed = 3;
constexpr int kExitLeftOut = 4;
constexpr int kExitNotCurrent = 5;     // a check: a run would change something
constexpr int kExitNotUnderstood = 87; // ERROR_INVALID_PARAMETER

int ExitCodeFor(bool hasArguments, RunResult result);

} // namespace qm
