#include "app/run_update.h"

#include "app/system_edges.h"
#include "app/update_run.h"

namespace qm {

void RunUpdate(HWND window, UINT_PTR timerId) {
    SystemEdges edges(window);
    RunUpdateWith(edges, timerId);
}

} // namespace qm
