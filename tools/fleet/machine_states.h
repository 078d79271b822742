#pragma once
// The states a fleet machine can be in, one row each: how the machine is laid out before the
// program runs, the exit code a deployment agent must then read, and what its files must show
// afterwards. Built on the end-to-end harness, so a state means the same here as in the tests.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"

namespace qm::fleet {

// Failed expectations of one machine, each named by what was expected.
struct Verdict {
    std::vector<std::string> failed;
    void Expect(bool held, const std::string& what) {
        if (!held) {
            failed.push_back(what);
        }
    }
};

// What a state leaves for the run: anything that must stay alive until the check (a program
// holding a file open) and the check of the files and programs after it.
struct Layout {
    std::shared_ptr<void> keepAlive;
    std::function<void(Verdict&)> check;
    std::string problem; // the state could not be laid out
};

struct MachineState {
    const char* name;
    const char* description;
    int expectedExit;
    Layout (*prepare)(e2e::Scenario& scenario);
};

// In the order a fleet draws them: machine i is in state i modulo the count, so that the first
// five machines already see every exit code.
const std::vector<MachineState>& MachineStates();

} // namespace qm::fleet
