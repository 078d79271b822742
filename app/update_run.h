#pragma once
// The update run: finds the suite's installs, stops its programs, deploys the files from
// LicenseFile, starts the programs again and reports the outcome.
#include "app/run_edges.h"
#include "app/run_plan.h"

#include <cstdint>

namespace qm {

// Does the whole run once for the run timer's tick and nothing for any other timer (NotRun).
// Every standard exception is caught and shown (Failed); the host window is destroyed at the
// end either way.
RunResult RunUpdateWith(RunEdges& edges, uintptr_t timerId);

} // namespace qm
