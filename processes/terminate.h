#pragma once
// Stopping the suite's programs by image name, with a record of each one stopped.
#include "processes/process_rights.h"
#include "processes/stopped_process.h"

#include <string>
#include <vector>

namespace qm {

// Asks every running process whose executable file name is exactly imageName (letter case
// significant) to terminate, and waits (a few seconds at most) until those ended are gone; one
// record per match, in snapshot order.
std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName);

// The same asking without the wait, keeping with each record the token and rights it ran
// with, for its restart, and each process ended, for AwaitGone: the programs of several images
// end together, and their ends are awaited once.
std::vector<RecordedProcess> EndAndRecordProcessesByName(const std::wstring& imageName);

// Waits (a few seconds at most in all) until each ended process of records is gone, and lets
// go of it. One still there is marked so (ended, 258: WAIT_TIMEOUT) and keeps its process, so
// that its restart can wait until it has gone.
void AwaitGone(const std::vector<RecordedProcess*>& records);

// The processes the stop would ask to end, left running (ended is false); for the preview.
std::vector<StoppedProcess> FindProcessesByName(const std::wstring& imageName);

// The same stop; returns the full image path of the last one whose path could be read, or
// empty when none ran.
std::wstring TerminateProcessesByName(const std::wstring& imageName);

// The match test for one snapshot entry: the whole file name, unit by unit, case-sensitive.
// A name that is only a leading part of imageName does not match.
bool IsWantedImage(const std::wstring& exeFile, const std::wstring& imageName);

} // namespace qm
