#pragma once
#include <string>

namespace qm {

// Asks every running process whose executable file name is exactly imageName (letter case
// significant) to terminate; returns the full image path of the last one whose path could be
// read, or empty when none ran.
std::wstring TerminateProcessesByName(const std::wstring& imageName);

} // namespace qm
