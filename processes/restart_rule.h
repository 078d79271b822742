#pragma once
// How a stopped program may be started again, decided from what was recorded about the rights
// it ran with. No Windows API here: the edges read tokens and act, this decides.
#include <cstdint>
#include <string>

namespace qm {

// The token's elevation type as Windows numbers it (TOKEN_ELEVATION_TYPE).
enum class ElevationType : uint32_t { Default = 1, Full = 2, Limited = 3 };

// The mandatory integrity levels, by their relative identifier.
inline constexpr uint32_t kIntegrityUntrusted = 0x0000;
inline constexpr uint32_t kIntegrityLow = 0x1000;
inline constexpr uint32_t kIntegrityMedium = 0x2000;
inline constexpr uint32_t kIntegrityHigh = 0x3000;
inline constexpr uint32_t kIntegritySystem = 0x4000;

// What identifies the rights a process ran with. `known` is false when its token could not be
// read; the other fields mean nothing then.
struct ProcessRights {
    bool known = false;
    std::wstring userSid;
    ElevationType elevationType = ElevationType::Default;
    bool elevated = false; // TokenElevation: a full administrator token
    uint32_t integrity = kIntegrityUntrusted;
    uint32_t session = 0;
};

// A process that could start the program with its own token: the program's original parent or
// another process of its session.
struct RestartParent {
    bool opened = false;        // opened with the right to create processes
    bool alive = false;         // not yet exited
    bool createdBefore = false; // created before the program (a reused id is not the parent)
    ProcessRights rights;
};

enum class RestartRoute {
    FromTool,       // ran elevated: started by the tool itself (ShellExecuteW), as it always was
    OriginalParent, // through the parent that started it
    SessionProcess, // through another live process of its session with the same token
    NotStarted,     // no process carries its token (or it is unknown): reported, not started
};

bool RanElevated(const ProcessRights& rights);

// Same user, session, elevation and integrity: a process with these rights gives its children
// no more than the program had.
bool SameRights(const ProcessRights& candidate, const ProcessRights& recorded);

// The check on the started program before it runs: same user and session, and neither
// elevation nor integrity above the recorded ones.
bool NoHigherRights(const ProcessRights& started, const ProcessRights& recorded);

RestartRoute DecideRestart(const ProcessRights& recorded, const RestartParent& originalParent,
                           const RestartParent& sessionProcess);

// The command line an elevated program is started again with, as the shell built it: the quoted
// image path, one blank, then the parameters as they are (" -i" keeps its own blank).
std::wstring ToolCommandLine(const std::wstring& imagePath, const std::wstring& parameters);

// The code a failed start of an elevated program reports, as the shell reported it before: a
// Windows error below 32 is the same (2 for a missing program); the shell's answer has no room
// for larger ones and gave 11 (ERROR_BAD_FORMAT) for them.
long ShellStyleStartError(uint32_t error);

// One line for the log: "user S-1-5-21-..., elevation limited, integrity Medium, session 1", or
// "rights unknown".
std::wstring DescribeRights(const ProcessRights& rights);

} // namespace qm
