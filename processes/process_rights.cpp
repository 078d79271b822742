// Reading a process's token, user, elevation, integrity, session and parent.
#include "processes/process_rights.h"

#include <sddl.h>

#include <vector>

namespace qm {

namespace {

constexpr SECURITY_ATTRIBUTES* kDefaultSecurity = nullptr;
constexpr DWORD kRecordedTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;

// Variable-length token information; empty when it cannot be read.
std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what) {
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    if (size == 0) {
        return {};
    }
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, what, buffer.data(), size, &size)) {
        return {};
    }
    return buffer;
}

bool SidText(PSID sid, std::wstring& text) {
    wchar_t* converted = nullptr;
    if (!ConvertSidToStringSidW(sid, &converted)) {
        return false;
    }
    text = converted;
    LocalFree(converted);
    return true;
}

uint64_t ToUnits(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

ProcessRights ReadTokenRights(HANDLE token) {
    ProcessRights rights;
    const std::vector<BYTE> user = TokenInformation(token, TokenUser);
    const std::vector<BYTE> label = TokenInformation(token, TokenIntegrityLevel);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_ELEVATION elevation{};
    DWORD session = 0;
    DWORD size = 0;
    if (user.empty() || label.empty() ||
        !GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) ||
        !GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) ||
        !GetTokenInformation(token, TokenSessionId, &session, sizeof session, &size) ||
        !SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, rights.userSid)) {
        return {};
    }
    const PSID integritySid =
        reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(integritySid);
    rights.integrity =
        count == 0 ? kIntegrityUntrusted : *GetSidSubAuthority(integritySid, count - 1);
    rights.elevationType = static_cast<ElevationType>(type);
    rights.elevated = elevation.TokenIsElevated != 0;
    rights.session = session;
    rights.known = true;
    return rights;
}

ProcessRights ReadProcessRights(HANDLE process) {
    UniqueToken token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) {
        return {};
    }
    return ReadTokenRights(token.get());
}

uint64_t ProcessCreationTime(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return ToUnits(created);
}

void RecordRights(HANDLE process, RecordedProcess& record) {
    record.createdAt = ProcessCreationTime(process);
    UniqueToken token;
    UniqueToken primary;
    if (!OpenProcessToken(process, kRecordedTokenAccess, token.put()) ||
        !DuplicateTokenEx(token.get(), kRecordedTokenAccess, kDefaultSecurity,
                          SecurityImpersonation, TokenPrimary, primary.put())) {
        // A service's token may be readable without being duplicable: its rights still decide,
        // and only an unelevated restart would need the duplicate.
        record.tokenError = GetLastError();
        record.rights = ReadProcessRights(process);
        return;
    }
    record.rights = ReadTokenRights(primary.get());
    if (!record.rights.known) {
        record.tokenError = ERROR_ACCESS_DENIED;
        return;
    }
    record.token = std::move(primary);
}

} // namespace qm
