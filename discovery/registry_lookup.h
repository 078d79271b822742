#pragma once
// Install folders recorded in HKLM Uninstall keys, in the 64-bit view first and through the
// WOW6432Node path second. Read only; nothing here reports an error.
#include "discovery/install_source.h"

#include <string>
#include <vector>

namespace qm {

// The lookups below with where each value was found: "HKLM\<key> (64-bit view)" or
// "(32-bit view)". An empty appPath means nothing was found.
std::vector<InstallSource> ListVendorInstalls();
InstallSource FindPenloom9Install();
InstallSource ReadPenloom8Install();

// Every "App Path" under the MARROWBY key, each followed by ","; always returns 1.
int CollectVendorAppPaths(std::wstring& output);

// The "App Path" of the "penloom 9.0" generation's Uninstall sub-key, or empty; always 1.
int FindLegacyAppPath(std::wstring& output);

// The "App Path" of the "Penloom 8.0" Uninstall key, or empty.
std::wstring ReadPenloom8AppPath();

} // namespace qm
