#pragma once
// The program's own folders under %ProgramData% (the log, the backups). Any user may create a
// folder there first, so a folder of ours is created with a protected DACL (SYSTEM and
// Administrators only) and an existing one is used only when SYSTEM or Administrators own it
// and it is no reparse point: an elevated write through a user's junction lands wherever that
// user chose.
#include <string>

namespace qm {

// Owner Administrators; protected DACL: full control for SYSTEM and Administrators, inherited
// by files and folders below, nothing for anyone else.
inline constexpr wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// %ProgramData%\Quillmend; empty when the common application-data folder cannot be had.
std::wstring OwnDataFolder();

enum class FolderVerdict { Usable, NotAFolder, ReparsePoint, ForeignOwner };

// The decision for an existing folder, from what the file system says of it.
FolderVerdict JudgeExistingFolder(bool isDirectory, bool isReparsePoint, bool ownerTrusted);

// An owner we trust: SYSTEM, Administrators, or the account this process runs as (which
// runs it elevated). Anyone else (a standard user who made the folder first) is not.
bool IsTrustedOwner(const void* ownerSid, const void* processUserSid);

// Creates the folder (one level) with the protected DACL, or checks the existing one. Throws
// UserError naming the folder and the code when it cannot be created or must not be used.
void EnsureProtectedFolder(const std::wstring& folder);

// Checks an existing folder as EnsureProtectedFolder does, without creating anything: for
// reading from it. Throws UserError the same way.
void CheckExistingProtectedFolder(const std::wstring& folder);

// Creates the folder (one level) with the protected DACL; false with the code when it cannot be
// made, ERROR_ALREADY_EXISTS when something of that name is there (never used then).
bool CreateProtectedFolder(const std::wstring& folder, unsigned long& error);

// True when the file or folder at path (not what it may link to) is a reparse point.
bool IsReparsePoint(const std::wstring& path);

} // namespace qm
