#include "app/run_update.h"

#include "app/system_edges.h"
#include "app/update_run.h"

#ifdef QM_STEP_TIMES
#include "app/run_plan.h"
#include "app/timed_edges.h"
#endif

namespace qm {

void RunUpdate(HWND window, UINT_PTR timerId) {
    SystemEdges edges(window);
#ifdef QM_STEP_TIMES
    if (timerId == kRunTimerId) {
        TimedEdges timed(edges);
        RunUpdateWith(timed, timerId);
        return;
    }
#endif
    RunUpdateWith(edges, timerId);
}

} // namespace qm
