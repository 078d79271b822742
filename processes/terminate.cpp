// Finding the suite's processes by image name and ending them.
#include "processes/terminate.h"

#include "processes/process_rights.h"
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
// How long the stop waits, in all, for the ended programs to be gone.
constexpr DWORD kEndedWaitMs = 5000;
constexpr DWORD kNoWait = 0;

// The path stays empty when the process cannot be opened or its path cannot be read. How it
// ran is recorded before it is asked to end, so that it can be started again the same way.
RecordedProcess VisitOne(const PROCESSENTRY32W& entry, std::vector<wchar_t>& pathBuffer, bool end) {
    RecordedProcess visited;
    StoppedProcess& stopped = visited.stopped;
    stopped.processId = entry.th32ProcessID;
    visited.parentId = entry.th32ParentProcessID;
    UniqueProcess& held = visited.process;
    held.reset(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                           kNoInheritance, entry.th32ProcessID));
    if (!held) {
        const DWORD error = GetLastError();
        visited.tokenError = error;
        stopped.rights = DescribeRights(visited.rights);
        // An id that no longer opens as a process (87) has gone since the snapshot. Any other
        // refusal leaves it running, with the old files in memory; its path, for the message,
        // may still be readable with the least access.
        if (error != ERROR_INVALID_PARAMETER) {
            stopped.endError = error;
            const UniqueProcess limited(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION,
                                                    kNoInheritance, entry.th32ProcessID));
            DWORD length = static_cast<DWORD>(pathBuffer.size());
            if (limited && QueryFullProcessImageNameW(limited.get(), kWin32PathFormat,
                                                      pathBuffer.data(), &length)) {
                stopped.imagePath.assign(pathBuffer.data(), length);
            }
        }
        return visited;
    }
    const HANDLE process = held.get();
    DWORD length = static_cast<DWORD>(pathBuffer.size());
    if (QueryFullProcessImageNameW(process, kWin32PathFormat, pathBuffer.data(), &length)) {
        stopped.imagePath.assign(pathBuffer.data(), length);
    }
    if (end) {
        RecordRights(process, visited);
        const UniqueProcess parent(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, kNoInheritance,
                                               entry.th32ParentProcessID));
        if (parent) {
            visited.parentCreatedAt = ProcessCreationTime(parent.get());
        }
    } else {
        visited.rights = ReadProcessRights(process);
    }
    stopped.rights = DescribeRights(visited.rights);
    if (end) {
        stopped.ended = TerminateProcess(process, kExitCode) != FALSE;
        // A process that was exiting already refuses to be terminated; only one still running
        // was not ended.
        if (!stopped.ended) {
            const DWORD error = GetLastError();
            if (WaitForSingleObject(process, kNoWait) != WAIT_OBJECT_0) {
                stopped.endError = error;
            }
        }
    }
    return visited;
}

} // namespace

void AwaitGone(const std::vector<RecordedProcess*>& records) {
    const DWORD start = GetTickCount();
    for (RecordedProcess* one : records) {
        StoppedProcess& stopped = one->stopped;
        if (!one->process || !stopped.ended || stopped.endError != 0) {
            continue;
        }
        const DWORD spent = GetTickCount() - start;
        if (WaitForSingleObject(one->process.get(),
                                spent >= kEndedWaitMs ? kNoWait : kEndedWaitMs - spent) ==
            WAIT_TIMEOUT) {
            stopped.endError = WAIT_TIMEOUT;
        } else {
            one->process.reset();
        }
    }
}

namespace {

// One record per process whose file name is exactly imageName, in snapshot order; those ended
// keep their process, the others none.
std::vector<RecordedProcess> VisitProcessesByName(const std::wstring& imageName, bool end) {
    std::vector<RecordedProcess> result;
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
            result.push_back(VisitOne(entry, pathBuffer, end));
            if (!result.back().stopped.ended) {
                result.back().process.reset();
            }
        }
    }
    return result;
}

// Asks them to end and waits until they are gone.
std::vector<RecordedProcess> StopAndAwait(const std::wstring& imageName) {
    std::vector<RecordedProcess> visited = VisitProcessesByName(imageName, true);
    std::vector<RecordedProcess*> records;
    for (RecordedProcess& one : visited) {
        records.push_back(&one);
    }
    AwaitGone(records);
    return visited;
}

std::vector<StoppedProcess> StoppedOf(std::vector<RecordedProcess> visited) {
    std::vector<StoppedProcess> stopped;
    for (RecordedProcess& one : visited) {
        stopped.push_back(std::move(one.stopped));
    }
    return stopped;
}

} // namespace

bool IsWantedImage(const std::wstring& exeFile, const std::wstring& imageName) {
    return exeFile == imageName;
}

std::vector<RecordedProcess> EndAndRecordProcessesByName(const std::wstring& imageName) {
    return VisitProcessesByName(imageName, true);
}

std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) {
    return StoppedOf(StopAndAwait(imageName));
}

std::vector<StoppedProcess> FindProcessesByName(const std::wstring& imageName) {
    return StoppedOf(VisitProcessesByName(imageName, false));
}

std::wstring TerminateProcessesByName(const std::wstring& imageName) {
    return KeptImagePath(StopProcessesByName(imageName));
}

} // namespace qm
