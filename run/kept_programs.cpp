// The executor's rule of what it starts again.
#include "run/kept_programs.h"

#include "run/run_plan.h"

#include <algorithm>

namespace qm {

bool KeptPrograms::Stops(const Step& step) const {
    const auto kept = kept_.find(step.image);
    return !step.unlessKept || kept == kept_.end() || kept->second.empty();
}

void KeptPrograms::Keep(const std::wstring& image, const std::vector<StoppedProcess>& stopped) {
    std::vector<StoppedProcess> ended;
    for (const StoppedProcess& process : stopped) {
        if (process.endError == 0 || process.ended) {
            ended.push_back(process);
        }
    }
    std::vector<std::wstring>& kept = kept_[image];
    for (const std::wstring& path : KeptImagePaths(ended)) {
        if (std::find(kept.begin(), kept.end(), path) == kept.end()) {
            kept.push_back(path);
        }
    }
}

std::vector<std::wstring> KeptPrograms::ToStart(const std::wstring& image) const {
    std::vector<std::wstring> paths;
    const auto kept = kept_.find(image);
    if (kept != kept_.end()) {
        for (const std::wstring& path : kept->second) {
            if (NeedsRestart(path)) {
                paths.push_back(path);
            }
        }
    }
    return paths;
}

} // namespace qm
