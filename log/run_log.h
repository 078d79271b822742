#pragma once
// The run's log file: UTF-8 with a byte-order mark when new (so Notepad and CMTrace show the
// Chinese text), appended to and never truncated, one line per event, each starting with the
// UTC time.
#include "platform/win_handles.h"

#include <string>

namespace qm {

class RunLog {
public:
    // Opens path for appending, or, when path is empty, %ProgramData%\Quillmend\Quillmend.log
    // in the program's protected folder, which stays held while the log is open. Refuses a file
    // that is a link (a junction or symbolic link; a cloud placeholder or deduplicated file is
    // none) and, in the default folder, one with more than one hard link. Other processes may
    // append to it at the same time. False with a message for the user.
    bool Open(const std::wstring& path, std::wstring& problem);

    // One event; a failed write does not stop the run.
    void Write(const std::wstring& text);
    void WriteExitCode(int code);
    const std::wstring& path() const { return path_; }

private:
    void ReopenThroughFilter(const BY_HANDLE_FILE_INFORMATION& checked);

    UniqueFile folder_;
    UniqueFile file_;
    std::wstring path_;
};

// The error box the run shows for a failure before it starts (caption "错误").
void ShowErrorBox(const std::wstring& text);

} // namespace qm
