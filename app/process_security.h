#pragma once
// What the elevated process does for its own safety and reach before any work.
namespace qm {

// Makes the system folder the only place DLLs are loaded from by default, so nothing planted
// beside the program (or in the current folder) is picked up.
void RestrictDllSearchToSystemFolder();

// Enables SeDebugPrivilege on the own token so the suite's service processes can be ended.
// Failures are ignored: the run then ends only what it may.
void EnableDebugPrivilege();

} // namespace qm
