#pragma once
// Which programs a run stops and starts again: the executor's rule, which a preview asks too, so
// that what it foretells is what the run does. No Windows API here.
#include "processes/stopped_process.h"
#include "run/plan.h"

#include <map>
#include <string>
#include <vector>

namespace qm {

class KeptPrograms {
public:
    // A stop "unless kept" stops nothing once a path of its image is kept.
    bool Stops(const Step& step) const;
    // Keeps, each once and in order, the path of every process of one stop that ended or is
    // ending: one that would not end still runs as it did and must not be started a second
    // time.
    void Keep(const std::wstring& image, const std::vector<StoppedProcess>& stopped);
    // The paths a restart of image starts, in the order kept.
    std::vector<std::wstring> ToStart(const std::wstring& image) const;

private:
    std::map<std::wstring, std::vector<std::wstring>> kept_; // image -> paths
};

} // namespace qm
