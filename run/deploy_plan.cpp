// A run's writes and the checks they need, in the order the deployments meet them.
#include "run/deploy_plan.h"

#include "fileops/deploy.h"
#include "platform/paths.h"

namespace qm {

namespace {

// True the first time a key is seen. Paths hold no tab, so the tag cannot run into them.
bool FirstTime(DeployPlan& plan, const wchar_t* tag, const std::wstring& path) {
    return plan.seen.insert(std::wstring(tag) + L"\t" + path).second;
}

void AddCheck(DeployPlan& plan, CheckKind kind, const std::wstring& path, const wchar_t* failure,
              const std::wstring& root = std::wstring()) {
    // A check already passed cannot fail later in the same plan, whatever message it carries.
    if (FirstTime(plan, std::to_wstring(static_cast<int>(kind)).c_str(), path)) {
        plan.checks.push_back({kind, path, failure, root});
    }
}

// Links at or above the folder that holds the one written into are the installer's choice.
// The folders are asked once for all the files they hold; each target itself is looked at
// through the handles that read it for the backup and write it, which a link cannot slip past.
void AddLinkCheck(DeployPlan& plan, const std::wstring& target, const std::wstring& folder,
                  const wchar_t* failure) {
    const std::wstring root = ParentFolder(folder);
    const std::wstring targetFolder = ParentFolder(target);
    if (targetFolder != root) {
        AddCheck(plan, CheckKind::LinkFree, targetFolder, failure, root);
    }
}

void AddWrite(DeployPlan& plan, const std::wstring& path, const wchar_t* copyFailure) {
    if (FirstTime(plan, L"write", path)) {
        plan.writes.push_back({path, copyFailure});
    }
}

void AddFolder(DeployPlan& plan, const std::wstring& folder) {
    if (FirstTime(plan, L"folder", folder)) {
        plan.folders.push_back(folder);
    }
    AddCheck(plan, CheckKind::FolderCreatable, folder, kUserFolderCreationFailed);
}

// As a copy finds out: the target's obstacle first, then the source it opens, then the new file
// it cannot create in a folder that is not there.
void AddCopy(DeployPlan& plan, const std::wstring& sourcePath, const std::wstring& target,
             const wchar_t* failure) {
    AddCheck(plan, CheckKind::TargetWritable, target, failure);
    AddCheck(plan, CheckKind::SourceReadable, sourcePath, failure);
    AddCheck(plan, CheckKind::TargetFolder, target, failure);
    AddWrite(plan, target, failure);
}

} // namespace

void PlanReplacement(const std::wstring& sourcePath, const std::wstring& installFolder,
                     const std::wstring& userFolder, const std::wstring& fileName,
                     DeployPlan& plan) {
    const std::vector<DeployTarget> targets =
        ReplacementTargets(installFolder, userFolder, fileName);
    AddLinkCheck(plan, targets[0].path, installFolder, kInstallCopyFailed);
    AddCopy(plan, sourcePath, targets[0].path, kInstallCopyFailed);
    if (targets.size() == 1) {
        return;
    }
    // Before any folder is made: a link in wait there would take the copy elsewhere.
    AddLinkCheck(plan, targets[1].path, userFolder, kUserCopyFailed);
    AddFolder(plan, userFolder);
    AddFolder(plan, ParentFolder(targets[1].path));
    AddCopy(plan, sourcePath, targets[1].path, kUserCopyFailed);
}

void PlanReplacementAs(const std::wstring& sourcePath, const std::wstring& folder,
                       const std::vector<DeployTarget>& present, DeployPlan& plan) {
    for (const DeployTarget& target : present) {
        AddLinkCheck(plan, target.path, folder, kInstallCopyFailed);
        AddCopy(plan, sourcePath, target.path, kInstallCopyFailed);
    }
}

} // namespace qm
