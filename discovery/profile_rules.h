#pragma once
// Which user profiles an all-users run serves, and where each one's roaming AppData folder is,
// decided from what the registry says. No Windows API here; discovery/user_profiles.h reads.
#include <cstdint>
#include <string>

namespace qm {

// ProfileList's State bits that leave a profile out: mandatory, temporary, a backup.
constexpr uint32_t kProfileMandatory = 0x0001;
constexpr uint32_t kProfileTemporary = 0x0800;
constexpr uint32_t kProfileBackup = 0x8000;

// A user's SID as a ProfileList sub-key names it: a local or domain account (S-1-5-21-...) or a
// cloud account (S-1-12-1-...), with nothing after its numbers (".bak" marks a backup copy).
bool IsUserProfileKey(const std::wstring& keyName);

// None of the bits that leave a profile out.
bool IsServedProfileState(uint32_t state);

// The AppData value of a user's loaded hive (User Shell Folders) with %USERPROFILE%, in any
// letter case, as that user's profile folder. Empty when it names any other variable: its value
// for that user cannot be known from here.
std::wstring ExpandUserAppData(const std::wstring& value, const std::wstring& profileFolder);

// The folder a profile's roaming AppData is in when its hive is not loaded.
std::wstring DefaultAppData(const std::wstring& profileFolder);

// A UNC path (\\server\share\...); the \\?\ and \\.\ prefixes name local objects.
bool IsNetworkPath(const std::wstring& path);

// True when path is folder or lies below it, letters compared without regard to case (ASCII).
bool IsWithinFolder(const std::wstring& path, const std::wstring& folder);

// A user's AppData, as their hive names it, is written as SYSTEM only inside that user's own
// profile folder: below it by its text, with no "." or ".." part that could lead back out.
bool IsAppDataInProfile(const std::wstring& appData, const std::wstring& profileFolder);

} // namespace qm
