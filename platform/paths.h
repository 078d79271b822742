#pragma once
// Path rules of the program: nothing is normalised, names are joined with one backslash.
#include <string>

namespace qm {

// A name that already begins with a backslash (such as "\MWClientServer") is appended
// unchanged; any other name after one "\". An empty folder therefore gives "\name".
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The text before the last backslash; empty when there is none.
std::wstring ParentFolder(const std::wstring& path);

// Removes one trailing backslash, if there is one (only one).
std::wstring TrimTrailingBackslash(const std::wstring& folder);

} // namespace qm
