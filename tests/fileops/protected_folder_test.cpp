// Tests of the protected folders: verdicts, owners, and the descriptor read back.
#include "fileops/protected_folder.h"

#include "platform/user_error.h"
#include "tests/fileops/test_support.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include <string>

using namespace qm;
using namespace qm::test;

namespace {

// The folder's owner and DACL as SDDL, read back from the file system.
std::wstring SecurityOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"<unreadable>";
    }
    wchar_t* text = nullptr;
    std::wstring sddl = L"<unconvertible>";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
            &text, nullptr)) {
        sddl = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return sddl;
}

std::string RefusalOf(const std::wstring& folder) {
    try {
        const UniqueFile held = EnsureProtectedFolder(folder);
    } catch (const UserError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST_CASE("protected_folder_existing_verdict") {
    struct Row {
        bool directory, reparse, trusted, othersMayChange;
        FolderVerdict verdict;
    };
    const Row rows[] = {
        {true, false, true, false, FolderVerdict::Usable},
        {true, false, false, false, FolderVerdict::ForeignOwner},
        {true, false, true, true, FolderVerdict::ForeignWriter},
        {true, false, false, true, FolderVerdict::ForeignOwner},
        // A junction is judged as a link even when an administrator made it.
        {true, true, true, false, FolderVerdict::ReparsePoint},
        {false, true, false, false, FolderVerdict::ReparsePoint},
        {false, false, true, false, FolderVerdict::NotAFolder},
    };
    for (const Row& row : rows) {
        CAPTURE(row.directory);
        CAPTURE(row.reparse);
        CAPTURE(row.trusted);
        CAPTURE(row.othersMayChange);
        CHECK(JudgeExistingFolder(row.directory, row.reparse, row.trusted, row.othersMayChange) ==
              row.verdict);
    }
}

// Two tokens: an administrator's elevated one, which gives new objects to Administrators, and
// one that gives them to the account itself (unelevated, or as Wine's token behaves).
TEST_CASE("protected_folder_trusted_owners") {
    struct Row {
        const wchar_t* owner;
        bool trustedElevated, trustedAsOwner;
    };
    const Row rows[] = {
        {L"S-1-5-18", true, true},     // SYSTEM
        {L"S-1-5-32-544", true, true}, // Administrators
        {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true, true},
        // The account itself: made by its unelevated half when new objects go to Administrators.
        {L"S-1-5-21-1-2-3-1001", false, true},
        {L"S-1-5-32-545", false, false}, // Users
        {L"S-1-5-7", false, false},      // Anonymous: how Wine shows another Unix user's file
        {L"S-1-5-21-1-2-3-1002", false, false},
        {L"S-1-1-0", false, false}, // Everyone
    };
    PSID self = nullptr;
    PSID admins = nullptr;
    REQUIRE(ConvertStringSidToSidW(L"S-1-5-21-1-2-3-1001", &self));
    REQUIRE(ConvertStringSidToSidW(L"S-1-5-32-544", &admins));
    for (const Row& row : rows) {
        CAPTURE(ToNarrow(row.owner));
        PSID owner = nullptr;
        REQUIRE(ConvertStringSidToSidW(row.owner, &owner));
        CHECK(IsTrustedOwner(owner, admins, self) == row.trustedElevated);
        CHECK(IsTrustedOwner(owner, self, self) == row.trustedAsOwner);
        LocalFree(owner);
    }
    CHECK_FALSE(IsTrustedOwner(nullptr, admins, self));
    LocalFree(admins);
    LocalFree(self);
}

TEST_CASE("protected_folder_others_may_change") {
    struct Row {
        const wchar_t* sddl;
        bool elevated, asOwner;
    };
    const Row rows[] = {
        {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, false},
        {L"D:(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)", false, false}, // others read only
        {L"D:(A;OICI;0x1301ff;;;WD)", true, true},                   // Everyone may write
        {L"D:(A;OICIIO;FA;;;BU)", true, true}, // only what is made inside: the log, the sets
        {L"D:(A;;WD;;;AU)", true, true},       // WRITE_DAC alone
        {L"D:(A;;WO;;;AU)", true, true},       // WRITE_OWNER alone
        {L"D:(A;;SD;;;AU)", true, true},       // DELETE alone
        {L"D:(D;;FA;;;WD)(A;;FA;;;BA)", false, false}, // a denial gives nothing
        {L"D:(A;;FA;;;S-1-5-21-1-2-3-1001)", true, false},
    };
    PSID self = nullptr;
    PSID admins = nullptr;
    REQUIRE(ConvertStringSidToSidW(L"S-1-5-21-1-2-3-1001", &self));
    REQUIRE(ConvertStringSidToSidW(L"S-1-5-32-544", &admins));
    for (const Row& row : rows) {
        CAPTURE(ToNarrow(row.sddl));
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        REQUIRE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
        CHECK(GrantsChangeToOthers(present ? dacl : nullptr, admins, self) == row.elevated);
        CHECK(GrantsChangeToOthers(present ? dacl : nullptr, self, self) == row.asOwner);
        LocalFree(descriptor);
    }
    // No DACL at all lets everyone do everything.
    CHECK(GrantsChangeToOthers(nullptr, self, self));
    LocalFree(admins);
    LocalFree(self);
}

TEST_CASE("protected_folder_descriptor") {
    // What CreateDirectoryW is handed, read back through the security APIs.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        kProtectedFolderSddl, SDDL_REVISION_1, &descriptor, nullptr));
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    REQUIRE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    CHECK(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    REQUIRE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    CHECK((control & SE_DACL_PROTECTED) != 0); // nothing inherited from ProgramData
    BOOL present = FALSE;
    PACL dacl = nullptr;
    REQUIRE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    REQUIRE(present);
    REQUIRE(dacl);
    REQUIRE(dacl->AceCount == 2);
    const WELL_KNOWN_SID_TYPE expected[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        REQUIRE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        CHECK(ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE);
        CHECK(ace->Header.AceFlags == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
        CHECK(ace->Mask == FILE_ALL_ACCESS);
        CHECK(IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), expected[i]));
    }
    LocalFree(descriptor);
}

TEST_CASE("protected_folder_create_and_check") {
    TempFolder temp;
    const std::wstring folder = temp / L"Quillmend";

    SUBCASE("made, then used again as it is, also while it is held") {
        const UniqueFile held = EnsureProtectedFolder(folder);
        CHECK(FileExists(folder));
        CHECK(RefusalOf(folder).empty());
        // Wine keeps no security descriptor on disk: it shows every file of its own Unix user
        // as owned by the process's user with a default DACL. Windows keeps what was given.
        if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
            const std::wstring sddl = SecurityOf(folder);
            CAPTURE(ToNarrow(sddl));
            CHECK(sddl.rfind(L"O:BAD:P", 0) == 0);
            CHECK(std::count(sddl.begin(), sddl.end(), L'(') == 2);
        }
    }
    SUBCASE("a file in the folder's place: refused for reading, moved aside for writing") {
        WriteTextFile(folder, "not a folder");
        try {
            const UniqueFile held = CheckExistingProtectedFolder(folder);
            FAIL("a file was taken for the folder");
        } catch (const UserError& error) {
            CHECK(std::string(error.what()).find("Errcode: 267") != std::string::npos);
        }
        std::wstring aside;
        const UniqueFile held = EnsureProtectedFolder(folder, &aside);
        CHECK((GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0);
        CHECK(aside.rfind(folder + L".untrusted-", 0) == 0);
        CHECK(ReadTextFile(aside) == "not a folder");
    }
    SUBCASE("a folder that cannot be made: its parent is missing") {
        CHECK(RefusalOf(temp / L"none\\Quillmend").find("Errcode: 3") != std::string::npos);
    }
}
