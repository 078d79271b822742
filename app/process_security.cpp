// What the elevated process does for its own safety before any work.
#include "app/process_security.h"

#include "platform/win_handles.h"

namespace qm {

namespace {

constexpr const wchar_t* kLocalSystem = nullptr;
constexpr BOOL kKeepOtherPrivileges = FALSE;
constexpr PTOKEN_PRIVILEGES kNoPreviousState = nullptr;
constexpr PDWORD kNoPreviousLength = nullptr;
constexpr wchar_t kEmptyDllDirectory[] = L"";

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

} // namespace

void RestrictDllSearchToSystemFolder() {
    // Looked up at run time: Windows 7 has it only with KB2533623, and a static import would
    // keep the program from starting there at all.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefaultDllDirectories =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
                     GetProcAddress(kernel, "SetDefaultDllDirectories")))
               : nullptr;
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    // At least take the current folder out of the search.
    SetDllDirectoryW(kEmptyDllDirectory);
}

void EnableDebugPrivilege() {
    UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
        return;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(kLocalSystem, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        return;
    }
    AdjustTokenPrivileges(token.get(), kKeepOtherPrivileges, &privileges, sizeof(privileges),
                          kNoPreviousState, kNoPreviousLength);
}

} // namespace qm
