#pragma once
// The install folder recorded in the suite installer's catalogue under roaming AppData.
#include <string>

namespace qm {

// Replaces output with the AppPath read from components.xml when that file is found; true
// when output is non-empty at the end. Lets the XML library's errors through.
// componentsFile, when given, receives the components.xml that was read.
bool GetCatalogueAppPath(std::wstring& output, std::wstring* componentsFile = nullptr);

// The same, with the catalogue under the roaming AppData folder appData (a user's, in a run for
// all users).
bool GetCatalogueAppPathIn(const std::wstring& appData, std::wstring& output,
                           std::wstring* componentsFile = nullptr);

// The text of the first child of the first top-level "Setup" whose name contains "AppPath".
std::wstring ReadComponentsAppPath(const char* narrowPath);

} // namespace qm
