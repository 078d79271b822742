// Tests of the deployment into real folders.
#include "fileops/deploy.h"
#include "fileops/atomic_copy.h"
#include "fileops/link_check.h"
#include "fileops/link_rules.h"
#include "platform/user_error.h"

#include "test_support.h"

#include <doctest/doctest.h>

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <iterator>
#include <tuple>
#include <vector>

using namespace qm;
using namespace qm::test;

namespace {

// Runs the call and returns its error message as wide text (empty when nothing was thrown).
template <typename Call> std::wstring FailureOf(Call call) {
    try {
        call();
    } catch (const UserError& error) {
        return WideMessage(error);
    }
    return std::wstring();
}

// The file's DACL as SDDL, read back from the file system.
std::wstring DaclOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"<unreadable>";
    }
    wchar_t* text = nullptr;
    std::wstring sddl = L"<unconvertible>";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        sddl = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return sddl;
}

// A new file readable by SYSTEM and Administrators only, and hidden, as a private key may be.
void MakePrivateHiddenFile(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    const UniqueFile made(CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr));
    LocalFree(descriptor);
    REQUIRE(made.valid());
}

// Works inside a folder for one test and always returns to where it was.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder) : previous_(MAX_PATH + 1) {
        REQUIRE(GetCurrentDirectoryW(static_cast<DWORD>(previous_.size()), previous_.data()) > 0);
        REQUIRE(SetCurrentDirectoryW(folder.c_str()));
    }
    ~CurrentFolder() { SetCurrentDirectoryW(previous_.data()); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::vector<wchar_t> previous_;
};

// A file outside the scratch folder that a test may create; removed whatever happens.
class RemovedAtEnd {
public:
    explicit RemovedAtEnd(std::wstring path) : path_(std::move(path)) { RemoveTree(path_); }
    ~RemovedAtEnd() { RemoveTree(path_); }
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

private:
    std::wstring path_;
};

} // namespace

TEST_CASE("deploy_paths_source") {
    CHECK(ReplacementSourcePath(L"C:\\Tools", L"server.key") ==
          L"C:\\Tools\\LicenseFile\\server.key");
    // A program path without any backslash gives an empty program folder.
    CHECK(ReplacementSourcePath(L"", L"server.key") == L"\\LicenseFile\\server.key");
}

// Deep folders beyond MAX_PATH are covered by program_folder_long_test.sh: Wine starts such a
// program only from its own loader, not through CreateProcessW.
TEST_CASE("deploy_program_folder_of_exe") {
    const std::wstring folder = ProgramFolder();
    REQUIRE_FALSE(folder.empty());
    CHECK(folder.back() != L'\\');
    CHECK(FileExists(folder + L"\\fileops_tests.exe"));
}

TEST_CASE("deploy_replacement_copies") {
    LicenseFolder license;
    TempFolder temp;
    const std::wstring install = temp / L"install";
    MakeFolder(install);
    WriteTextFile(license / L"sslServer.tg", "new tls");

    SUBCASE("install folder only when no user folder is given") {
        WriteTextFile(install + L"\\sslServer.tg", "old");
        DeployReplacementFile(install, L"", L"sslServer.tg");
        CHECK(ReadTextFile(install + L"\\sslServer.tg") == "new tls");
        CHECK_FALSE(FileExists(temp / L"Marrowby"));
    }
    SUBCASE("user folder and its MWClientServer subfolder are created") {
        const std::wstring user = temp / L"Marrowby";
        DeployReplacementFile(install, user, L"sslServer.tg");
        CHECK(ReadTextFile(install + L"\\sslServer.tg") == "new tls");
        CHECK(ReadTextFile(user + L"\\MWClientServer\\sslServer.tg") == "new tls");
    }
    SUBCASE("existing user folders are reused and their copy overwritten") {
        const std::wstring user = temp / L"Marrowby";
        MakeFolder(user);
        MakeFolder(user + L"\\MWClientServer");
        WriteTextFile(user + L"\\MWClientServer\\sslServer.tg", "old");
        WriteTextFile(user + L"\\MWClientServer\\other.txt", "kept");
        DeployReplacementFile(install, user, L"sslServer.tg");
        CHECK(ReadTextFile(user + L"\\MWClientServer\\sslServer.tg") == "new tls");
        CHECK(ReadTextFile(user + L"\\MWClientServer\\other.txt") == "kept");
    }
    SUBCASE("a replaced key keeps its own DACL and attributes, a new one gets its folder's") {
        const std::wstring key = install + L"\\sslServer.tg";
        MakePrivateHiddenFile(key);
        const std::wstring before = DaclOf(key);
        CAPTURE(ToNarrow(before));
        REQUIRE(before.find(L"WD") == std::wstring::npos);

        const std::wstring user = temp / L"Marrowby";
        DeployReplacementFile(install, user, L"sslServer.tg");
        CHECK(ReadTextFile(key) == "new tls");
        CHECK(DaclOf(key) == before);
        CHECK((GetFileAttributesW(key.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0);
        // The per-user copy was new: it has what its folder gives, not the key's.
        CHECK(DaclOf(user + L"\\MWClientServer\\sslServer.tg") != before);
    }
    SUBCASE("a read-only source leaves writable targets that can be replaced again") {
        SetReadOnly(license / L"sslServer.tg", true);
        const std::wstring user = temp / L"Marrowby";
        DeployReplacementFile(install, user, L"sslServer.tg");
        CHECK_FALSE(IsReadOnly(install + L"\\sslServer.tg"));
        CHECK_FALSE(IsReadOnly(user + L"\\MWClientServer\\sslServer.tg"));
        CHECK_NOTHROW(DeployReplacementFile(install, user, L"sslServer.tg"));
    }
}

TEST_CASE("deploy_replacement_failures") {
    LicenseFolder license;
    TempFolder temp;
    const std::wstring install = temp / L"install";
    MakeFolder(install);
    WriteTextFile(license / L"server.pem", "new pem");

    SUBCASE("missing source: install message with file-not-found, nothing created") {
        const std::wstring user = temp / L"Marrowby";
        CHECK(FailureOf([&] { DeployReplacementFile(install, user, L"server.key"); }) ==
              L"授权文件替换到安装目录失败，Errcode: 2");
        CHECK_FALSE(FileExists(user));
    }
    SUBCASE("install target held open without sharing: sharing violation") {
        const std::wstring target = install + L"\\server.pem";
        WriteTextFile(target, "old");
        const UniqueFile held(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(held.valid());
        CHECK(FailureOf([&] { DeployReplacementFile(install, L"", L"server.pem"); }) ==
              L"授权文件替换到安装目录失败，Errcode: 32");
    }
    SUBCASE("user folder whose parent is missing names the user folder") {
        const std::wstring user = temp / L"missing\\Marrowby";
        CHECK(FailureOf([&] { DeployReplacementFile(install, user, L"server.pem"); }) ==
              L"创建用户目录失败[" + user + L"], Errcode: 3");
        // The install copy came first and stays.
        CHECK(ReadTextFile(install + L"\\server.pem") == "new pem");
    }
    SUBCASE("user folder that is a plain file names the subfolder") {
        const std::wstring user = temp / L"Marrowby";
        WriteTextFile(user, "not a folder");
        CHECK(FailureOf([&] { DeployReplacementFile(install, user, L"server.pem"); }) ==
              L"创建用户目录失败[" + user + L"\\MWClientServer], Errcode: 3");
    }
    SUBCASE("user target held open without sharing") {
        const std::wstring user = temp / L"Marrowby";
        MakeFolder(user);
        MakeFolder(user + L"\\MWClientServer");
        const std::wstring target = user + L"\\MWClientServer\\server.pem";
        WriteTextFile(target, "old");
        const UniqueFile held(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(held.valid());
        CHECK(FailureOf([&] { DeployReplacementFile(install, user, L"server.pem"); }) ==
              L"授权文件替换到用户目录失败，Errcode: 32");
    }
}

TEST_CASE("deploy_replacement_message_gbk_bytes") {
    // The error box shows what() as it is; under the Chinese code page that must be GBK.
    REQUIRE(GetACP() == 936);
    LicenseFolder license;
    TempFolder temp;
    const unsigned char expected[] = {0xca, 0xda, 0xc8, 0xa8, 0xce, 0xc4, 0xbc, 0xfe, 0xcc, 0xe6,
                                      0xbb, 0xbb, 0xb5, 0xbd, 0xb0, 0xb2, 0xd7, 0xb0, 0xc4, 0xbf,
                                      0xc2, 0xbc, 0xca, 0xa7, 0xb0, 0xdc, 0xa3, 0xac, 0x45, 0x72,
                                      0x72, 0x63, 0x6f, 0x64, 0x65, 0x3a, 0x20, 0x32};
    try {
        DeployReplacementFile(temp.path(), L"", L"server.key");
        FAIL("no exception");
    } catch (const std::exception& error) {
        CHECK(std::string(error.what()) ==
              std::string(reinterpret_cast<const char*>(expected), sizeof expected));
    }
}

TEST_CASE("deploy_as_only_present_targets") {
    LicenseFolder license;
    TempFolder temp;
    WriteTextFile(license / L"server.key", "new key");
    const std::wstring parent = temp / L"Penloom";
    const std::wstring folder = parent + L"\\bin";
    MakeFolder(parent);
    MakeFolder(folder);

    SUBCASE("both present: both replaced under the target name") {
        WriteTextFile(folder + L"\\ssl.key", "old");
        WriteTextFile(parent + L"\\ssl.key", "old");
        DeployReplacementFileAs(folder, L"server.key", L"ssl.key");
        CHECK(ReadTextFile(folder + L"\\ssl.key") == "new key");
        CHECK(ReadTextFile(parent + L"\\ssl.key") == "new key");
        CHECK_FALSE(FileExists(folder + L"\\server.key"));
    }
    SUBCASE("only the parent holds the file: the folder gets none") {
        WriteTextFile(parent + L"\\ssl.key", "old");
        DeployReplacementFileAs(folder, L"server.key", L"ssl.key");
        CHECK_FALSE(FileExists(folder + L"\\ssl.key"));
        CHECK(ReadTextFile(parent + L"\\ssl.key") == "new key");
    }
    SUBCASE("none present: nothing copied, even without a source") {
        CHECK_NOTHROW(DeployReplacementFileAs(folder, L"absent.pem", L"key.pem"));
        CHECK_NOTHROW(DeployReplacementFileAs(folder, L"server.key", L"ssl.key"));
        CHECK_FALSE(FileExists(folder + L"\\ssl.key"));
        CHECK_FALSE(FileExists(parent + L"\\ssl.key"));
    }
    SUBCASE("a planned copy whose target has gone since: not created, no failure") {
        CHECK_NOTHROW(DeployFile(license / L"server.key", folder + L"\\ssl.key", parent, {},
                                 kInstallCopyFailed, MissingTarget::Refuse));
        CHECK_FALSE(FileExists(folder + L"\\ssl.key"));
    }
    SUBCASE("present target but missing source: install message with 2") {
        WriteTextFile(folder + L"\\key.pem", "old");
        CHECK(FailureOf([&] { DeployReplacementFileAs(folder, L"server.pem", L"key.pem"); }) ==
              L"授权文件替换到安装目录失败，Errcode: 2");
    }
    SUBCASE("target held open without sharing counts as absent") {
        WriteTextFile(folder + L"\\ssl.key", "old");
        const std::wstring target = folder + L"\\ssl.key";
        const UniqueFile held(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(held.valid());
        CHECK_NOTHROW(DeployReplacementFileAs(folder, L"server.key", L"ssl.key"));
    }
    SUBCASE("folder ending in a backslash replaces the one file twice") {
        WriteTextFile(folder + L"\\ssl.key", "old");
        WriteTextFile(parent + L"\\ssl.key", "parent old");
        // Read-only source: the second copy onto the same target must still succeed.
        SetReadOnly(license / L"server.key", true);
        DeployReplacementFileAs(folder + L"\\", L"server.key", L"ssl.key");
        CHECK(ReadTextFile(folder + L"\\ssl.key") == "new key");
        CHECK_FALSE(IsReadOnly(folder + L"\\ssl.key"));
        CHECK(ReadTextFile(parent + L"\\ssl.key") == "parent old");
    }
}

TEST_CASE("deploy_as_folder_without_backslash") {
    LicenseFolder license;
    WriteTextFile(license / L"server.key", "new key");
    // The parent is empty, so the second target is "\name" at the root of the current drive.
    const std::wstring name = L"qm-fileops-root-" + std::to_wstring(GetCurrentProcessId());
    TempFolder temp;
    const CurrentFolder inside(temp.path());
    const RemovedAtEnd rootFile(L"\\" + name);
    MakeFolder(L"bin");

    SUBCASE("root copy absent: nothing created at the root") {
        WriteTextFile(L"bin\\" + name, "old");
        DeployReplacementFileAs(L"bin", L"server.key", name);
        CHECK(ReadTextFile(L"bin\\" + name) == "new key");
        CHECK_FALSE(FileExists(L"\\" + name));
    }
    SUBCASE("root copy present: replaced") {
        WriteTextFile(L"\\" + name, "old");
        DeployReplacementFileAs(L"bin", L"server.key", name);
        CHECK(ReadTextFile(L"\\" + name) == "new key");
        CHECK_FALSE(FileExists(L"bin\\" + name));
    }
}

TEST_CASE("deploy_link_checked_paths") {
    struct Row {
        const wchar_t* root;
        const wchar_t* target;
        std::vector<std::wstring> paths;
    };
    const Row rows[] = {
        {L"C:\\Suite",
         L"C:\\Suite\\MWClientServer\\server.key",
         {L"C:\\Suite\\MWClientServer", L"C:\\Suite\\MWClientServer\\server.key"}},
        // Case and doubled or trailing backslashes do not hide a folder from the check.
        {L"c:\\suite\\",
         L"C:\\Suite\\\\bin\\\\ssl.key",
         {L"C:\\Suite\\bin", L"C:\\Suite\\bin\\ssl.key"}},
        {L"C:\\", L"C:\\ssl.key", {L"C:\\ssl.key"}},
        // The root itself, a link or not, is trusted: nothing below it to look at.
        {L"C:\\Suite", L"c:\\suite\\", {}},
        {L"\\\\server\\share",
         L"\\\\server\\share\\a\\b",
         {L"\\\\server\\share\\a", L"\\\\server\\share\\a\\b"}},
        // A root that does not hold the target, or none: the target alone.
        {L"C:\\Other", L"C:\\Suite\\ssl.key", {L"C:\\Suite\\ssl.key"}},
        {L"C:\\Suite", L"C:\\Suitcase\\ssl.key", {L"C:\\Suitcase\\ssl.key"}},
        {L"", L"C:\\Suite\\ssl.key", {L"C:\\Suite\\ssl.key"}},
    };
    for (const Row& row : rows) {
        CAPTURE(ToNarrow(row.target));
        CHECK(PathsBelow(row.root, row.target) == row.paths);
    }
    // A restore's root: the deepest user folder holding the file, else the install's root.
    const std::vector<std::wstring> users = {L"C:\\Users\\u", L"C:\\Users\\admin",
                                             L"c:\\users\\admin\\AppData\\Roaming\\"};
    // The last column: the file is in a user folder, its user's to write.
    const std::tuple<const wchar_t*, const wchar_t*, bool> roots[] = {
        {L"C:\\Users\\u\\AppData\\Roaming\\Marrowby\\MWClientServer\\server.key", L"C:\\Users\\u",
         true},
        {L"C:\\Users\\Admin\\AppData\\Roaming\\Marrowby\\MWClientServer\\server.key",
         L"c:\\users\\admin\\AppData\\Roaming", true},
        {L"C:\\Suite\\MWClientServer\\server.key", L"C:\\Suite", false},
        // A name that only begins like a profile's is no part of it.
        {L"C:\\Users\\u2\\Marrowby\\MWClientServer\\server.key", L"C:\\Users\\u2\\Marrowby", false},
    };
    for (const auto& [path, root, userFolder] : roots) {
        CAPTURE(ToNarrow(path));
        CHECK(TrustedRootFor(path, users) == root);
        CHECK(IsInUserFolder(path, users) == userFolder);
    }
    // Only tags that stand for another name are links; a cloud placeholder or a deduplicated
    // file is the file itself.
    const std::pair<DWORD, bool> tags[] = {
        {IO_REPARSE_TAG_MOUNT_POINT, true},
        {IO_REPARSE_TAG_SYMLINK, true},
        {0xA000001D, true},  // a WSL symbolic link
        {0x9000001A, false}, // a OneDrive placeholder
        {IO_REPARSE_TAG_DEDUP, false},
        {0, false},
    };
    for (const auto& [tag, link] : tags) {
        CAPTURE(tag);
        CHECK(IsLinkTag(tag) == link);
    }
}

TEST_CASE("deploy_staged_copies") {
    TempFolder temp;
    const std::wstring target = temp / L"sslServer.tg";
    HeldSource source;
    source.bytes = "new tls";
    // What befalls the target between its copy written ahead and the copy's step.
    enum class Meanwhile { Held, Gone, MadeAgainPrivate };
    const std::tuple<Meanwhile, MissingTarget, DWORD, const char*> rows[] = {
        {Meanwhile::Held, MissingTarget::Create, ERROR_SHARING_VIOLATION, "old tls"},
        {Meanwhile::Gone, MissingTarget::Refuse, ERROR_FILE_NOT_FOUND, ""},
        {Meanwhile::MadeAgainPrivate, MissingTarget::Create, ERROR_SUCCESS, "new tls"},
    };
    for (const auto& [meanwhile, missing, code, left] : rows) {
        CAPTURE(static_cast<int>(meanwhile));
        WriteTextFile(target, "old tls");
        StagedCopy staged = StageHeldCopy(source, target, temp.path());
        REQUIRE(staged);
        UniqueFile held;
        if (meanwhile == Meanwhile::Held) {
            held.reset(
                CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        } else {
            DeleteFileW(target.c_str());
        }
        if (meanwhile == Meanwhile::MadeAgainPrivate) {
            MakePrivateHiddenFile(target);
        }
        const std::wstring rights = DaclOf(target);
        const DWORD attributes = GetFileAttributesW(target.c_str());
        CHECK(CopyHeldAtomically(source, target, temp.path(), missing, std::move(staged)) == code);
        // The target's rights and attributes are the ones it has now, not when written ahead.
        CHECK(DaclOf(target) == rights);
        CHECK(GetFileAttributesW(target.c_str()) == attributes);
        held.reset();
        // Nothing written ahead stays beside the target.
        CHECK(std::distance(std::filesystem::directory_iterator(temp.path()), {}) ==
              (*left ? 1 : 0));
        CHECK((*left ? ReadTextFile(target) : std::string()) == left);
    }
}

TEST_CASE("deploy_newer_by_revision") {
    SUBCASE("pure comparison: revision alone, strict") {
        struct Row {
            FileVersionNumbers installed;
            FileVersionNumbers replacement;
            bool newer;
        };
        const Row rows[] = {
            {{2, 0, 0, 5}, {1, 9, 9, 10}, true},     {{1, 0, 0, 10}, {2, 0, 0, 5}, false},
            {{1, 0, 0, 7}, {9, 9, 9, 7}, false},     {{0, 0, 0, 0}, {0, 0, 0, 1}, true},
            {{0, 0, 0, 65535}, {0, 0, 0, 0}, false},
        };
        for (const Row& row : rows) {
            CHECK(IsRevisionNewer(row.installed, row.replacement) == row.newer);
        }
    }

    LicenseFolder license;
    TempFolder temp;
    struct Row {
        const wchar_t* installed; // fixture program, or nullptr for none
        const wchar_t* replacement;
        bool newer;
    };
    const Row rows[] = {
        {L"version_2_0_0_5.exe", L"version_1_9_9_10.exe", true},
        {L"version_1_0_0_10.exe", L"version_2_0_0_5.exe", false},
        {L"version_1_0_0_10.exe", L"version_1_9_9_10.exe", false},
        {L"sleeper.exe", L"version_0_0_0_1.exe", true},
        {L"version_0_0_0_1.exe", L"sleeper.exe", false},
        {L"version_1_0_0_10.exe", nullptr, false},
        {nullptr, L"version_2_0_0_5.exe", false},
    };
    int line = 0;
    for (const Row& row : rows) {
        CAPTURE(line++);
        RemoveTree(temp / L"MWSealService.exe");
        RemoveTree(license / L"MWSealService.exe");
        if (row.installed) {
            CopyFixture(row.installed, temp / L"MWSealService.exe");
        }
        if (row.replacement) {
            CopyFixture(row.replacement, license / L"MWSealService.exe");
        }
        CHECK(IsReplacementNewer(temp.path(), L"MWSealService.exe",
                                 ReplacementVersion(L"MWSealService.exe")) == row.newer);
    }
}
