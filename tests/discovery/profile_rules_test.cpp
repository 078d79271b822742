// Which profiles a run for all users serves, and where their AppData is, as tables.
#include "discovery/profile_rules.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("profile_rules_key_and_state") {
    struct Row {
        const wchar_t* key;
        bool user;
    };
    const Row keys[] = {
        {L"S-1-5-21-1-2-3-1001", true},
        {L"S-1-12-1-1111-2222-3333-4444", true},
        {L"S-1-5-21-1-2-3-1001.bak", false}, // a backup copy of the entry
        {L"S-1-5-18", false},
        {L"S-1-5-19", false},
        {L"S-1-5-21-", false},
        {L"S-1-5-21-1--2", false},
        {L"S-1-5-21-1-2-", false},
        {L"s-1-5-21-1-2-3-1001", false},
        {L"S-1-5-210-1", false},
        {L"", false},
    };
    for (const Row& row : keys) {
        CAPTURE(row.key);
        CHECK(IsUserProfileKey(row.key) == row.user);
    }
    CHECK(IsServedProfileState(0));
    CHECK(IsServedProfileState(0x0100));
    CHECK_FALSE(IsServedProfileState(kProfileMandatory));
    CHECK_FALSE(IsServedProfileState(kProfileTemporary | 0x0100));
    CHECK_FALSE(IsServedProfileState(kProfileBackup));
}

TEST_CASE("profile_rules_app_data") {
    const std::wstring profile = L"C:\\Users\\ann";
    struct Row {
        const wchar_t* value;
        const wchar_t* expanded; // empty: unusable
    };
    const Row rows[] = {
        {L"%USERPROFILE%\\AppData\\Roaming", L"C:\\Users\\ann\\AppData\\Roaming"},
        {L"%userprofile%\\AppData\\Roaming", L"C:\\Users\\ann\\AppData\\Roaming"},
        {L"D:\\Roaming\\ann", L"D:\\Roaming\\ann"},
        // Another variable is the user's session's to know, not this run's.
        {L"%HOMESHARE%\\AppData", L""},
        {L"%USERPROFILE%\\%APPDATA%", L""},
        {L"%USERPROFILE", L""},
        {L"100%", L""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.value);
        CHECK(ExpandUserAppData(row.value, profile) == row.expanded);
    }
    CHECK(DefaultAppData(profile) == L"C:\\Users\\ann\\AppData\\Roaming");
}

TEST_CASE("profile_rules_paths") {
    CHECK(IsNetworkPath(L"\\\\server\\share\\ann"));
    CHECK(IsNetworkPath(L"\\\\?\\UNC\\server\\share"));
    CHECK_FALSE(IsNetworkPath(L"\\\\?\\C:\\Users\\ann"));
    CHECK_FALSE(IsNetworkPath(L"\\\\.\\C:"));
    CHECK_FALSE(IsNetworkPath(L"C:\\Users\\ann"));
    CHECK_FALSE(IsNetworkPath(L"\\Users\\ann"));

    CHECK(IsWithinFolder(L"C:\\Users\\ann\\Suite\\MWClientServer", L"C:\\Users\\ann"));
    CHECK(IsWithinFolder(L"c:\\users\\ANN\\x", L"C:\\Users\\ann\\"));
    CHECK(IsWithinFolder(L"C:\\Users\\ann", L"C:\\Users\\ann"));
    CHECK_FALSE(IsWithinFolder(L"C:\\Users\\anne\\x", L"C:\\Users\\ann"));
    CHECK_FALSE(IsWithinFolder(L"C:\\Users", L"C:\\Users\\ann"));
    CHECK_FALSE(IsWithinFolder(L"C:\\x", L""));

    CHECK(IsAppDataInProfile(L"C:\\Users\\ann\\AppData\\Roaming", L"C:\\Users\\ann"));
    CHECK_FALSE(IsAppDataInProfile(L"D:\\Roaming\\ann", L"C:\\Users\\ann"));
    CHECK_FALSE(IsAppDataInProfile(L"C:\\Users\\ann\\..\\bob\\AppData", L"C:\\Users\\ann"));
    CHECK_FALSE(IsAppDataInProfile(L"C:\\Users\\ann\\x/../../bob", L"C:\\Users\\ann"));
    CHECK(IsAppDataInProfile(L"C:\\Users\\ann\\..x\\Roaming", L"C:\\Users\\ann"));
}
