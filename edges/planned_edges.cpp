// The planning pass, its answers replayed to the real run, and the checks before the first stop.
#include "edges/planned_edges.h"

#include "run/update_run.h"
#include "backup/backup_files.h"
#include "fileops/deploy.h"
#include "fileops/link_check.h"
#include "fileops/target_checks.h"
#include "platform/user_error.h"

#include <windows.h>

namespace qm {

namespace {

// Decides for real, acts in nothing: nothing is stopped, written, started, waited for or shown.
// What the run would write is collected into the plan; every answer is kept for the real pass.
class PlanningEdges : public ForwardingEdges {
public:
    PlanningEdges(RunEdges& inner, PlannedAnswers& answers, DeployPlan& plan)
        : ForwardingEdges(inner), answers_(answers), plan_(plan), licenseFolder_(ProgramFolder()) {}

    void KillRunTimer() override {}
    void ShowMessage(const std::string&, const std::string&) override {}
    void DestroyHostWindow() override {}
    void Wait(uint32_t) override {}
    StartResult StartProgram(const std::wstring&, const std::wstring&) override {
        return {true, 0, {}};
    }
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring&) override { return {}; }

    bool GetRoamingAppDataFolder(std::wstring& folder) override {
        const bool found = ForwardingEdges::GetRoamingAppDataFolder(folder);
        answers_.appData.emplace(found, folder);
        return found;
    }
    bool FolderExists(const std::wstring& folder) override {
        const bool exists = ForwardingEdges::FolderExists(folder);
        answers_.folders.emplace(folder, exists);
        return exists;
    }
    bool LoadVersionLibrary(uint32_t& errorCode) override {
        const bool loaded = ForwardingEdges::LoadVersionLibrary(errorCode);
        answers_.versionLibrary.emplace(loaded, errorCode);
        return loaded;
    }
    std::wstring GetCatalogueAppPath() override {
        return Keep(answers_.catalogue, [&] { return ForwardingEdges::GetCatalogueAppPath(); });
    }
    std::wstring CollectVendorAppPaths() override {
        return Keep(answers_.vendor, [&] { return ForwardingEdges::CollectVendorAppPaths(); });
    }
    std::wstring FindLegacyAppPath() override {
        return Keep(answers_.legacy, [&] { return ForwardingEdges::FindLegacyAppPath(); });
    }
    std::wstring ReadLegacyAppPath() override {
        return Keep(answers_.oldest, [&] { return ForwardingEdges::ReadLegacyAppPath(); });
    }
    bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) override {
        const bool found = ForwardingEdges::GetFileVersionNumbers(filePath, numbers);
        answers_.versions.emplace(filePath, std::make_pair(found, numbers));
        return found;
    }
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override {
        const bool newer = ForwardingEdges::IsReplacementNewer(folder, fileName);
        answers_.newer.emplace(folder + L"\t" + fileName, newer);
        return newer;
    }
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override {
        PlanReplacement(ReplacementSourcePath(licenseFolder_, fileName), installFolder, userFolder,
                        fileName, plan_);
    }
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override {
        std::vector<DeployTarget> present;
        for (const DeployTarget& target : ReplacementTargetsAs(folder, sourceName, targetName)) {
            if (IsOpenableForReading(target.path)) {
                present.push_back(target);
            }
        }
        PlanReplacementAs(ReplacementSourcePath(licenseFolder_, sourceName), folder, present,
                          plan_);
    }

private:
    template <typename Ask>
    std::wstring Keep(std::optional<PlannedAnswers::Answer<std::wstring>>& slot, Ask ask) {
        slot.emplace();
        try {
            slot->value = ask();
        } catch (...) {
            slot->failure = std::current_exception();
        }
        slot->sourcesAfter = ForwardingEdges::FoundInstallSources();
        if (slot->failure) {
            std::rethrow_exception(slot->failure);
        }
        return slot->value;
    }

    PlannedAnswers& answers_;
    DeployPlan& plan_;
    std::wstring licenseFolder_;
};

bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The target's obstacle and its folder's absence come from the same open.
DWORD CachedTargetOpenError(const std::wstring& target, PlanProbe& probe) {
    const auto known = probe.targetOpenErrors.find(target);
    if (known != probe.targetOpenErrors.end()) {
        return known->second;
    }
    const DWORD error = TargetOpenError(target);
    probe.targetOpenErrors.emplace(target, error);
    return error;
}

} // namespace

void CheckPlannedTarget(const PlannedCheck& check, PlanProbe& probe) {
    DWORD error = ERROR_SUCCESS;
    switch (check.kind) {
    case CheckKind::TargetWritable:
        error = CachedTargetOpenError(check.path, probe);
        // A missing target is created, not opened; its folder has a check of its own.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || IsHeld(error)) {
            error = ERROR_SUCCESS;
        }
        break;
    case CheckKind::SourceReadable:
        error = SourceReadError(check.path);
        if (IsHeld(error)) {
            error = ERROR_SUCCESS;
        }
        break;
    case CheckKind::TargetFolder:
        // Creating the new file is what fails in a folder that is not there.
        error = CachedTargetOpenError(check.path, probe);
        if (error != ERROR_PATH_NOT_FOUND) {
            error = ERROR_SUCCESS;
        }
        break;
    case CheckKind::LinkFree:
        error = CheckNoLinkBelow(check.root, check.path);
        break;
    case CheckKind::FolderCreatable: {
        bool created = false;
        error = MakeFolderIfMissing(check.path, created);
        if (created) {
            probe.madeFolders.push_back(check.path);
        }
        if (error != ERROR_SUCCESS) {
            ThrowUserError(check.failure, {check.path, error});
        }
        return;
    }
    }
    if (error != ERROR_SUCCESS) {
        ThrowUserError(check.failure, {error});
    }
}

void PlannedEdges::EnsurePlanned() {
    if (planned_) {
        return;
    }
    planned_ = true;
    PlanningEdges planning(inner(), answers_, plan_);
    RunUpdateWith(planning, kRunTimerId);
}

template <typename Ask>
std::wstring PlannedEdges::Replay(std::optional<PlannedAnswers::Answer<std::wstring>>& answer,
                                  Ask ask) {
    EnsurePlanned();
    if (!answer) {
        return ask();
    }
    sources_ = answer->sourcesAfter;
    const PlannedAnswers::Answer<std::wstring> given = *answer;
    answer.reset();
    if (given.failure) {
        std::rethrow_exception(given.failure);
    }
    return given.value;
}

std::wstring PlannedEdges::GetCatalogueAppPath() {
    return Replay(answers_.catalogue, [&] { return ForwardingEdges::GetCatalogueAppPath(); });
}

std::wstring PlannedEdges::CollectVendorAppPaths() {
    return Replay(answers_.vendor, [&] { return ForwardingEdges::CollectVendorAppPaths(); });
}

std::wstring PlannedEdges::FindLegacyAppPath() {
    return Replay(answers_.legacy, [&] { return ForwardingEdges::FindLegacyAppPath(); });
}

std::wstring PlannedEdges::ReadLegacyAppPath() {
    return Replay(answers_.oldest, [&] { return ForwardingEdges::ReadLegacyAppPath(); });
}

std::vector<InstallSource> PlannedEdges::FoundInstallSources() {
    return planned_ ? sources_ : ForwardingEdges::FoundInstallSources();
}

bool PlannedEdges::GetRoamingAppDataFolder(std::wstring& folder) {
    EnsurePlanned();
    if (!answers_.appData) {
        return ForwardingEdges::GetRoamingAppDataFolder(folder);
    }
    folder = answers_.appData->second;
    return answers_.appData->first;
}

bool PlannedEdges::LoadVersionLibrary(uint32_t& errorCode) {
    EnsurePlanned();
    if (!answers_.versionLibrary) {
        return ForwardingEdges::LoadVersionLibrary(errorCode);
    }
    errorCode = answers_.versionLibrary->second;
    return answers_.versionLibrary->first;
}

bool PlannedEdges::FolderExists(const std::wstring& folder) {
    EnsurePlanned();
    const auto found = answers_.folders.find(folder);
    return found != answers_.folders.end() ? found->second : ForwardingEdges::FolderExists(folder);
}

bool PlannedEdges::GetFileVersionNumbers(const std::wstring& filePath,
                                         FileVersionNumbers& numbers) {
    EnsurePlanned();
    const auto found = answers_.versions.find(filePath);
    if (found == answers_.versions.end()) {
        return ForwardingEdges::GetFileVersionNumbers(filePath, numbers);
    }
    numbers = found->second.second;
    return found->second.first;
}

bool PlannedEdges::IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) {
    EnsurePlanned();
    const auto found = answers_.newer.find(folder + L"\t" + fileName);
    return found != answers_.newer.end() ? found->second
                                         : ForwardingEdges::IsReplacementNewer(folder, fileName);
}

std::vector<StoppedProcess> PlannedEdges::StopProcessesByName(const std::wstring& imageName) {
    EnsurePlanned();
    if (!checked_) {
        checked_ = true;
        try {
            for (const PlannedCheck& check : plan_.checks) {
                CheckPlannedTarget(check, probe_);
            }
            ForwardingEdges::PrepareWrites(plan_);
        } catch (...) {
            // Nothing is stopped, so nothing of the run may stay.
            RemoveMadeFolders();
            throw;
        }
    }
    return ForwardingEdges::StopProcessesByName(imageName);
}

RollbackReport PlannedEdges::RollBackWrites() {
    RollbackReport report = ForwardingEdges::RollBackWrites();
    std::vector<std::wstring>& made = probe_.madeFolders;
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        RemoveFolderIfEmpty(*folder);
        if (GetFileAttributesW(folder->c_str()) == INVALID_FILE_ATTRIBUTES) {
            report.steps.push_back({RollbackStep::Action::Removed, *folder, {}});
        }
    }
    made.clear();
    return report;
}

void PlannedEdges::RemoveMadeFolders() {
    std::vector<std::wstring>& made = probe_.madeFolders;
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        RemoveFolderIfEmpty(*folder);
    }
    made.clear();
}

} // namespace qm
