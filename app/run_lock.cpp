// The machine-wide run lock: boundary, private namespace, mutex, wait.
#include "app/run_lock.h"

#include <sddl.h>

namespace qm {

namespace {

constexpr wchar_t kBoundaryName[] = L"Quillmend";
constexpr wchar_t kNamespacePrefix[] = L"Quillmend";
constexpr wchar_t kMutexName[] = L"Quillmend\\OneRun";
constexpr wchar_t kFallbackMutexName[] = L"Global\\Quillmend.OneRun";
// SYSTEM and Administrators, nobody else; not inherited from anything.
constexpr wchar_t kLockDacl[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr ULONG kNoBoundaryFlags = 0;
constexpr BOOL kNotOwnedAtCreation = FALSE;

} // namespace

RunLock::~RunLock() {
    if (held_) {
        ReleaseMutex(mutex_.get());
    }
}

HANDLE RunLock::OpenMutexInNamespace(const SECURITY_ATTRIBUTES& security) {
    HANDLE boundary = CreateBoundaryDescriptorW(kBoundaryName, kNoBoundaryFlags);
    if (!boundary) {
        return nullptr;
    }
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof sid;
    // Only a token holding the Administrators group is within the boundary.
    const bool bounded = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) &&
                         AddSIDToBoundaryDescriptor(&boundary, sid);
    boundary_.reset(boundary);
    if (!bounded) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes = security;
    namespace_.reset(CreatePrivateNamespaceW(&attributes, boundary_.get(), kNamespacePrefix));
    if (!namespace_ && GetLastError() == ERROR_ALREADY_EXISTS) {
        namespace_.reset(OpenPrivateNamespaceW(boundary_.get(), kNamespacePrefix));
    }
    if (!namespace_) {
        return nullptr;
    }
    return CreateMutexW(&attributes, kNotOwnedAtCreation, kMutexName);
}

RunLock::Outcome RunLock::Acquire(DWORD timeoutMs, DWORD& waitedMs) {
    waitedMs = 0;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockDacl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        descriptor = nullptr;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    mutex_.reset(OpenMutexInNamespace(security));
    where_ = L"private namespace " + std::wstring(kMutexName);
    if (!mutex_) {
        // Windows has private namespaces since Vista; this is for a system without them.
        mutex_.reset(CreateMutexW(&security, kNotOwnedAtCreation, kFallbackMutexName));
        where_ = kFallbackMutexName;
    }
    LocalFree(descriptor);
    if (!mutex_) {
        // Nothing to wait on: the run goes ahead alone rather than not at all.
        where_ = L"none (" + std::to_wstring(GetLastError()) + L")";
        return Outcome::Held;
    }
    const ULONGLONG start = GetTickCount64();
    const DWORD waited = WaitForSingleObject(mutex_.get(), timeoutMs);
    waitedMs = static_cast<DWORD>(GetTickCount64() - start);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_ = true;
        return waited == WAIT_ABANDONED ? Outcome::Abandoned : Outcome::Held;
    }
    return Outcome::Busy;
}

} // namespace qm
