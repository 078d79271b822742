// The log file: opened safely, UTF-8 with a byte-order mark when new, appended line by line.
#include "log/run_log.h"

#include "platform/box_texts.h"

#include "log/log_lines.h"
#include "fileops/link_check.h"
#include "fileops/protected_folder.h"
#include "platform/paths.h"
#include "platform/user_error.h"

#include <exception>
#include <utility>

namespace qm {

namespace {

constexpr wchar_t kDefaultLogName[] = L"Quillmend.log";
constexpr wchar_t kLogOpenFailed[] = L"无法打开日志文件[%s], 未做任何修改, Errcode: %d";
constexpr wchar_t kLogIsLink[] = L"日志文件是链接, 拒绝写入[%s], 未做任何修改, Errcode: %d";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr LPOVERLAPPED kNotOverlapped = nullptr;

// A name-surrogate reparse point at path, as the folder's listing tags it (a cloud placeholder
// or a deduplicated file is no link). Looked at before the open, which may create the file.
bool IsLinkAt(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    const UniqueFind find(FindFirstFileW(path.c_str(), &found));
    return find && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsLinkTag(found.dwReserved0);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     kNotOverlapped) &&
           written == bytes.size();
}

} // namespace

bool RunLog::Open(const std::wstring& path, std::wstring& problem) {
    const bool inOwnFolder = path.empty();
    std::wstring movedAside;
    path_ = path;
    try {
        if (inOwnFolder) {
            const std::wstring folder = OwnDataFolder();
            folder_ = EnsureProtectedFolder(folder, &movedAside);
            path_ = JoinPath(folder, kDefaultLogName);
        }
        if (IsLinkAt(path_)) {
            ThrowUserError(kLogIsLink, {path_, kReparsePointEncountered});
        }
        // The link itself is opened, never what it points to; appending only, so nothing that
        // is already there can be lost. Other runs (and readers) may hold it at the same time:
        // each line goes out in one appending write, so lines never interleave.
        file_.reset(CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, kDefaultSecurity, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
        if (!file_) {
            const DWORD error = GetLastError();
            ThrowUserError(kLogOpenFailed, {path_, error});
        }
        const DWORD link = CheckOpenedIsPath(file_.get(), path_);
        if (link != ERROR_SUCCESS) {
            file_.reset();
            ThrowUserError(link == kReparsePointEncountered ? kLogIsLink : kLogOpenFailed,
                           {path_, link});
        }
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(file_.get(), &information)) {
            const DWORD error = GetLastError();
            ThrowUserError(kLogOpenFailed, {path_, error});
        }
        if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            ReopenThroughFilter(information);
        }
        // A second name for the log's file may have been made to aim the elevated appends at a
        // file of someone's choosing, wherever the log is.
        if (information.nNumberOfLinks > 1) {
            file_.reset();
            ThrowUserError(kLogIsLink, {path_, kReparsePointEncountered});
        }
        if (information.nFileSizeHigh == 0 && information.nFileSizeLow == 0 &&
            !WriteAll(file_.get(), kByteOrderMark)) {
            const DWORD error = GetLastError();
            ThrowUserError(kLogOpenFailed, {path_, error});
        }
        if (!movedAside.empty()) {
            Write(L"the program's folder was not trusted (not made by SYSTEM or Administrators, "
                  L"or others may change it): moved aside to " +
                  movedAside + L", and made anew");
        }
        return true;
    } catch (const std::exception& error) {
        file_.reset();
        problem = MessageOf(error);
        return false;
    }
}

// A cloud placeholder or a deduplicated file is written through the filter that owns it, not
// as the reparse point itself; the file opened so must be the one just checked.
void RunLog::ReopenThroughFilter(const BY_HANDLE_FILE_INFORMATION& checked) {
    UniqueFile through(CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, kDefaultSecurity,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, kNoTemplate));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!through || !GetFileInformationByHandle(through.get(), &information)) {
        const DWORD error = GetLastError();
        ThrowUserError(kLogOpenFailed, {path_, error});
    }
    if (information.dwVolumeSerialNumber != checked.dwVolumeSerialNumber ||
        information.nFileIndexHigh != checked.nFileIndexHigh ||
        information.nFileIndexLow != checked.nFileIndexLow) {
        ThrowUserError(kLogIsLink, {path_, kReparsePointEncountered});
    }
    file_ = std::move(through);
}

void RunLog::Write(const std::wstring& text) {
    if (file_) {
        // One write per line: with appending access each write lands whole at the end.
        WriteAll(file_.get(), LogLine(UtcNow(), text));
    }
}

void RunLog::WriteExitCode(int code) {
    Write(L"exit code " + std::to_wstring(code));
}

void ShowErrorBox(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kErrorCaption, MB_OK);
}

} // namespace qm
