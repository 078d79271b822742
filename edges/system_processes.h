#pragma once
// The executor's processes on this system: stops that record how each instance ran, starts that
// give each no more than that, and the waits.
#include "run/executor.h"
#include "processes/process_rights.h"

#include <map>
#include <vector>

namespace qm {

class SystemProcesses : public Processes {
public:
    std::vector<StoppedProcess> Stop(const std::wstring& image) override;
    std::vector<StoppedProcess> End(const std::wstring& image) override;
    std::vector<StoppedProcess> AwaitEnded() override;
    StartResult Start(const std::wstring& imagePath, const std::wstring& parameters) override;
    void Wait(uint32_t milliseconds) override;

private:
    // How each stopped instance ran, by image path, in stop order: each comes back with no more
    // than that.
    std::map<std::wstring, std::vector<RecordedProcess>> stopped_;
    // Those ended whose path could not be read: awaited like the others, never started again.
    std::vector<RecordedProcess> unnamed_;
};

} // namespace qm
