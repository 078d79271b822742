#pragma once
// The run's log as a decorator of its edges: every call passes through unchanged, and what it
// found, stopped, copied, started and showed is written to the log as it happens. The run
// itself knows nothing of the log.
#include "edges/forwarding_edges.h"
#include "log/run_log.h"
#include "fileops/deploy_targets.h"

#include <string>

namespace qm {

class LogEdges : public ForwardingEdges {
public:
    // preview: the inner edges only pretend to act, so the lines say what a run would do.
    LogEdges(RunEdges& inner, RunLog& log, bool preview)
        : ForwardingEdges(inner), log_(log), preview_(preview) {}

    void ShowMessage(const std::string& text, const std::string& caption) override;
    StartResult StartProgram(const std::wstring& imagePath,
                             const std::wstring& parameters) override;
    bool GetRoamingAppDataFolder(std::wstring& folder) override;
    bool LoadVersionLibrary(uint32_t& errorCode) override;
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

    void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) override;
    void RemoveCreatedFile(const std::wstring& path) override;
    RollbackReport RollBackWrites() override;

private:
    // Writes the installs that discovery found since the last call; names the lookup that
    // found none.
    void LogNewSources(const wchar_t* lookup);
    template <typename Deploy>
    void LogDeployment(const std::vector<DeployTarget>& targets, Deploy deploy);

    RunLog& log_;
    bool preview_;
    size_t sourcesLogged_ = 0;
};

// The run's first lines: the tool's version, the computer, the account and whether it is
// elevated, the command line, and the LicenseFile folder with the SHA-256 of each file in it.
void WriteRunStart(RunLog& log);

} // namespace qm
