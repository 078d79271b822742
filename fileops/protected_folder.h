#pragma once
// The program's own folders under %ProgramData% (the log, the backups). Any user may create a
// folder there first, so a folder of ours is created with a protected DACL (SYSTEM and
// Administrators only) and an existing one is used only when a trusted owner owns it, nobody
// else may change it, and it is no link: an elevated write through a user's junction lands
// wherever that user chose.
#include "platform/win_handles.h"

#include <string>

namespace qm {

// Owner Administrators; protected DACL: full control for SYSTEM and Administrators, inherited
// by files and folders below, nothing for anyone else.
inline constexpr wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// %ProgramData%\Quillmend; empty when the common application-data folder cannot be had.
std::wstring OwnDataFolder();

// True when the DACL of the open file or folder lets anyone but a trusted owner change it (see
// GrantsChangeToOthers), or its security cannot be read.
bool OthersMayChange(HANDLE handle);

enum class FolderVerdict { Usable, NotAFolder, ReparsePoint, ForeignOwner, ForeignWriter };

// The decision for an existing folder, from what the file system says of it.
FolderVerdict JudgeExistingFolder(bool isDirectory, bool isReparsePoint, bool ownerTrusted,
                                  bool othersMayChange);

// An owner we trust: SYSTEM, Administrators, TrustedInstaller, and the owner this process's
// token gives new objects (tokenOwnerSid: Administrators when an administrator runs it
// elevated, SYSTEM for SYSTEM). The account itself (tokenUserSid) only where new objects are
// not given Administrators: an elevated administrator's own SID owns what that user's
// unelevated half made.
bool IsTrustedOwner(const void* ownerSid, const void* tokenOwnerSid, const void* tokenUserSid);

// True when the DACL lets anyone but a trusted owner write, delete, or change its permissions
// or owner (a missing DACL lets everyone).
bool GrantsChangeToOthers(const void* dacl, const void* tokenOwnerSid, const void* tokenUserSid);

// Creates the folder (one level) with the protected DACL, or checks the existing one. One that
// must not be used (a file, a foreign owner or writer) is renamed aside, its new name in
// movedAside, and the folder made anew; a link is refused. Throws UserError naming the folder and
// the code when it cannot be created, or what stands there can be neither used nor moved. The
// handle returned holds the folder without delete sharing: while it is open, nobody can rename it
// away and put another in its place. Keep it for the run.
[[nodiscard]] UniqueFile EnsureProtectedFolder(const std::wstring& folder,
                                               std::wstring* movedAside = nullptr);

// Checks an existing folder as EnsureProtectedFolder does, without creating anything: for
// reading from it. Throws UserError the same way; returns the folder held as above.
[[nodiscard]] UniqueFile CheckExistingProtectedFolder(const std::wstring& folder);

// Creates the folder (one level) with the protected DACL; false with the code when it cannot be
// made, ERROR_ALREADY_EXISTS when something of that name is there (never used then).
bool CreateProtectedFolder(const std::wstring& folder, unsigned long& error);

// True when the file or folder at path (not what it may link to) is a reparse point of any
// kind, a cloud placeholder too.
bool IsReparsePoint(const std::wstring& path);

} // namespace qm
