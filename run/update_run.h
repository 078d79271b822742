#pragma once
// The update run: finds the suite's installs, stops its programs, deploys the files from
// LicenseFile, starts the programs again and reports the outcome.
#include "run/run_edges.h"
#include "run/run_plan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Does the whole run once for the run timer's tick and nothing for any other timer (NotRun).
// Every standard exception is caught and shown (Failed); the host window is destroyed at the
// end either way.
RunResult RunUpdateWith(RunEdges& edges, uintptr_t timerId);

// For the run timer's tick, a run that may not start (another run holds the machine): the
// error box with the message, the window destroyed; Failed. Nothing else is asked of the edges.
RunResult RefuseRunWith(RunEdges& edges, uintptr_t timerId, const std::string& message);

// Starts a program again only when it was running (its image path is known); a start that
// fails is remembered for the report and the caller goes on.
void RestartProgram(RunEdges& edges, const std::wstring& imagePath, const wchar_t* parameters,
                    std::vector<RestartFailure>& failedRestarts);

} // namespace qm
