// Backups and restores of the real Quillmend.exe: a run then /restore gives every file back
// byte for byte and removes what the run created; a run that failed between key and
// certificate is undone the same way; a backups folder that is not ours is refused before
// anything is stopped; a restore deletes nothing through a link; a set whose saved copy changed
// is refused whole.
#include <doctest/doctest.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/record_checks.h"
#include "tests/e2e/run_checks.h"
#include "tests/e2e/unix_link.h"

using namespace qm::e2e;

namespace {

constexpr wchar_t kRestoredPrefix[] = L"已从备份还原[";
constexpr wchar_t kUntrustedPrefix[] = L"程序数据目录不可信[";
constexpr wchar_t kMismatchPrefix[] = L"备份文件校验失败[";

std::wstring OwnDataFolder() {
    wchar_t buffer[MAX_PATH] = {};
    REQUIRE(SUCCEEDED(
        SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)));
    return std::wstring(buffer) + L"\\Quillmend";
}

// The program's data folder of the test prefix, removed before and after each case, so every
// case starts without sets and leaves none.
class CleanDataFolder {
public:
    CleanDataFolder() : path_(OwnDataFolder()) { Clear(); }
    ~CleanDataFolder() { Clear(); }
    CleanDataFolder(const CleanDataFolder&) = delete;
    CleanDataFolder& operator=(const CleanDataFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring backups() const { return path_ + L"\\Backups"; }

    // The set folders, in name order.
    std::vector<std::wstring> Sets() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found{};
        qm::UniqueFind find(FindFirstFileW((backups() + L"\\*").c_str(), &found));
        if (find) {
            do {
                const std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") {
                    names.push_back(name);
                }
            } while (FindNextFileW(find.get(), &found));
        }
        return names;
    }

private:
    void Clear() { DeleteTree(path_); }
    std::wstring path_;
};

// Holds a file open for reading without write sharing (or, with share 0, without any), as a
// running program might.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path, DWORD share = FILE_SHARE_READ)
        : file_(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool holding() const { return file_.valid(); }
    void Release() { file_.reset(); }

private:
    qm::UniqueFile file_;
};

RunOutcome Restore(Scenario& scenario, const std::wstring& arguments) {
    RunOptions options;
    options.arguments = arguments;
    return scenario.Run(options);
}

std::wstring BoxText(const RunOutcome& outcome) {
    return outcome.boxes.empty() ? std::wstring() : outcome.boxes[0].text;
}

bool StartsWith(const std::wstring& text, const std::wstring& head) {
    return text.compare(0, head.size(), head) == 0;
}

// The owner a folder reads back as, as SDDL ("BA", or a SID).
std::wstring OwnerOf(const std::wstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"<unreadable>";
    }
    LPWSTR text = nullptr;
    std::wstring result = ConvertSidToStringSidW(owner, &text) ? text : L"<no sid>";
    LocalFree(text);
    LocalFree(descriptor);
    return result;
}

// How the sets' manifests saved path: "linked", "overwritten" (a copy), "created"; sorted,
// each once, separated by spaces.
std::string SavedKinds(const CleanDataFolder& data, const std::wstring& path) {
    std::set<std::string> kinds;
    const std::string tail = "\t" + Narrow(path) + "\r\n";
    for (const std::wstring& set : data.Sets()) {
        const std::string manifest = BytesOf(data.backups() + L"\\" + set + L"\\manifest.txt");
        const size_t end = manifest.find(tail);
        if (end != std::string::npos) {
            const size_t start = manifest.rfind('\n', end) + 1;
            kinds.insert(manifest.substr(start, manifest.find('\t', start) - start));
        }
    }
    std::string joined;
    for (const std::string& kind : kinds) {
        joined += (joined.empty() ? "" : " ") + kind;
    }
    return joined;
}

} // namespace

TEST_CASE("e2e_backup_restore") {
    REQUIRE(Scenario::ProgramAvailable());
    CleanDataFolder data;
    Scenario scenario(L"backup-restore");
    scenario.PrepareTool({});
    // Revision 99 receives the key pair, overwritten in the install and created per user.
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const std::wstring key = suite.client + L"\\server.key";
    const std::wstring pem = suite.client + L"\\server.pem";
    const std::wstring userKey = scenario.userClient() + L"\\server.key";
    const std::wstring userPem = scenario.userClient() + L"\\server.pem";

    SUBCASE("a run, then /restore: every file back byte for byte, created files gone") {
        StartSuitePrograms(scenario, suite);
        CheckSuccessBox(scenario.Run());
        REQUIRE(IsReplaced(key, kServerKey));
        REQUIRE(IsReplaced(userPem, kServerPem));
        REQUIRE(data.Sets().size() == 1);

        INFO("/restore /preview lists and changes nothing");
        const RunOutcome preview = Restore(scenario, L" /restore /preview");
        REQUIRE(preview.exited);
        CHECK(preview.exitCode == 0);
        CHECK(BoxText(preview).find(L"还原 " + key) != std::wstring::npos);
        CHECK(BoxText(preview).find(L"删除 " + userKey) != std::wstring::npos);
        CHECK(IsReplaced(key, kServerKey));
        CHECK(data.Sets().size() == 1);

        const size_t before = scenario.StartsSoFar();
        const std::wstring record = scenario.root() + L"\\restore.json";
        const RunOutcome restored = Restore(scenario, L" /restore /json:" + record);
        REQUIRE(restored.exited);
        CHECK(restored.exitCode == 0);
        INFO("its record: each file put back or removed");
        std::map<std::string, std::string> actions;
        const Json restoredRecord = RecordAt(record);
        for (const Json& target : restoredRecord["targets"]) {
            actions[target["path"].get<std::string>()] = target["action"].get<std::string>();
        }
        CHECK(actions[Utf8(key)] == "restore");
        CHECK(actions[Utf8(userKey)] == "remove");
        INFO("box: " << Narrow(BoxText(restored)));
        CHECK(StartsWith(BoxText(restored), kRestoredPrefix + data.Sets()[0]));
        CHECK(IsInstalled(key));
        CHECK(IsInstalled(pem));
        CHECK_FALSE(PathExists(userKey));
        CHECK_FALSE(PathExists(userPem));
        INFO("the programs come back as after a run");
        const auto service = StartsAfter(scenario, suite.client + L"\\" + kServiceExe, before, 1);
        REQUIRE(service.size() == 1);
        CHECK(EndsWith(service[0].commandLine, L" -i"));
        CHECK(StartsAfter(scenario, suite.client + L"\\" + kClientExe, before, 1).size() == 1);

        INFO("the restore made its own set: a second /restore undoes it");
        REQUIRE(data.Sets().size() == 2);
        INFO("the install's files are saved as second names, a user's own file as a copy");
        // The restore copies the key: here the install lies in the account's profile (%TEMP%),
        // which its user may change.
        CHECK(SavedKinds(data, key) == "linked overwritten");
        CHECK(SavedKinds(data, userKey) == "created overwritten");
        const RunOutcome undone = Restore(scenario, L" /restore");
        CHECK(undone.exitCode == 0);
        CHECK(IsReplaced(key, kServerKey));
        CHECK(IsReplaced(userKey, kServerKey));

        INFO("a stamp that names no set: exit code 2, nothing changed");
        const RunOutcome missing = Restore(scenario, L" /restore:20000101T000000Z");
        CHECK(missing.exitCode == 2);
        CHECK(IsReplaced(key, kServerKey));
    }

    SUBCASE("a run that fails between key and certificate is rolled back") {
        // Held, the certificate cannot be told from one the suite holds until the suite is
        // stopped: the copy finds out, after the key is written.
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        HeldFile held(pem);
        REQUIRE(held.holding());
        const size_t before = scenario.StartsSoFar();
        const RunOutcome failed =
            Restore(scenario, L" /quiet /log:" + scenario.root() + L"\\qm.log");
        REQUIRE(failed.exited);
        CHECK(failed.exitCode == 1);
        CHECK(IsInstalled(key));
        CHECK(IsInstalled(pem));
        CHECK_FALSE(PathExists(userKey));
        CHECK_FALSE(PathExists(scenario.userBase()));
        INFO("what was stopped runs again, the service with its parameter");
        CHECK(scenario.standIns().HasEnded(running.client, 5000));
        const auto service = StartsAfter(scenario, suite.client + L"\\" + kServiceExe, before, 1);
        REQUIRE(service.size() == 1);
        CHECK(EndsWith(service[0].commandLine, L" -i"));
        CHECK(StartsAfter(scenario, suite.client + L"\\" + kClientExe, before, 1).size() == 1);
        const std::string log = BytesOf(scenario.root() + L"\\qm.log");
        INFO("log: " << log);
        CHECK(log.find("rolled back: " + Narrow(key) + " sha256 ") != std::string::npos);
        CHECK(log.find("rolled back: " + Narrow(userKey) + ", made by this run, removed") !=
              std::string::npos);
        CHECK(log.find("rollback complete") != std::string::npos);
        CHECK(log.find("box [错误] 授权文件替换到安装目录失败，Errcode: 32") != std::string::npos);
        held.Release();

        INFO("the set is kept as a failed run's; a restore of it changes nothing");
        REQUIRE(data.Sets().size() == 1);
        const size_t beforeRestore = scenario.StartsSoFar();
        const RunOutcome restored = Restore(scenario, L" /restore");
        CHECK(restored.exitCode == 0);
        CHECK(IsInstalled(key));
        CHECK(IsInstalled(pem));
        CHECK(StartsAfter(scenario, suite.client + L"\\" + kClientExe, beforeRestore, 1).size() ==
              1);
    }

    SUBCASE("a file held without any sharing cannot be saved: its copy's message, nothing "
            "stopped") {
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        HeldFile held(pem, 0);
        REQUIRE(held.holding());
        INFO("the preview foresees it, and its log names the file");
        const RunOutcome previewed =
            Restore(scenario, L" /preview /quiet /log:" + scenario.root() + L"\\qm.log");
        CHECK(previewed.exitCode == 1);
        const std::string log = BytesOf(scenario.root() + L"\\qm.log");
        INFO("log: " << log);
        CHECK(log.find("refused before anything was stopped: the file cannot be read for its "
                       "backup: " +
                       Narrow(pem) + ", Errcode 32") != std::string::npos);
        CHECK(log.find("授权文件替换到安装目录失败，Errcode: 32") != std::string::npos);
        const RunOutcome failed = scenario.Run();
        REQUIRE(failed.boxes.size() == 1);
        CHECK(failed.boxes[0].caption == kErrorCaption);
        CHECK(failed.boxes[0].text == std::wstring(kInstallCopyFailed) + L"32");
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 500));
        CHECK(IsInstalled(key));
        CHECK_FALSE(PathExists(scenario.userBase()));
        CHECK(data.Sets().empty());
    }

    SUBCASE("a restore that would fail is refused before anything is stopped") {
        CheckSuccessBox(scenario.Run());
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        HeldFile held(key, 0);
        REQUIRE(held.holding());
        const RunOutcome refused = Restore(scenario, L" /restore");
        CHECK(refused.exitCode == 1);
        INFO("box: " << Narrow(BoxText(refused)));
        CHECK(StartsWith(BoxText(refused), L"备份文件失败[" + key + L"]"));
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 500));
        CHECK(IsReplaced(userKey, kServerKey));
    }

    SUBCASE("a backups folder that is not ours: moved aside, not obeyed") {
        REQUIRE(MakeFolders(data.backups()));
        // Wine keeps no owners: what it reads back decides which squatter this case can show.
        PSID foreign = nullptr;
        REQUIRE(ConvertStringSidToSidW(L"S-1-5-21-1-2-3-1001", &foreign));
        SetNamedSecurityInfoW(const_cast<wchar_t*>(data.backups().c_str()), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION, foreign, nullptr, nullptr, nullptr);
        LocalFree(foreign);
        const std::wstring owner = OwnerOf(data.backups());
        if (owner != L"S-1-5-21-1-2-3-1001") {
            // Nor does it make links (CreateSymbolicLinkW does nothing): a file squatting the
            // name is the squatter left to show; the owner is judged by the same check.
            MESSAGE("the owner set reads back as " << Narrow(owner)
                                                   << ": a file squats the name instead");
            REQUIRE(RemoveDirectoryW(data.backups().c_str()));
            REQUIRE(WriteBytes(data.backups(), "squatter"));
        }
        CheckSuccessBox(scenario.Run());
        CHECK(IsReplaced(key, kServerKey));
        const std::wstring aside = MovedAsideFrom(data.backups());
        INFO("moved aside: " << Narrow(aside));
        REQUIRE_FALSE(aside.empty());
        if (owner != L"S-1-5-21-1-2-3-1001") {
            CHECK(BytesOf(aside) == "squatter");
        }
        CHECK(data.Sets().size() == 1);
    }

    SUBCASE("a link where the per-user folder belongs: refused before anything is stopped") {
        ScratchFolder outside(L"run-link");
        REQUIRE(WriteBytes(outside.path() + L"\\server.key", "keep me"));
        REQUIRE(MakeFolders(scenario.userBase()));
        const UnixLink link(outside.path(), scenario.userClient());
        REQUIRE(link.made());
        const RunningSuite running = StartSuitePrograms(scenario, suite);

        const RunOutcome refused = scenario.Run();
        REQUIRE(refused.boxes.size() == 1);
        INFO("box: " << Narrow(BoxText(refused)));
        CHECK(refused.boxes[0].caption == kErrorCaption);
        CHECK(BoxText(refused).find(L"Errcode: 4395") != std::wstring::npos);
        CHECK_FALSE(scenario.standIns().HasEnded(running.service, 500));
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 0));
        CHECK(IsInstalled(key));
        CHECK(BytesOf(outside.path() + L"\\server.key") == "keep me");
    }

    SUBCASE("the install's key a link: refused before anything is stopped") {
        ScratchFolder outside(L"key-link");
        const std::wstring victim = outside.path() + L"\\victim.key";
        REQUIRE(WriteBytes(victim, "keep me"));
        REQUIRE(DeleteFileW(key.c_str()));
        const UnixLink link(victim, key);
        REQUIRE(link.made());
        const RunningSuite running = StartSuitePrograms(scenario, suite);

        const RunOutcome refused = scenario.Run();
        REQUIRE(refused.boxes.size() == 1);
        CHECK(BoxText(refused) == L"授权文件替换到安装目录失败，Errcode: 4395");
        CHECK_FALSE(scenario.standIns().HasEnded(running.service, 500));
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 0));
        CHECK(BytesOf(victim) == "keep me");
        CHECK_FALSE(PathExists(userKey));
    }

    SUBCASE("a restore deletes nothing through a link left where the run created files") {
        CheckSuccessBox(scenario.Run());
        REQUIRE(IsReplaced(userKey, kServerKey));
        // The per-user folder, replaced by a link to files of the same names elsewhere.
        ScratchFolder outside(L"restore-link");
        REQUIRE(WriteBytes(outside.path() + L"\\server.key", "keep me"));
        REQUIRE(WriteBytes(outside.path() + L"\\server.pem", "keep me"));
        REQUIRE(DeleteTree(scenario.userClient()));
        const UnixLink link(outside.path(), scenario.userClient());
        REQUIRE(link.made());

        const RunOutcome refused = Restore(scenario, L" /restore");
        INFO("box: " << Narrow(BoxText(refused)));
        CHECK(refused.exitCode == 1);
        CHECK(BoxText(refused).find(L"Errcode: 4395") != std::wstring::npos);
        CHECK(BytesOf(outside.path() + L"\\server.key") == "keep me");
        CHECK(BytesOf(outside.path() + L"\\server.pem") == "keep me");
    }

    SUBCASE("a restore writes nothing through the user's Marrowby swapped for a link") {
        // The user's own key is saved by the run; the certificate is created.
        REQUIRE(MakeFolders(scenario.userClient()));
        REQUIRE(WriteBytes(userKey, "the user's bytes"));
        CheckSuccessBox(scenario.Run());
        REQUIRE(IsReplaced(pem, kServerPem));
        // Marrowby now leads to the install's own folder, where the same names stand.
        REQUIRE(DeleteTree(scenario.userBase()));
        const UnixLink link(suite.client.substr(0, suite.client.find_last_of(L'\\')),
                            scenario.userBase());
        REQUIRE(link.made());

        const RunOutcome refused = Restore(scenario, L" /restore");
        INFO("box: " << Narrow(BoxText(refused)));
        CHECK(refused.exitCode == 1);
        CHECK(BoxText(refused).find(L"Errcode: 4395") != std::wstring::npos);
        CHECK(IsReplaced(key, kServerKey));
        CHECK(IsReplaced(pem, kServerPem));
    }

    SUBCASE("a rerun with a switch on a current machine stops nothing and makes no set") {
        CheckSuccessBox(scenario.Run());
        REQUIRE(data.Sets().size() == 1);
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        const RunOutcome rerun =
            Restore(scenario, L" /quiet /log:" + scenario.root() + L"\\qm.log");
        CHECK(rerun.exitCode == 0);
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 500));
        CHECK(data.Sets().size() == 1);
        CHECK(BytesOf(scenario.root() + L"\\qm.log").find("already current") != std::string::npos);
    }

    SUBCASE("runs repeated beyond the sets kept leave the original in a set") {
        for (int run = 0; run < 6; ++run) {
            CheckSuccessBox(scenario.Run());
        }
        const std::vector<std::wstring> sets = data.Sets();
        REQUIRE(sets.size() == 1);
        const std::string manifest = BytesOf(data.backups() + L"\\" + sets[0] + L"\\manifest.txt");
        CHECK(manifest.find(Narrow(key)) != std::string::npos);
        CHECK(Restore(scenario, L" /restore /quiet").exitCode == 0);
        CHECK(IsInstalled(key));
    }

    SUBCASE("a set whose saved copy changed is refused whole") {
        CheckSuccessBox(scenario.Run());
        const std::vector<std::wstring> sets = data.Sets();
        REQUIRE(sets.size() == 1);
        // The certificate's copy is altered; the key's copy is still good but must not be used.
        const std::wstring savedPem = data.backups() + L"\\" + sets[0] + L"\\0003 server.pem";
        REQUIRE(PathExists(savedPem));
        REQUIRE(WriteBytes(savedPem, BytesOf(savedPem) + "x"));
        const RunningSuite running = StartSuitePrograms(scenario, suite);

        const RunOutcome refused = Restore(scenario, L" /restore");
        INFO("box: " << Narrow(BoxText(refused)));
        CHECK(refused.exitCode == 1);
        CHECK(StartsWith(BoxText(refused), kMismatchPrefix + pem + L"]"));
        CHECK(IsReplaced(key, kServerKey));
        CHECK(IsReplaced(userKey, kServerKey));
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 500));
    }
}

TEST_CASE("e2e_backup_restore_two_installs") {
    REQUIRE(Scenario::ProgramAvailable());
    CleanDataFolder data;
    Scenario scenario(L"restore-two");
    scenario.PrepareTool({});
    const SuiteInstall a = scenario.AddSuite(L"A", {100, 5, 5, true, true});
    const SuiteInstall b = scenario.AddSuite(L"B", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"A", a.app, false);
    scenario.RegisterVendor(L"B", b.app, true);
    StartSuitePrograms(scenario, a);
    StartSuitePrograms(scenario, b);
    CheckSuccessBox(scenario.Run());

    INFO("each install's service and client server comes back after the restore");
    const size_t before = scenario.StartsSoFar();
    CHECK(Restore(scenario, L" /restore /quiet").exitCode == 0);
    for (const SuiteInstall* suite : {&a, &b}) {
        CAPTURE(Narrow(suite->client));
        CHECK(StartsAfter(scenario, suite->client + L"\\" + kServiceExe, before, 1).size() == 1);
        CHECK(StartsAfter(scenario, suite->client + L"\\" + kClientExe, before, 1).size() == 1);
    }
    CHECK(IsInstalled(a.client + L"\\sslServer.tg"));
}

TEST_CASE("e2e_backup_restore_after_kill") {
    REQUIRE(Scenario::ProgramAvailable());
    CleanDataFolder data;
    Scenario scenario(L"kill-restore");
    scenario.PrepareTool({});
    const SuiteInstall a = scenario.AddSuite(L"A", {100, 5, 5, true, true});
    const SuiteInstall b = scenario.AddSuite(L"B", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"A", a.app, false);
    scenario.RegisterVendor(L"B", b.app, true);
    struct Target {
        std::wstring path;
        const wchar_t* source;
        bool installed; // there before the run; else the run creates it
    };
    const std::vector<Target> targets = {
        {a.client + L"\\sslServer.tg", kSslServerTg, true},
        {b.client + L"\\server.key", kServerKey, true},
        {b.client + L"\\server.pem", kServerPem, true},
        {scenario.userClient() + L"\\sslServer.tg", kSslServerTg, false},
        {scenario.userClient() + L"\\server.key", kServerKey, false},
        {scenario.userClient() + L"\\server.pem", kServerPem, false},
    };
    // How many targets hold their replacement; false when one holds anything else, whole or not.
    const auto replaced = [&](size_t& count) {
        count = 0;
        for (const Target& target : targets) {
            const std::string bytes = BytesOf(target.path);
            if (bytes == ReplacementContent(target.source)) {
                ++count;
            } else if (bytes !=
                       (target.installed ? InstalledContent(target.source) : "<missing>")) {
                return false;
            }
        }
        return true;
    };
    // Files the run's log says it has written. The targets themselves are not opened while the
    // run works: on Windows a file open elsewhere cannot be replaced.
    const std::wstring logPath = scenario.root() + L"\\qm.log";
    const auto logged = [&] {
        const std::string log = BytesOf(logPath);
        size_t count = 0;
        for (const char* event : {" replaced: ", " created: "}) {
            for (size_t at = log.find(event); at != std::string::npos;
                 at = log.find(event, at + 1)) {
                ++count;
            }
        }
        return count;
    };

    // 0: ended as soon as the suite has been stopped, before any copy; then after the first
    // file, half way, and before the last.
    for (const size_t killAt : {size_t{0}, size_t{1}, size_t{3}, size_t{5}}) {
        CAPTURE(killAt);
        const RunningSuite running = StartSuitePrograms(scenario, a);
        RunOptions options;
        options.arguments = L" /quiet /log:" + logPath;
        const size_t before = logged();
        options.onHostWindow = [&](HWND host) {
            DWORD pid = 0;
            GetWindowThreadProcessId(host, &pid);
            const qm::UniqueProcess run(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
            const ULONGLONG start = GetTickCount64();
            while (GetTickCount64() - start < 20000) {
                if (scenario.standIns().HasEnded(running.service, 0) &&
                    logged() - before >= killAt) {
                    TerminateProcess(run.get(), 9);
                    WaitForSingleObject(run.get(), 5000);
                    return;
                }
            }
        };
        const RunOutcome killed = scenario.Run(options);
        REQUIRE(killed.exited);
        CHECK(killed.exitCode == 9);
        size_t count = 0;
        CHECK(replaced(count));
        MESSAGE("ended with " << count << " of 6 files replaced");

        // The ended run left the suite stopped, so the restore has nothing to start again.
        const RunOutcome restored = Restore(scenario, L" /restore");
        INFO("box: " << Narrow(BoxText(restored)));
        CHECK(restored.exitCode == 0);
        for (const Target& target : targets) {
            CAPTURE(Narrow(target.path));
            CHECK(BytesOf(target.path) ==
                  (target.installed ? InstalledContent(target.source) : "<missing>"));
        }
        scenario.standIns().EndAll();
    }
}
