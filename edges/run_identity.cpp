// The program's version, the computer and the account, as far as they can be read.
#include "edges/run_identity.h"

#include "fileops/file_version.h"
#include "platform/win_handles.h"

#include <vector>

namespace qm {

namespace {

constexpr DWORD kLongestPath = 32768;
constexpr DWORD kLongestName = 256;

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(kLongestPath);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), kLongestPath);
    return std::wstring(buffer.data(), length < kLongestPath ? length : 0);
}

void ReadVersion(RunIdentity& identity) {
    uint32_t error = 0;
    FileVersionNumbers version;
    if (LoadVersionLibrary(error) && GetFileVersionNumbers(ModulePath(), version)) {
        identity.version = std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) +
                           L"." + std::to_wstring(version.build) + L"." +
                           std::to_wstring(version.revision);
    }
}

void ReadMachine(RunIdentity& identity) {
    std::vector<wchar_t> name(MAX_COMPUTERNAME_LENGTH + 1);
    DWORD size = static_cast<DWORD>(name.size());
    if (GetComputerNameW(name.data(), &size)) {
        identity.machine.assign(name.data(), size);
    }
}

void ReadAccount(RunIdentity& identity) {
    UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    identity.elevated =
        GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated;
    std::vector<BYTE> buffer(256);
    DWORD needed = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        buffer.resize(needed);
        if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &needed)) {
            return;
        }
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t name[kLongestName] = {};
    wchar_t domain[kLongestName] = {};
    DWORD nameSize = kLongestName;
    DWORD domainSize = kLongestName;
    SID_NAME_USE use{};
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        identity.account = std::wstring(domain) + L"\\" + name;
    }
}

} // namespace

RunIdentity ReadRunIdentity() {
    RunIdentity identity;
    ReadVersion(identity);
    ReadMachine(identity);
    ReadAccount(identity);
    return identity;
}

} // namespace qm
