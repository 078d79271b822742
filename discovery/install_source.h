#pragma once
// Where discovery found an install: the registry key and view, or the catalogue file.
#include <string>

namespace qm {

struct InstallSource {
    std::wstring appPath;
    std::wstring where;
};

} // namespace qm
