// The record's file: checked before the run, written at its end beside itself and renamed.
#include "record/record_file.h"

#include "fileops/atomic_copy.h"
#include "fileops/link_check.h"
#include "fileops/protected_folder.h"
#include "platform/paths.h"
#include "platform/user_error.h"

#include <exception>

namespace qm {

namespace {

constexpr wchar_t kDefaultRecordName[] = L"last.json";
constexpr wchar_t kRecordFolderMissing[] = L"无法写入运行记录[%s], 未做任何修改, Errcode: %d";
constexpr wchar_t kRecordNotWritten[] = L"运行记录写入失败[%s], Errcode: %d";

} // namespace

bool RecordFile::Prepare(const std::wstring& path, std::wstring& problem) {
    try {
        if (path.empty()) {
            const std::wstring folder = OwnDataFolder();
            folder_ = EnsureProtectedFolder(folder);
            path_ = JoinPath(folder, kDefaultRecordName);
            linkRoot_ = folder;
        } else {
            path_ = FullPathOf(path);
            // The folder must be there now: a record that cannot be written after the run has
            // told nobody anything.
            const UniqueFile folder = OpenFolderHeld(ParentFolder(path_));
            if (!folder) {
                const DWORD error = GetLastError();
                ThrowUserError(kRecordFolderMissing, {path_, error});
            }
        }
        if (IsReparsePoint(path_)) {
            ThrowUserError(kRecordFolderMissing,
                           {path_, static_cast<unsigned long>(kReparsePointEncountered)});
        }
        return true;
    } catch (const std::exception& error) {
        problem = MessageOf(error);
        return false;
    }
}

bool RecordFile::Write(const std::string& document, std::wstring& problem) {
    const DWORD error = WriteFileAtomically(path_, document, linkRoot_);
    if (error == ERROR_SUCCESS) {
        return true;
    }
    problem = FormatUserMessage(kRecordNotWritten, {path_, error});
    return false;
}

} // namespace qm
