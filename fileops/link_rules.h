#pragma once
// Which paths a write must find free of links: every folder below the folder the caller trusts,
// down to the file itself. No Windows API here.
#include <string>
#include <vector>

namespace qm {

// Runs of backslashes become one, except the two that open a UNC or "\\?\" path, and a trailing
// one goes (but not the one after a drive letter), so that folders compare by their names.
std::wstring CollapseSeparators(const std::wstring& path);

// Each path from the first folder below root down to target itself, in that order: none when
// target is root, only target when root is empty or does not contain target. Both are compared
// as CollapseSeparators gives them, ignoring ASCII case.
std::vector<std::wstring> PathsBelow(const std::wstring& root, const std::wstring& target);

// The folder above which links are the installer's or the administrator's choice, for a file a
// restore writes or removes: the deepest of the user folders (each profile's, the running
// account's roaming AppData) that holds it, so that a link a user made in their own profile is
// never followed; else the install's root, the file's grandparent. Compared as PathsBelow
// compares.
std::wstring TrustedRootFor(const std::wstring& path, const std::vector<std::wstring>& userRoots);

// Whether path lies in one of the user folders (below it), compared as PathsBelow compares: a
// file its user may write.
bool IsInUserFolder(const std::wstring& path, const std::vector<std::wstring>& userRoots);

// Whether both name the same folder, compared as PathsBelow compares them; never for empty root.
bool IsRootFolder(const std::wstring& root, const std::wstring& folder);

} // namespace qm
