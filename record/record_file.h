#pragma once
// Where the run's record is written, and how: whole or not at all, in place in one step.
#include "platform/win_handles.h"

#include <string>

namespace qm {

class RecordFile {
public:
    // Makes sure the record can be put where it is asked for before the run begins: path, or,
    // when it is empty, %ProgramData%\Quillmend\last.json in the program's protected folder,
    // which stays held until the record is written. A link where the record goes is refused.
    // False with a message for the user.
    bool Prepare(const std::wstring& path, std::wstring& problem);

    // The document beside the record first, then renamed onto it. False with the message.
    bool Write(const std::string& document, std::wstring& problem);

    const std::wstring& path() const { return path_; }

private:
    UniqueFile folder_;
    std::wstring path_;
    std::wstring linkRoot_; // the protected folder: nothing below it may be a link
};

} // namespace qm
