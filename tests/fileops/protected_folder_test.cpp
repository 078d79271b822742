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
        EnsureProtectedFolder(folder);
    } catch (const UserError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST_CASE("protected_folder_existing_verdict") {
    struct Row {
        bool directory, reparse, trusted;
        FolderVerdict verdict;
    };
    const Row rows[] = {
        {true, false, true, FolderVerdict::Usable},
        {true, false, false, FolderVerdict::ForeignOwner},
        // A junction is judged as a link even when an administrator made it.
        {true, true, true, FolderVerdict::ReparsePoint},
        {false, true, false, FolderVerdict::ReparsePoint},
        {false, false, true, FolderVerdict::NotAFolder},
    };
    for (const Row& row : rows) {
        CAPTURE(row.directory);
        CAPTURE(row.reparse);
        CAPTURE(row.trusted);
        CHECK(JudgeExistingFolder(row.directory, row.reparse, row.trusted) == row.verdict);
    }
}

TEST_CASE("protected_folder_trusted_owners") {
    struct Row {
        const wchar_t* owner;
        bool trusted;
    };
    const Row rows[] = {
        {L"S-1-5-18", true},            // SYSTEM
        {L"S-1-5-32-544", true},        // Administrators
        {L"S-1-5-21-1-2-3-1001", true}, // the process's own user (below)
        {L"S-1-5-32-545", false},       // Users
        {L"S-1-5-7", false},            // Anonymous: how Wine shows another Unix user's file
        {L"S-1-5-21-1-2-3-1002", false},
        {L"S-1-1-0", false}, // Everyone
    };
    PSID self = nullptr;
    REQUIRE(ConvertStringSidToSidW(L"S-1-5-21-1-2-3-1001", &self));
    for (const Row& row : rows) {
        CAPTURE(ToNarrow(row.owner));
        PSID owner = nullptr;
        REQUIRE(ConvertStringSidToSidW(row.owner, &owner));
        CHECK(IsTrustedOwner(owner, self) == row.trusted);
        LocalFree(owner);
    }
    CHECK_FALSE(IsTrustedOwner(nullptr, self));
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

    SUBCASE("made, then used again as it is") {
        EnsureProtectedFolder(folder);
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
    SUBCASE("a file in the folder's place is refused, naming it and the code") {
        WriteTextFile(folder, "not a folder");
        const std::string refusal = RefusalOf(folder);
        CHECK(refusal.find(ToNarrow(folder)) != std::string::npos);
        CHECK(refusal.find("Errcode: 267") != std::string::npos); // ERROR_DIRECTORY
    }
    SUBCASE("a folder that cannot be made: its parent is missing") {
        CHECK(RefusalOf(temp / L"none\\Quillmend").find("Errcode: 3") != std::string::npos);
    }
}
