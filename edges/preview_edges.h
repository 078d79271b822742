#pragma once
// /preview as decorators of the run's edges: discovery and every decision run for real, but
// nothing is ended, started, copied or waited for (PreviewEdges, innermost). The run's final
// box becomes a list of what a real run would do, ending with the box that run would show
// (PreviewBoxEdges, outermost, so that the log records the box as it is shown).
#include "edges/forwarding_edges.h"

#include <string>
#include <vector>

namespace qm {

class PreviewEdges : public ForwardingEdges {
public:
    using ForwardingEdges::ForwardingEdges;

    void Wait(uint32_t milliseconds) override;
    StartResult StartProgram(const std::wstring& imagePath,
                             const std::wstring& parameters) override;
    std::wstring GetCatalogueAppPath() override;
    std::wstring CollectVendorAppPaths() override;
    std::wstring FindLegacyAppPath() override;
    std::wstring ReadLegacyAppPath() override;
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override;
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override;
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override;
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override;

    // What has been listed so far, one line per step.
    const std::vector<std::wstring>& lines() const { return lines_; }

private:
    void ListNewSources();
    void ListCopy(const std::wstring& sourceName, const std::wstring& target, bool onlyIfPresent);

    std::vector<std::wstring> lines_;
    size_t sourcesListed_ = 0;
};

class PreviewBoxEdges : public ForwardingEdges {
public:
    PreviewBoxEdges(RunEdges& inner, const PreviewEdges& listing)
        : ForwardingEdges(inner), listing_(listing) {}
    void ShowMessage(const std::string& text, const std::string& caption) override;

private:
    const PreviewEdges& listing_;
};

// The preview box's text: the listed steps, then the box the run would have shown.
std::wstring PreviewText(const std::vector<std::wstring>& lines, const std::wstring& outcomeText);

} // namespace qm
