#pragma once
// The machine's user profiles, as an all-users run reads them: HKLM's ProfileList in the 64-bit
// view, and for each user who is logged on the AppData folder their own hive names. No hive is
// ever loaded: a hive held by this program could keep its user from logging on.
#include <string>
#include <vector>

namespace qm {

enum class AppDataSource {
    Hive,    // the user's loaded hive names it (User Shell Folders)
    Default, // <profile>\AppData\Roaming: the user is not logged on
};

struct UserProfile {
    std::wstring sid;
    std::wstring account; // DOMAIN\name, or "unresolved"
    std::wstring folder;  // ProfileImagePath, expanded
    std::wstring appData; // the roaming AppData folder; empty when none could be had
    AppDataSource source = AppDataSource::Default;
    // The folder's final path where the folder itself is no link (so that it names no other
    // place); else empty.
    std::wstring folderFinal;
    // Why the profile is not served; empty when it is.
    std::wstring notServed;
};

// Every sub-key of ProfileList, in the registry's order, each with its verdict: a user's SID
// (not a ".bak" copy) whose State leaves it in, whose folder is local, exists, holds NTUSER.DAT
// and is no other profile's folder by its final path, and whose AppData is local.
std::vector<UserProfile> ListUserProfiles();

// The final path of an existing file or folder, opened as itself (no link followed); empty
// when it cannot be had.
std::wstring FinalPathOf(const std::wstring& path);
// The same, and whether what is at path is itself a link.
std::wstring FinalPathOf(const std::wstring& path, bool& link);

} // namespace qm
