// The facts' few derived answers.
#include "run/facts.h"

namespace qm {

std::vector<std::wstring> InstallFoldersToHandle(const Facts& facts) {
    // A catalogue install is one folder that gets only the catalogue deployment, even when its
    // path holds a ",".
    if (!facts.cataloguePath.empty()) {
        return {};
    }
    return facts.vendorFolders;
}

bool IsCurrentSuiteFound(const Facts& facts) {
    for (const ProfileFacts& profile : facts.profiles) {
        if (profile.catalogueTaken) {
            return true;
        }
    }
    return !facts.cataloguePath.empty() || !facts.vendorFolders.empty();
}

bool IsAnythingLeftOut(const Facts& facts) {
    for (const ProfileFacts& profile : facts.profiles) {
        if (profile.verdict == ProfileFacts::Verdict::LeftOut || !profile.catalogueReason.empty()) {
            return true;
        }
    }
    return false;
}

bool IsAnyInstallFound(const Facts& facts) {
    return IsCurrentSuiteFound(facts) || !facts.penloom9Folder.empty() ||
           !facts.penloom8Folder.empty();
}

} // namespace qm
