#pragma once
// The update run's plan, decided from the facts alone. No Windows API here.
#include "run/facts.h"
#include "run/plan.h"

namespace qm {

struct PlanOptions {
    // A run that would change nothing stops and starts nothing either (any switch given). The
    // run without arguments stops and starts the suite whatever, as its success box promises.
    bool skipWhenCurrent = false;
    // After each stop, the fixed one-second wait of the run without arguments. Without it (any
    // switch) the run waits only until the ended programs are gone, as every stop does, and a
    // copy that finds its target still held tries again for as long instead.
    bool fixedWaits = true;
    // A certificate that expires before the one it replaces is deployed all the same
    // (/allowolder); else the run is refused.
    bool allowOlder = false;
};

// In the run's order: the current suite's stops and wait, its copies per install (and the
// catalogue's), the service's restart; then each older generation's branch; then the client
// server's restart. Each target is written once, whatever number of deployments name it; a
// target that holds its bytes already is not saved first.
Plan PlanUpdate(const Facts& facts, const PlanOptions& options = {});

} // namespace qm
