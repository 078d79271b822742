#pragma once
// Quiet runs: no box is shown; the outcome is the exit code (and the log, which sits outside).
#include "edges/forwarding_edges.h"

#include <string>

namespace qm {

class QuietEdges : public ForwardingEdges {
public:
    using ForwardingEdges::ForwardingEdges;
    void ShowMessage(const std::string&, const std::string&) override {}
};

} // namespace qm
