#pragma once
// One run at a time on a machine: a mutex that a second run (an Intune retry beside a start-up
// script) waits for. It lives in a private namespace whose boundary is the Administrators group
// and whose DACL admits SYSTEM and Administrators only, so a standard user can neither create it
// first nor hold it.
#include <windows.h>

#include <string>

#include "platform/win_handles.h"

namespace qm {

// Up to five minutes for the other run.
constexpr DWORD kRunLockWaitMs = 5 * 60 * 1000;

class RunLock {
public:
    enum class Outcome {
        Held,      // ours, at once or after waiting
        Busy,      // another run kept it for the whole wait
        Abandoned, // ours; the run that held it ended without letting go
    };

    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Waits up to timeoutMs; waitedMs says how long it took. Where the namespace cannot be had
    // at all, the lock is a mutex of the same DACL under Global\ (how is told by where()).
    Outcome Acquire(DWORD timeoutMs, DWORD& waitedMs);
    const std::wstring& where() const { return where_; }

private:
    HANDLE OpenMutexInNamespace(const SECURITY_ATTRIBUTES& security);

    // Declared in the order they are needed, so they close in the reverse order.
    UniqueBoundary boundary_;
    UniqueNamespace namespace_;
    UniqueMutex mutex_;
    bool held_ = false;
    std::wstring where_;
};

} // namespace qm
