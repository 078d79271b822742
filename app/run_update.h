#pragma once
// The run the host window's timer starts, with the settings read from the command line.
#include "app/command_line.h"
#include "run/run_plan.h"

#include <windows.h>

namespace qm {

class RunLog;

// How the run is to be done, set once at start-up before the message loop.
struct RunSettings {
    Options options;
    bool showBoxes = true; // false with /quiet, or where nobody can see a box
    RunLog* log = nullptr; // the open log, with /log
};
void ConfigureRun(const RunSettings& settings);

// The host window's WM_TIMER: the update run with the real edges, once, for the run timer
// only, decorated as the settings ask. Catches every standard exception and shows it; destroys
// the window at the end.
void RunUpdate(HWND window, UINT_PTR timerId);

// How the run ended; NotRun until it has.
RunResult LastRunResult();

} // namespace qm
