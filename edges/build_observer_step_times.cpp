// Measurement builds': each step of the run timed.
#include "edges/build_observer.h"
#include "edges/step_times.h"

namespace qm {

std::unique_ptr<Observer> MakeBuildObserver() {
    return std::make_unique<StepTimes>();
}

} // namespace qm
