// This machine's facts and files under Wine, and whole runs over them with only the waits, the
// boxes, the starts, the process ends, the journal and the AppData folder replaced: the
// registry, the files and LicenseFile beside this test program are real and removed again
// afterwards. The backup journal over real files.
#include "edges/backup_journal.h"
#include "edges/machine_facts.h"
#include "edges/system_files.h"
#include "edges/system_processes.h"

#include "backup/backup_files.h"
#include "backup/manifest_writer.h"
#include "fileops/atomic_copy.h"
#include "run/executor.h"
#include "run/plan_update.h"
#include "run/run_plan.h"
#include "fileops/deploy.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"
#include "tests/discovery/registry_views.h"

#include <doctest/doctest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace qm;

namespace {

const std::wstring kVendorKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MARROWBY";
const std::wstring kOldestKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Penloom 8.0";

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry{};
    UniqueFind find(FindFirstFileW(JoinPath(path, L"*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = JoinPath(path, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.get(), &entry));
    }
    find.reset();
    RemoveDirectoryW(path.c_str());
}

void WriteFile(const std::wstring& path, const std::string& content) {
    std::ofstream out(ToNarrow(path), std::ios::binary);
    REQUIRE(out.good());
    out << content;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(ToNarrow(path), std::ios::binary);
    if (!in) {
        return "(missing)";
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) {
    REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
}

// A fresh folder under %TEMP%, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        REQUIRE(GetTempPathW(MAX_PATH + 1, temp) > 0);
        path_ =
            TrimTrailingBackslash(temp) + L"\\qm-edges-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(path_);
        MakeFolder(path_);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// The LicenseFile folder beside this test program, with the replacement files.
class LicenseFolder {
public:
    LicenseFolder() : path_(JoinPath(ProgramFolder(), L"LicenseFile")) {
        RemoveTree(path_);
        MakeFolder(path_);
        WriteFile(JoinPath(path_, L"sslServer.tg"), "new tg");
        WriteFile(JoinPath(path_, L"server.key"), "new key");
        WriteFile(JoinPath(path_, L"server.pem"), "new pem");
    }
    ~LicenseFolder() { RemoveTree(path_); }
    LicenseFolder(const LicenseFolder&) = delete;
    LicenseFolder& operator=(const LicenseFolder&) = delete;

private:
    std::wstring path_;
};

// Scratch Uninstall keys, removed before and after.
class ScratchKeys {
public:
    ScratchKeys() { Clean(); }
    ~ScratchKeys() { Clean(); }
    ScratchKeys(const ScratchKeys&) = delete;
    ScratchKeys& operator=(const ScratchKeys&) = delete;

    void SetAppPath(const std::wstring& keyPath, const std::wstring& text) {
        UniqueRegKey key;
        REQUIRE(test::CreateKeyInView(keyPath, key) == ERROR_SUCCESS);
        REQUIRE(test::WriteAppPath(key.get(), text) == ERROR_SUCCESS);
    }

private:
    static void Clean() {
        for (const std::wstring& key : {kVendorKey, kOldestKey}) {
            test::DeleteTreeInView(key);
        }
    }
};

// The world of a run, but for the files: nothing waits, is shown, started or ended for real.
class QuietWorld : public Host, public Processes, public Journal {
public:
    std::vector<std::pair<std::wstring, std::wstring>> boxes;
    std::vector<std::wstring> ended;
    std::vector<std::wstring> started;
    int waits = 0;

    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        boxes.emplace_back(text, caption);
    }
    std::vector<StoppedProcess> Stop(const std::wstring& image) override {
        ended.push_back(image);
        return {};
    }
    std::vector<StoppedProcess> AwaitEnded() override { return {}; }
    std::vector<StoppedProcess> End(const std::wstring& image) override { return Stop(image); }
    StartResult Start(const std::wstring& imagePath, const std::wstring&) override {
        started.push_back(imagePath);
        return {true, 0, {}};
    }
    void Wait(uint32_t) override { ++waits; }
    void Save(const std::vector<PlannedSave>&) override {}
    void Settle() override {}
    void FolderMade(const std::wstring&) override {}
    void Touch(const std::wstring&) override {}
    RollbackReport RollBack() override { return {}; }
    RollbackReport PutBack(const std::vector<std::wstring>&) override { return {}; }
    void Close(RunResult) override {}
};

// The machine's facts with the per-user copies sent to appData, planned and carried out.
RunResult RunWith(QuietWorld& world, const std::wstring& appData) {
    Facts facts = ReadFacts({});
    if (facts.appDataAsked) {
        facts.appDataFolder = appData;
    }
    ReadTargets(facts, PlanUpdate(facts));
    SystemFiles files;
    Observer nobody;
    return Execute(PlanUpdate(facts), world, world, files, world, nobody);
}

} // namespace

TEST_CASE("machine_real_calls") {
    TempFolder temp;

    SUBCASE("what version.dll and the roaming AppData folder give") {
        ScratchKeys keys;
        keys.SetAppPath(kVendorKey + L"\\Product A", JoinPath(temp.path(), L"App"));
        const Facts facts = ReadFacts({true, false});
        CHECK(facts.failure.empty());
        CHECK(facts.versionLibraryError == 0);
        REQUIRE_FALSE(facts.appDataFolder.empty());
        CHECK(Exists(facts.appDataFolder));
        CHECK(facts.vendorFolders == std::vector<std::wstring>{JoinPath(temp.path(), L"App")});
        CHECK(facts.running.count(kClientImage) == 1);
    }
    SUBCASE("starting a program that is not there answers 2, as the shell did") {
        SystemProcesses processes;
        const StartResult answer = processes.Start(JoinPath(temp.path(), L"absent.exe"), L" -i");
        CHECK_FALSE(answer.started);
        CHECK(answer.errorCode == ERROR_FILE_NOT_FOUND);
    }
    SUBCASE("a preview's files make no folder") {
        SystemFiles files(true);
        const std::wstring folder = JoinPath(temp.path(), L"New");
        bool created = false;
        CHECK(files.Check({CheckKind::FolderCreatable, folder, L"%s %d", {}, {}}, created) == 0);
        CHECK_FALSE(created);
        CHECK_FALSE(Exists(folder));
        CHECK(
            files.Check({CheckKind::FolderCreatable, JoinPath(folder, L"Deeper"), L"%s %d", {}, {}},
                        created) == 0);
        CHECK(files.Check({CheckKind::FolderCreatable,
                           JoinPath(temp.path(), L"No\\Deeper"),
                           L"%s %d",
                           {},
                           {}},
                          created) == ERROR_PATH_NOT_FOUND);
    }
}

TEST_CASE("machine_whole_run") {
    TempFolder temp;
    LicenseFolder license;
    ScratchKeys keys;
    QuietWorld world;
    const std::wstring appData = JoinPath(temp.path(), L"Roaming");
    MakeFolder(appData);
    SUBCASE("a registered install and the per-user copy receive the key pair") {
        const std::wstring suite = JoinPath(temp.path(), L"Suite");
        MakeFolder(suite);
        MakeFolder(JoinPath(suite, L"App"));
        MakeFolder(JoinPath(suite, L"MWClientServer"));
        keys.SetAppPath(kVendorKey + L"\\Product A", JoinPath(suite, L"App\\"));

        RunWith(world, appData);

        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first == std::wstring(kSuccessText));
        CHECK(ReadFile(JoinPath(suite, L"MWClientServer\\server.key")) == "new key");
        CHECK(ReadFile(JoinPath(suite, L"MWClientServer\\server.pem")) == "new pem");
        CHECK_FALSE(Exists(JoinPath(suite, L"MWClientServer\\sslServer.tg")));
        CHECK(ReadFile(JoinPath(appData, L"Marrowby\\MWClientServer\\server.key")) == "new key");
        CHECK(world.ended == std::vector<std::wstring>{L"MWSealService.exe", L"MWClientServer.exe",
                                                       L"MWSealCenterUpdate.exe"});
        CHECK(world.waits == 1);
        CHECK(world.started.empty());
    }
    SUBCASE("a missing client folder ends the run with the install-copy message") {
        const std::wstring suite = JoinPath(temp.path(), L"Bare");
        MakeFolder(suite);
        keys.SetAppPath(kVendorKey + L"\\Product A", JoinPath(suite, L"App"));

        RunWith(world, appData);

        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first ==
              FormatUserMessage(L"授权文件替换到安装目录失败，Errcode: %d",
                                {static_cast<unsigned long>(ERROR_PATH_NOT_FOUND)}));
        CHECK(world.boxes[0].second == std::wstring(kErrorCaption));
        CHECK_FALSE(Exists(JoinPath(appData, L"Marrowby")));
    }
    SUBCASE("the oldest generation gets its key and certificate where they are present") {
        const std::wstring parent = JoinPath(temp.path(), L"P8");
        const std::wstring install = JoinPath(parent, L"App");
        MakeFolder(parent);
        MakeFolder(install);
        WriteFile(JoinPath(install, L"ssl.key"), "old key");
        WriteFile(JoinPath(parent, L"key.pem"), "old pem");
        keys.SetAppPath(kOldestKey, install + L"\\");

        RunWith(world, appData);

        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first == std::wstring(kSuccessText));
        CHECK(ReadFile(JoinPath(install, L"ssl.key")) == "new key");
        CHECK(ReadFile(JoinPath(parent, L"key.pem")) == "new pem");
        // Absent targets are not created.
        CHECK_FALSE(Exists(JoinPath(install, L"key.pem")));
        CHECK_FALSE(Exists(JoinPath(parent, L"ssl.key")));
        CHECK(world.ended == std::vector<std::wstring>{L"MWClientServer.exe"});
        CHECK(world.waits == 1);
        // The current suite was not found: the per-user folder is not touched.
        CHECK_FALSE(Exists(JoinPath(appData, L"Marrowby")));
    }
}

// Links where only administrators may change a file, copies elsewhere, and what a rollback
// puts back from either.
TEST_CASE("machine_backup_journal") {
    TempFolder temp;
    const std::wstring installed = JoinPath(temp.path(), L"server.key");
    const std::wstring perUser = JoinPath(temp.path(), L"user.key");
    // Wine's Z: is the Unix root: /dev/shm is another file system than the backup set's.
    const std::wstring otherVolume =
        L"Z:\\dev\\shm\\qm-edges-" + std::to_wstring(GetCurrentProcessId()) + L".key";
    WriteFile(installed, "old key");
    WriteFile(perUser, "old user key");
    WriteFile(otherVolume, "old other key");

    BackupJournal journal;
    journal.Save({{installed, nullptr, temp.path(), {}, false, L"private key: RSA"},
                  {perUser, nullptr, temp.path(), {}, true, {}},
                  {otherVolume, nullptr, L"Z:\\dev\\shm", {}, false, {}}});
    const std::wstring set = journal.RollBack().setFolder;
    REQUIRE_FALSE(set.empty());
    std::string manifest;
    REQUIRE(ReadManifestFile(set, manifest));
    INFO(manifest);
    CHECK(manifest.find("linked\t7\t") != std::string::npos);
    CHECK(manifest.find("overwritten\t12\t") != std::string::npos); // its user may write it
    CHECK(manifest.find("overwritten\t13\t") != std::string::npos); // no link across volumes
    CHECK(ReadFile(JoinPath(set, L"certificates.txt")) ==
          ToNarrow(installed) + "\tprivate key: RSA\r\n");

    SUBCASE("a linked file written before the stop still restores, as it was then") {
        WriteFile(installed, "old key, written by its program before the stop");
        journal.Touch(installed);
        REQUIRE(CopyFileAtomically(perUser, installed, temp.path()) == ERROR_SUCCESS);
        const RollbackReport report = journal.RollBack();
        CHECK(report.complete());
        CHECK(ReadFile(installed) == "old key, written by its program before the stop");
        INFO("the manifest describes what the set holds, as a later restore checks it");
        BackupManifest read;
        REQUIRE((ReadManifestFile(set, manifest) && ParseManifest(manifest, read)));
        uint64_t size = 0;
        std::string sha256;
        REQUIRE(Fingerprint(JoinPath(set, read.entries[0].storedName), size, sha256));
        CHECK(size == read.entries[0].size);
        CHECK(sha256 == read.entries[0].sha256);
    }
    journal.Close(RunResult::Finished);
    RemoveTree(set);
    DeleteFileW(otherVolume.c_str());
}

// The manifest goes to disk on a thread of its own once started, else where it is finished or
// dropped: there once Finish returns, and a failure given then, once, either way.
TEST_CASE("machine_manifest_writer") {
    TempFolder temp;
    std::string text;
    for (const bool started : {true, false}) {
        {
            ManifestWriter write(temp.path(), started ? "started" : "dropped");
            if (started) {
                write.Start();
                write.Finish();
            }
        }
        CHECK((ReadManifestFile(temp.path(), text) && text == (started ? "started" : "dropped")));
        ManifestWriter missing(JoinPath(temp.path(), L"no such set"), "manifest text");
        if (started) {
            missing.Start();
        }
        CHECK_THROWS_AS(missing.Finish(), UserError);
        CHECK_NOTHROW(missing.Finish());
    }
}
