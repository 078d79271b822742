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

struct Visited {
    RecordedProcess record;
    UniqueProcess process; // kept so that the stop can wait until it is gone
};

// The path stays empty when the process cannot be opened or its path cannot be read. How it
// ran is recorded before it is asked to end, so that it can be started again the same way.
Visited VisitOne(const PROCESSENTRY32W& entry, std::vector<wchar_t>& pathBuffer, bool end) {
    Visited visited;
    StoppedProcess& stopped = visited.record.stopped;
    stopped.processId = entry.th32ProcessID;
    visited.record.parentId = entry.th32ParentProcessID;
    visited.process.reset(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                                      kNoInheritance, entry.th32ProcessID));
    if (!visited.process) {
        const DWORD error = GetLastError();
        visited.record.tokenError = error;
        stopped.rights = DescribeRights(visited.record.rights);
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
    const HANDLE process = visited.process.get();
    DWORD length = static_cast<DWORD>(pathBuffer.size());
    if (QueryFullProcessImageNameW(process, kWin32PathFormat, pathBuffer.data(), &length)) {
        stopped.imagePath.assign(pathBuffer.data(), length);
    }
    if (end) {
        RecordRights(process, visited.record);
        const UniqueProcess parent(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, kNoInheritance,
                                               entry.th32ParentProcessID));
        if (parent) {
            visited.record.parentCreatedAt = ProcessCreationTime(parent.get());
        }
    } else {
        visited.record.rights = ReadProcessRights(process);
    }
    stopped.rights = DescribeRights(visited.record.rights);
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

// TerminateProcess only asks: a program being ended may still hold its files. Bounded, so that
// one that never goes cannot hold up the run for long.
// One still there after the wait is marked so (ended, WAIT_TIMEOUT); its handle goes with its
// record, so that its restart can wait until it has gone.
void WaitUntilGone(std::vector<Visited>& visited) {
    const DWORD start = GetTickCount();
    for (Visited& one : visited) {
        StoppedProcess& stopped = one.record.stopped;
        if (!one.process || !stopped.ended) {
            continue;
        }
        const DWORD spent = GetTickCount() - start;
        if (WaitForSingleObject(one.process.get(),
                                spent >= kEndedWaitMs ? kNoWait : kEndedWaitMs - spent) ==
            WAIT_TIMEOUT) {
            stopped.endError = WAIT_TIMEOUT;
            one.record.process = std::move(one.process);
        }
    }
}

// One record per process whose file name is exactly imageName, in snapshot order.
std::vector<Visited> VisitProcessesByName(const std::wstring& imageName, bool end) {
    std::vector<Visited> result;
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
        }
    }
    if (end) {
        WaitUntilGone(result);
    }
    return result;
}

std::vector<StoppedProcess> StoppedOf(std::vector<Visited> visited) {
    std::vector<StoppedProcess> stopped;
    for (Visited& one : visited) {
        stopped.push_back(std::move(one.record.stopped));
    }
    return stopped;
}

} // namespace

bool IsWantedImage(const std::wstring& exeFile, const std::wstring& imageName) {
    return exeFile == imageName;
}

std::vector<RecordedProcess> StopAndRecordProcessesByName(const std::wstring& imageName) {
    std::vector<RecordedProcess> records;
    for (Visited& one : VisitProcessesByName(imageName, true)) {
        records.push_back(std::move(one.record));
    }
    return records;
}

std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) {
    return StoppedOf(VisitProcessesByName(imageName, true));
}

std::vector<StoppedProcess> FindProcessesByName(const std::wstring& imageName) {
    return StoppedOf(VisitProcessesByName(imageName, false));
}

std::wstring TerminateProcessesByName(const std::wstring& imageName) {
    return KeptImagePath(StopProcessesByName(imageName));
}

} // namespace qm
