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

// The path stays empty when the process cannot be opened or its path cannot be read.
// Termination is only requested: the process may still hold its files for a moment after this
// returns.
StoppedProcess TerminateOne(DWORD processId, std::vector<wchar_t>& pathBuffer, bool end) {
    StoppedProcess stopped;
    stopped.processId = processId;
    const UniqueProcess process(
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, kNoInheritance, processId));
    if (!process) {
        return stopped;
    }
    DWORD length = static_cast<DWORD>(pathBuffer.size());
    if (QueryFullProcessImageNameW(process.get(), kWin32PathFormat, pathBuffer.data(), &length)) {
        stopped.imagePath.assign(pathBuffer.data(), length);
    }
    if (end) {
        stopped.ended = TerminateProcess(process.get(), kExitCode) != FALSE;
    }
    return stopped;
}

// One record per process whose file name is exactly imageName, in snapshot order.
std::vector<StoppedProcess> VisitProcessesByName(const std::wstring& imageName, bool end) {
    std::vector<StoppedProcess> result;
    const UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, kAllProcesses));
    if (!snapshot) {
        return result;
    }
    std::vector<wchar_t> pathBuffer(kImagePathCapacity);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (IsWantedImage(entry.szExeFile, imageName)) {
            result.push_back(TerminateOne(entry.th32ProcessID, pathBuffer, end));
        }
    }
    return result;
}

} // namespace

bool IsWantedImage(const std::wstring& exeFile, const std::wstring& imageName) {
    return exeFile == imageName;
}

std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) {
    return VisitProcessesByName(imageName, true);
}

std::vector<StoppedProcess> FindProcessesByName(const std::wstring& imageName) {
    return VisitProcessesByName(imageName, false);
}

std::wstring TerminateProcessesByName(const std::wstring& imageName) {
    return KeptImagePath(StopProcessesByName(imageName));
}

} // namespace qm
