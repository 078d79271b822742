// Path rules over wide text: nothing normalised, names joined with one backslash.
#include "platform/paths.h"

namespace qm {

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (!name.empty() && name.front() == L'\\') {
        return folder + name;
    }
    return folder + L'\\' + name;
}

std::wstring ParentFolder(const std::wstring& path) {
    const auto slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring TrimTrailingBackslash(const std::wstring& folder) {
    if (!folder.empty() && folder.back() == L'\\') {
        return folder.substr(0, folder.size() - 1);
    }
    return folder;
}

} // namespace qm
