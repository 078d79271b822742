// Stops, starts and waits on this system.
#include "edges/system_processes.h"

#include "processes/restart.h"
#include "processes/terminate.h"

#include <windows.h>

namespace qm {

namespace {

// How long a restart waits for an instance that was ended but had not gone yet.
constexpr DWORD kGoneWaitMs = 5000;

} // namespace

std::vector<StoppedProcess> SystemProcesses::Stop(const std::wstring& image) {
    std::vector<StoppedProcess> stopped;
    for (RecordedProcess& record : EndAndRecordProcessesByName(image)) {
        stopped.push_back(record.stopped);
        if (!record.stopped.imagePath.empty()) {
            const std::wstring path = record.stopped.imagePath;
            stopped_[path].push_back(std::move(record));
        } else if (record.process) {
            unnamed_.push_back(std::move(record));
        }
    }
    return stopped;
}

std::vector<StoppedProcess> SystemProcesses::AwaitEnded() {
    std::vector<RecordedProcess*> awaited;
    const auto await = [&awaited](std::vector<RecordedProcess>& records) {
        for (RecordedProcess& record : records) {
            if (record.process && record.stopped.endError == 0) {
                awaited.push_back(&record);
            }
        }
    };
    for (auto& [path, records] : stopped_) {
        await(records);
    }
    await(unnamed_);
    AwaitGone(awaited);
    std::vector<StoppedProcess> lingering;
    for (const RecordedProcess* record : awaited) {
        if (record->stopped.endError != 0) {
            lingering.push_back(record->stopped);
        }
    }
    return lingering;
}

std::vector<StoppedProcess> SystemProcesses::End(const std::wstring& image) {
    return StopProcessesByName(image);
}

StartResult SystemProcesses::Start(const std::wstring& imagePath, const std::wstring& parameters) {
    StartResult result{true, ERROR_SUCCESS, {}};
    const auto fail = [&result](long code) {
        if (result.started) {
            result.started = false;
            result.errorCode = code;
        } else {
            result.furtherErrorCodes.push_back(code);
        }
    };
    // A program the stop did not record is started as an elevated one. Each unelevated
    // instance comes back through a process of its own session with its own token; elevated
    // ones of one image path are started once, by the tool.
    const auto recorded = stopped_.find(imagePath);
    bool fromTool = recorded == stopped_.end();
    if (!fromTool) {
        for (const RecordedProcess& record : recorded->second) {
            // One that would not end still runs; a second copy of it would be one too many.
            if (!record.stopped.ended) {
                continue;
            }
            // Nor while the one ended is still going.
            if (record.process &&
                WaitForSingleObject(record.process.get(), kGoneWaitMs) == WAIT_TIMEOUT) {
                fail(WAIT_TIMEOUT);
                continue;
            }
            const RestartOutcome outcome = StartAsRecorded(record, imagePath, parameters);
            if (outcome.route == RestartRoute::FromTool) {
                fromTool = true;
            } else if (!outcome.started) {
                fail(outcome.errorCode);
            }
        }
    }
    if (fromTool) {
        const long error = StartFromTool(imagePath, parameters);
        if (error != ERROR_SUCCESS) {
            fail(error);
        }
    }
    return result;
}

void SystemProcesses::Wait(uint32_t milliseconds) {
    Sleep(milliseconds);
}

} // namespace qm
