#pragma once
// What a stopped process ran with, read from its token before it is ended, so that it can be
// started again with no more than that.
#include "processes/restart_rule.h"
#include "processes/stopped_process.h"
#include "platform/win_handles.h"

#include <cstdint>

namespace qm {

struct RecordedProcess {
    StoppedProcess stopped;
    ProcessRights rights;
    UniqueToken token;      // a primary duplicate of its token; empty when it cannot be had
    DWORD tokenError = 0;   // why the token could not be read or duplicated
    uint64_t createdAt = 0; // FILETIME units
    DWORD parentId = 0;
    uint64_t parentCreatedAt = 0; // 0 when the parent could not be opened
    UniqueProcess process;        // one ended, until it is gone (awaited); else empty
};

// The rights of a token opened with TOKEN_QUERY; known is false when a part cannot be read.
ProcessRights ReadTokenRights(HANDLE token);

// The rights of a process, from its token; known is false when it cannot be opened.
ProcessRights ReadProcessRights(HANDLE process);

// Zero when the times cannot be read.
uint64_t ProcessCreationTime(HANDLE process);

// Fills rights, token and creation time of an open process (PROCESS_QUERY_INFORMATION).
void RecordRights(HANDLE process, RecordedProcess& record);

} // namespace qm
