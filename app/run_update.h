#pragma once
// The run the host window's timer starts, with what the command line asked for.
#include "app/command_line.h"
#include "run/run_plan.h"

#include <windows.h>

namespace qm {

class RunLog;
class RunRecord;

// How the run is to be done, set once at start-up and handed to the window; the window keeps
// how it ended.
struct RunContext {
    Options options;
    bool showBoxes = true;       // false with /quiet, or where nobody can see a box
    RunLog* log = nullptr;       // the open log, with /log
    RunRecord* record = nullptr; // the run's record, with /json
    bool allUsers = false;       // /allusers, or running as SYSTEM: every user profile is served
    bool asSystem = false;       // running as LocalSystem
    RunResult result = RunResult::NotRun;
};

// The run, preview or restore the options ask for, with the real machine; how it ended. Catches
// every standard exception and shows it.
RunResult RunUpdate(HWND window, const RunContext& context);

} // namespace qm
