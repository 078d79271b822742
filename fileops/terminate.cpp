#include "fileops/terminate.h"

#include "platform/win_handles.h"

#include <vector>

namespace qm {

namespace {

constexpr DWORD kAllProcesses = 0;
constexpr BOOL kNoInheritance = FALSE;
constexpr DWORD kWin32PathFormat = 0;
constexpr UINT kExitCode = 0;
// Room for any Win32 path, so that a long install folder is not lost for the restart.
constexpr DWORD kImagePathCapacity = 32768;

// Empty when the process cannot be opened or its path cannot be read. Termination is only
// requested: the process may still hold its files for a moment after this returns.
std::wstring TerminateOne(DWORD processId, std::vector<wchar_t>& pathBuffer) {
    const UniqueProcess process(
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, kNoInheritance, processId));
    if (!process) {
        return std::wstring();
    }
    std::wstring path;
    DWORD length = static_cast<DWORD>(pathBuffer.size());
    if (QueryFullProcessImageNameW(process.get(), kWin32PathFormat, pathBuffer.data(), &length)) {
        path.assign(pathBuffer.data(), length);
    }
    TerminateProcess(process.get(), kExitCode);
    return path;
}

} // namespace

bool IsWantedImage(const std::wstring& exeFile, const std::wstring& imageName) {
    return exeFile == imageName;
}

std::wstring TerminateProcessesByName(const std::wstring& imageName) {
    std::wstring result;
    const UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, kAllProcesses));
    if (!snapshot) {
        return result;
    }
    std::vector<wchar_t> pathBuffer(kImagePathCapacity);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (!IsWantedImage(entry.szExeFile, imageName)) {
            continue;
        }
        // The last readable path wins; a later match whose path cannot be read must not make
        // the caller forget a program it stopped and has to start again.
        std::wstring path = TerminateOne(entry.th32ProcessID, pathBuffer);
        if (!path.empty()) {
            result = std::move(path);
        }
    }
    return result;
}

} // namespace qm
