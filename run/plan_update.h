#pragma once
// The update run's plan, decided from the facts alone. No Windows API here.
#include "run/facts.h"
#include "run/plan.h"

namespace qm {

// In the run's order: the current suite's stops and wait, its copies per install (and the
// catalogue's), the service's restart; then each older generation's branch; then the client
// server's restart. Each target is written once, whatever number of deployments name it.
Plan PlanUpdate(const Facts& facts);

} // namespace qm
