// Which files a deployment writes, and where, in the order it writes them.
#include "fileops/deploy_targets.h"

#include "platform/paths.h"

namespace qm {

namespace {
constexpr wchar_t kUserSubfolderName[] = L"\\MWClientServer";
} // namespace

std::vector<DeployTarget> ReplacementTargets(const std::wstring& installFolder,
                                             const std::wstring& userFolder,
                                             const std::wstring& fileName) {
    std::vector<DeployTarget> targets{{fileName, JoinPath(installFolder, fileName), false}};
    if (!userFolder.empty()) {
        targets.push_back(
            {fileName, JoinPath(JoinPath(userFolder, kUserSubfolderName), fileName), false});
    }
    return targets;
}

std::vector<DeployTarget> ReplacementTargetsAs(const std::wstring& folder,
                                               const std::wstring& sourceName,
                                               const std::wstring& targetName) {
    return {{sourceName, JoinPath(folder, targetName), true},
            {sourceName, JoinPath(ParentFolder(folder), targetName), true}};
}

} // namespace qm
