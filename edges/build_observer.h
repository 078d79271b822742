#pragma once
// The observer that the build adds to every run: in the shipped program one that takes no event;
// in measurement builds (QM_STEP_TIMES) the time of each step (step_times.h). The build picks
// the source that makes it, so no product code asks which build it is in.
#include "run/executor.h"

#include <memory>

namespace qm {

std::unique_ptr<Observer> MakeBuildObserver();

} // namespace qm
