#pragma once
// Starting a stopped program again with the rights it ran with: through a process that carries
// its own token, never with the tool's.
#include "processes/process_rights.h"

#include <string>

namespace qm {

struct RestartOutcome {
    RestartRoute route = RestartRoute::NotStarted;
    bool started = false;
    long errorCode = 0; // a Windows error code when not started
};

// For an elevated program only decides (route FromTool: the caller starts it as it always
// has). Otherwise starts `"imagePath" parameters` hidden, through its original parent or
// another process of its session with the same token, suspended, and lets it run only when
// its token is no higher than the recorded one.
RestartOutcome StartAsRecorded(const RecordedProcess& record, const std::wstring& imagePath,
                               const std::wstring& parameters);

// Starts an elevated program again with the tool's own token, by its image path: no file
// association decides what runs (HKEY_CLASSES_ROOT merges in the user's own
// HKCU\Software\Classes, which the unelevated half of an administrator can write). Hidden, in
// the tool's working folder, with ToolCommandLine. 0 when started, else the code to report.
long StartFromTool(const std::wstring& imagePath, const std::wstring& parameters);

// `"imagePath"`, then the parameters after one blank (leading blanks of theirs dropped).
std::wstring RestartCommandLine(const std::wstring& imagePath, const std::wstring& parameters);

} // namespace qm
