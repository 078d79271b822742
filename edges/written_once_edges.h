#pragma once
// Each file is written once per run. Every install of the current suite sends its TLS files to
// the same per-user copy, and the catalogue install sends it the combined file twice; a copy
// that was already made from the same source in this run is passed over, since the file holds
// those bytes already, and only the install's own copy is made. This keeps the time the suite
// is stopped from growing with every install by copies that change nothing.
#include "edges/forwarding_edges.h"

#include <set>
#include <string>

namespace qm {

class WrittenOnceEdges : public ForwardingEdges {
public:
    using ForwardingEdges::ForwardingEdges;

    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override;

private:
    // Upper-cased paths a deployment finished writing in this run.
    std::set<std::wstring> written_;
};

} // namespace qm
