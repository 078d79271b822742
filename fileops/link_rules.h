#pragma once
// Which paths a write must find free of links: every folder below the folder the caller trusts,
// down to the file itself. No Windows API here.
#include <string>
#include <vector>

namespace qm {

// Runs of backslashes become one, except the two that open a UNC or "\\?\" path, and a trailing
// one goes (but not the one after a drive letter), so that folders compare by their names.
std::wstring CollapseSeparators(const std::wstring& path);

// Each path from the first folder below root down to target itself, in that order. Only target
// when root is empty or does not contain target; both are compared as CollapseSeparators gives
// them, ignoring ASCII case.
std::vector<std::wstring> PathsBelow(const std::wstring& root, const std::wstring& target);

} // namespace qm
