// Passing over the per-user copies a run has already made.
#include "edges/written_once_edges.h"

#include "edges/path_key.h"
#include "fileops/deploy_targets.h"

#include <vector>

namespace qm {

namespace {

constexpr wchar_t kNoUserFolder[] = L"";

} // namespace

void WrittenOnceEdges::DeployReplacementFile(const std::wstring& installFolder,
                                             const std::wstring& userFolder,
                                             const std::wstring& fileName) {
    // A file's source is LicenseFile's file of the same name, so one path always gets the same
    // bytes; a target counts as written only once its deployment has finished.
    const std::vector<DeployTarget> targets =
        ReplacementTargets(installFolder, userFolder, fileName);
    const bool installWritten = written_.count(PathKey(targets[0].path)) != 0;
    const bool userWritten = targets.size() > 1 && written_.count(PathKey(targets[1].path)) != 0;
    if (installWritten && (targets.size() == 1 || userWritten)) {
        return;
    }
    ForwardingEdges::DeployReplacementFile(installFolder, userWritten ? kNoUserFolder : userFolder,
                                           fileName);
    for (const DeployTarget& target : targets) {
        written_.insert(PathKey(target.path));
    }
}

} // namespace qm
