#pragma once
// Which files a deployment writes, in the order it writes them; shared by the deployment itself
// and by whatever watches it (the log, the backup, the preview). No Windows API here.
#include <string>
#include <vector>

namespace qm {

// What a copy does where the target is not there.
enum class MissingTarget {
    Create,
    Refuse, // nothing written (ERROR_FILE_NOT_FOUND): a file gone since it was found stays gone
};

struct DeployTarget {
    std::wstring sourceName;    // the file in LicenseFile
    std::wstring path;          // the file written
    bool onlyIfPresent = false; // written only when a file of that name is already there
};

// installFolder\fileName, then, when userFolder is not empty, userFolder\MWClientServer\fileName.
std::vector<DeployTarget> ReplacementTargets(const std::wstring& installFolder,
                                             const std::wstring& userFolder,
                                             const std::wstring& fileName);

// folder\targetName and parent(folder)\targetName, each only where already present. A folder
// ending in a backslash is its own parent, so the same file comes twice.
std::vector<DeployTarget> ReplacementTargetsAs(const std::wstring& folder,
                                               const std::wstring& sourceName,
                                               const std::wstring& targetName);

} // namespace qm
