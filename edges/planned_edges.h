#pragma once
// A run that decides everything before it acts. The first time the run asks the world anything,
// the whole run is played through once over edges that decide for real but act in nothing, as
// /preview does; the real run then gets discovery's and the version reads' answers from that
// pass, so it executes exactly the plan that was checked. At the first stop, before anything is
// stopped, every check of the plan is made (CheckPlannedTarget) and the planned writes are
// announced to the inner edges (the backup saves what they overwrite).
#include "edges/forwarding_edges.h"
#include "run/deploy_plan.h"

#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// The answers of the planning pass, in the form the real pass asks for them again.
struct PlannedAnswers {
    template <typename T> struct Answer {
        T value{};
        std::exception_ptr failure;
        std::vector<InstallSource> sourcesAfter;
    };
    std::optional<Answer<std::wstring>> catalogue, vendor, legacy, oldest;
    std::optional<std::pair<bool, uint32_t>> versionLibrary;
    std::optional<std::pair<bool, std::wstring>> appData;
    std::map<std::wstring, bool> folders;
    std::map<std::wstring, std::pair<bool, FileVersionNumbers>> versions;
    std::map<std::wstring, bool> newer; // folder + "\t" + file
};

// What the checks of one plan have found so far: the folders they made (the run's, removed
// again if it fails) and what opening each target gave, asked once per target.
struct PlanProbe {
    std::vector<std::wstring> madeFolders;
    std::map<std::wstring, unsigned long> targetOpenErrors;
};

class PlannedEdges : public ForwardingEdges {
public:
    using ForwardingEdges::ForwardingEdges;

    bool GetRoamingAppDataFolder(std::wstring& folder) override;
    bool FolderExists(const std::wstring& folder) override;
    bool LoadVersionLibrary(uint32_t& errorCode) override;
    std::wstring GetCatalogueAppPath() override;
    std::wstring CollectVendorAppPaths() override;
    std::wstring FindLegacyAppPath() override;
    std::wstring ReadLegacyAppPath() override;
    std::vector<InstallSource> FoundInstallSources() override;
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override;
    bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) override;
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override;
    RollbackReport RollBackWrites() override;

    const DeployPlan& plan() const { return plan_; }

private:
    void EnsurePlanned();
    // The planning pass's answer to a lookup (its failure thrown again), or, for a lookup that
    // pass never reached, the inner edges' own.
    template <typename Ask>
    std::wstring Replay(std::optional<PlannedAnswers::Answer<std::wstring>>& answer, Ask ask);
    void RemoveMadeFolders();

    bool planned_ = false;
    bool checked_ = false;
    PlannedAnswers answers_;
    DeployPlan plan_;
    std::vector<InstallSource> sources_;
    PlanProbe probe_;
};

// The one place every planned target is checked before the stop: throws UserError with the
// message the write would have failed with. A folder the deployment creates is made here. A
// target held open (a sharing or lock violation) is no failure yet: the suite's own programs
// hold their files until they are stopped, so the copy finds out.
void CheckPlannedTarget(const PlannedCheck& check, PlanProbe& probe);

} // namespace qm
