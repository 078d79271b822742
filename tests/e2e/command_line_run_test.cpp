// The real Quillmend.exe started with switches: what it shows, what it changes, its exit code,
// and the log it keeps.
#include <doctest/doctest.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/run_lock.h"
#include "fileops/protected_folder.h"
#include "platform/codepage.h"
#include "platform/sha256.h"
#include "tests/e2e/record_checks.h"
#include "tests/e2e/run_checks.h"

using namespace qm::e2e;

namespace {

constexpr wchar_t kUsageCaption[] = L"Quillmend";
constexpr wchar_t kPreviewCaption[] = L"预览";

enum class Machine { Installed, Nothing, RestartFails, BrokenInstall };

struct Prepared {
    SuiteInstall suite;
    RunningSuite running;
};

Prepared Prepare(Scenario& scenario, Machine machine) {
    LicenseSet set;
    if (machine == Machine::RestartFails) {
        set.serviceRevision = kUnrunnable;
    }
    scenario.PrepareTool(set);
    Prepared prepared;
    if (machine == Machine::Nothing) {
        return prepared;
    }
    prepared.suite =
        scenario.AddSuite(L"Suite", {100, 5, 5, machine != Machine::BrokenInstall, true});
    scenario.RegisterVendor(L"Suite", prepared.suite.app, false);
    if (machine != Machine::BrokenInstall) {
        prepared.running = StartSuitePrograms(scenario, prepared.suite);
    }
    return prepared;
}

// The program's own folder under ProgramData, emptied before and after each case.
class OwnFolderReset {
public:
    OwnFolderReset() { DeleteTree(qm::OwnDataFolder()); }
    ~OwnFolderReset() { DeleteTree(qm::OwnDataFolder()); }
    OwnFolderReset(const OwnFolderReset&) = delete;
    OwnFolderReset& operator=(const OwnFolderReset&) = delete;
};

std::vector<std::string> LinesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Each line is "<UTC time> <event>"; the events alone, in order.
std::vector<std::string> EventsOf(const std::string& bytes) {
    std::vector<std::string> events;
    for (const std::string& line : LinesOf(bytes)) {
        events.push_back(line.size() > 25 ? line.substr(25) : line);
    }
    return events;
}

bool HasEvent(const std::vector<std::string>& events, const std::string& start) {
    for (const std::string& event : events) {
        if (event.rfind(start, 0) == 0) {
            return true;
        }
    }
    return false;
}

const Json* TargetIn(const Json& record, const std::wstring& path) {
    for (const Json& target : record["targets"]) {
        if (target["path"] == Utf8(path)) {
            return &target;
        }
    }
    return nullptr;
}

} // namespace

TEST_CASE("e2e_switches_outcome_table") {
    REQUIRE(Scenario::ProgramAvailable());
    struct Row {
        const char* name;
        Machine machine;
        const wchar_t* arguments;
        DWORD exitCode;
        const wchar_t* caption; // of the one box shown; nullptr: no box
        bool deployed;
        bool stopped;
    };
    const Row rows[] = {
        {"no switch: the success box, 0", Machine::Installed, L"", 0, kSuccessCaption, true, true},
        {"no switch, nothing found: still 0", Machine::Nothing, L"", 0, kSuccessCaption, false,
         false},
        {"/quiet: no box, 0", Machine::Installed, L"/quiet", 0, nullptr, true, true},
        {"/quiet, nothing found: 2", Machine::Nothing, L"-QUIET", 2, nullptr, false, false},
        {"/quiet, a restart fails: 3", Machine::RestartFails, L"/quiet", 3, nullptr, true, true},
        {"/quiet, a copy fails: 1", Machine::BrokenInstall, L"/quiet", 1, nullptr, false, false},
        {"a switch with boxes: the error box, 1", Machine::BrokenInstall, L"/log:C:\\qm-e2e.log", 1,
         kErrorCaption, false, false},
        {"/preview: the list, nothing changed, 0", Machine::Installed, L"/preview", 0,
         kPreviewCaption, false, false},
        {"/preview, nothing found: 2", Machine::Nothing, L"/preview /quiet", 2, nullptr, false,
         false},
        {"/check, nothing found: 2", Machine::Nothing, L"/check /quiet", 2, nullptr, false, false},
        {"/?: the usage, nothing done, 0", Machine::Installed, L"/?", 0, kUsageCaption, false,
         false},
        {"/quiet /help: nothing shown, 0", Machine::Installed, L"/quiet /help", 0, nullptr, false,
         false},
        {"an unknown switch: the usage, nothing done, 87", Machine::Installed, L"/bogus", 87,
         kUsageCaption, false, false},
        {"an unknown switch with /quiet: 87", Machine::Installed, L"/quiet /force", 87, nullptr,
         false, false},
    };
    for (const Row& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        OwnFolderReset reset;
        Scenario scenario(L"switches");
        const Prepared prepared = Prepare(scenario, row.machine);
        RunOptions options;
        options.arguments = row.arguments;
        const size_t startsBefore = scenario.StartsSoFar();
        const RunOutcome outcome = scenario.Run(options);

        INFO("harness: " << Narrow(outcome.problem));
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == row.exitCode);
        CHECK(outcome.otherVisibleWindows == 0);
        REQUIRE(outcome.boxes.size() == (row.caption ? 1u : 0u));
        if (row.caption) {
            INFO("box text: " << Narrow(outcome.boxes[0].text));
            CHECK(outcome.boxes[0].caption == row.caption);
            if (std::wstring(row.arguments) == L"/bogus") {
                CHECK(outcome.boxes[0].text.find(L"/bogus") != std::wstring::npos);
            }
        }
        if (row.machine == Machine::Nothing || row.machine == Machine::BrokenInstall) {
            continue;
        }
        CHECK(IsReplaced(prepared.suite.client + L"\\sslServer.tg", kSslServerTg) == row.deployed);
        CHECK(scenario.standIns().HasEnded(prepared.running.updater, row.stopped ? 5000 : 300) ==
              row.stopped);
        // A program started again logs its start a moment later; it is ended with the rest.
        CHECK(StartsAfter(scenario, prepared.suite.client + L"\\" + kClientExe, startsBefore,
                          row.stopped ? 1 : 0)
                  .size() == (row.stopped ? 1u : 0u));
        if (row.machine == Machine::Installed && std::wstring(row.arguments) == L"/preview") {
            const std::wstring& text = outcome.boxes[0].text;
            INFO("preview text: " << Narrow(text));
            CHECK(text.find(prepared.suite.app) != std::wstring::npos);
            CHECK(text.find(prepared.suite.client + L"\\sslServer.tg") != std::wstring::npos);
            CHECK(text.find(L"MWSealCenterUpdate.exe") != std::wstring::npos);
            CHECK(text.find(kSuccessText) != std::wstring::npos);
            CHECK_FALSE(PathExists(scenario.userBase()));
        }
    }
    DeleteFileW(L"C:\\qm-e2e.log");
}

TEST_CASE("e2e_switches_log_of_a_run_and_a_preview") {
    REQUIRE(Scenario::ProgramAvailable());
    OwnFolderReset reset;
    Scenario scenario(L"log");
    const Prepared prepared = Prepare(scenario, Machine::Installed);
    const std::wstring target = prepared.suite.client + L"\\sslServer.tg";
    const std::string before = qm::Sha256Hex(BytesOf(target));
    const std::string after = qm::Sha256Hex(ReplacementContent(kSslServerTg));
    // A path the Chinese code page cannot show: the log still has it whole.
    const std::wstring logPath = scenario.root() + L"\\日志 \u00e9\u0416.log";

    RunOptions preview;
    preview.arguments = L"/preview /quiet /log \"" + logPath + L"\"";
    const RunOutcome previewed = scenario.Run(preview);
    REQUIRE(previewed.exited);
    CHECK(previewed.exitCode == 0);
    CHECK(IsInstalled(target));

    RunOptions run;
    run.arguments = L"/quiet \"/log:" + logPath + L"\"";
    const size_t startsBefore = scenario.StartsSoFar();
    const RunOutcome ran = scenario.Run(run);
    REQUIRE(ran.exited);
    CHECK(ran.exitCode == 0);
    CHECK(IsReplaced(target, kSslServerTg));
    CHECK(
        StartsAfter(scenario, prepared.suite.client + L"\\" + kClientExe, startsBefore, 1).size() ==
        1);

    const std::string bytes = BytesOf(logPath);
    INFO("log:\n" << bytes);
    REQUIRE(bytes.rfind("\xEF\xBB\xBF", 0) == 0);
    CHECK(bytes.find("\xEF\xBB\xBF", 3) == std::string::npos); // appended, one mark
    const std::string utf8Target = Utf8(target);
    const std::vector<std::string> events = EventsOf(bytes.substr(3));
    for (const std::string& line : LinesOf(bytes.substr(3))) {
        CAPTURE(line);
        // 2026-12-09T10:24:25.123Z
        REQUIRE(line.size() > 25);
        CHECK(line[4] == '-');
        CHECK(line[10] == 'T');
        CHECK(line[23] == 'Z');
    }
    INFO("each run's start, with the LicenseFile's fingerprints");
    CHECK(HasEvent(events, "Quillmend 10.5.0.8 started on "));
    CHECK(HasEvent(events, "command line: "));
    CHECK(HasEvent(events, "LicenseFile\\sslServer.tg sha256 " + after));
    INFO("the install and where it was registered");
    CHECK(HasEvent(events, "install found: " + Utf8(prepared.suite.app) +
                               " (HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
                               "\\MARROWBY\\Suite, 64-bit view)"));
    INFO("the preview's lines say what would happen");
    CHECK(HasEvent(events, "would replace: " + utf8Target + " sha256 " + before + " -> " + after));
    CHECK(HasEvent(events, "would start again: \"" + Utf8(prepared.suite.client) +
                               "\\MWSealService.exe\" -i"));
    CHECK(HasEvent(events, "box [预览] "));
    INFO("the run's lines say what did");
    CHECK(HasEvent(events, "MWSealService.exe running, process id " +
                               std::to_string(prepared.running.service) + ", "));
    CHECK(HasEvent(events, "replaced: " + utf8Target + " sha256 " + before + " -> " + after));
    CHECK(HasEvent(events, "created: " + Utf8(scenario.userClient()) + "\\sslServer.tg sha256"));
    CHECK(HasEvent(events, "not newer, not replaced: " + Utf8(prepared.suite.client) +
                               "\\MWSealService.exe"));
    CHECK(HasEvent(events,
                   "started again: \"" + Utf8(prepared.suite.client) + "\\MWClientServer.exe\""));
    CHECK(HasEvent(events, "box [提示] 组件服务修复成功!"));
    REQUIRE_FALSE(events.empty());
    CHECK(events.back() == "exit code 0");
}

TEST_CASE("e2e_switches_log_refused") {
    REQUIRE(Scenario::ProgramAvailable());
    OwnFolderReset reset;
    Scenario scenario(L"log-refused");
    const Prepared prepared = Prepare(scenario, Machine::Installed);
    // Hangul, which no Chinese code page has: the box names the path whole all the same.
    const std::wstring refused = L"C:\\qm-fixtures\\none\uD55C\\qm.log";
    RunOptions options;
    options.arguments = L"/log:" + refused;

    const RunOutcome shown = scenario.Run(options);
    INFO("harness: " << Narrow(shown.problem));
    REQUIRE(shown.exited);
    CHECK(shown.exitCode == 1);
    REQUIRE(shown.boxes.size() == 1);
    INFO("box text: " << Narrow(shown.boxes[0].text));
    CHECK(shown.boxes[0].caption == kErrorCaption);
    CHECK(shown.boxes[0].text.find(refused) != std::wstring::npos);
    CHECK(shown.boxes[0].text.find(L"Errcode: 3") != std::wstring::npos);

    options.arguments += L" /quiet";
    const RunOutcome quiet = scenario.Run(options);
    REQUIRE(quiet.exited);
    CHECK(quiet.exitCode == 1);
    CHECK(quiet.boxes.empty());

    INFO("refused before anything was stopped or written");
    CHECK_FALSE(scenario.standIns().HasEnded(prepared.running.client, 300));
    CHECK(IsInstalled(prepared.suite.client + L"\\sslServer.tg"));
}

TEST_CASE("e2e_switches_own_folder_squatted") {
    REQUIRE(Scenario::ProgramAvailable());
    struct Row {
        const char* name;
        const wchar_t* fixture; // put in the place of the program's folder
    };
    const Row rows[] = {
        {"a folder another account made first", L"C:\\qm-fixtures\\foreign"},
        {"a folder of the account's own that anyone may write", L"C:\\qm-fixtures\\writable"},
    };
    for (const Row& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        OwnFolderReset reset;
        Scenario scenario(L"own-squatted");
        const Prepared prepared = Prepare(scenario, Machine::Installed);
        const std::wstring ownFolder = qm::OwnDataFolder();
        for (std::wstring old = MovedAsideFrom(ownFolder); !old.empty() && DeleteTree(old);
             old = MovedAsideFrom(ownFolder)) {
        }
        REQUIRE_MESSAGE(MoveFileW(row.fixture, ownFolder.c_str()),
                        "foreign_folders.sh did not make the fixture");
        REQUIRE(WriteBytes(ownFolder + L"\\Quillmend.log", "theirs"));
        RunOptions options;
        options.arguments = L"/log /quiet";

        const RunOutcome outcome = scenario.Run(options);
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 0);
        CHECK(IsReplaced(prepared.suite.client + L"\\sslServer.tg", kSslServerTg));
        INFO("what stood there is kept aside, untouched, and the log says where");
        const std::wstring aside = MovedAsideFrom(ownFolder);
        REQUIRE_FALSE(aside.empty());
        CHECK(BytesOf(aside + L"\\Quillmend.log") == "theirs");
        const std::string log = BytesOf(ownFolder + L"\\Quillmend.log");
        CHECK(log.find("moved aside to " + Utf8(aside)) != std::string::npos);
        MoveFileW(aside.c_str(), row.fixture);
    }
}

TEST_CASE("e2e_switches_second_run_waits") {
    REQUIRE(Scenario::ProgramAvailable());
    OwnFolderReset reset;
    Scenario scenario(L"second-run");
    const Prepared prepared = Prepare(scenario, Machine::Installed);
    const std::wstring logPath = scenario.root() + L"\\qm.log";
    RunOptions options;
    options.arguments = L"/quiet /log:" + logPath;
    // The first run holds the machine until the second has shown its window.
    std::unique_ptr<qm::RunLock> first = std::make_unique<qm::RunLock>();
    DWORD waited = 0;
    REQUIRE(first->Acquire(0, waited) == qm::RunLock::Outcome::Held);
    MESSAGE("the lock here: " << Narrow(first->where()));
    options.onHostWindow = [&](HWND) {
        Sleep(1500);
        INFO("nothing is stopped while the first run holds the machine");
        CHECK_FALSE(scenario.standIns().HasEnded(prepared.running.client, 0));
        first.reset();
    };
    const size_t startsBefore = scenario.StartsSoFar();
    const RunOutcome outcome = scenario.Run(options);
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    CHECK(IsReplaced(prepared.suite.client + L"\\sslServer.tg", kSslServerTg));
    // The programs started again are ended with the rest once they have logged their start.
    CHECK(StartsAfter(scenario, prepared.suite.client + L"\\" + kServiceExe, startsBefore, 1)
              .size() == 1);
    CHECK(
        StartsAfter(scenario, prepared.suite.client + L"\\" + kClientExe, startsBefore, 1).size() ==
        1);
    const std::vector<std::string> events = EventsOf(BytesOf(logPath).substr(3));
    INFO("log:\n" << BytesOf(logPath));
    CHECK(HasEvent(events, "waited "));
}

// Run only between own_folder_link.sh make and remove (see CMakeLists.txt): the program's own
// folder is then a link to C:\qm-link-target.
TEST_CASE("e2e_switches_own_folder_link") {
    REQUIRE(Scenario::ProgramAvailable());
    const std::wstring ownFolder = qm::OwnDataFolder();
    if (!qm::IsReparsePoint(ownFolder)) {
        MESSAGE("no link in place: this case runs as e2e_own_folder_link_refused");
        return;
    }
    Scenario scenario(L"own-folder-link");
    const Prepared prepared = Prepare(scenario, Machine::Installed);

    SUBCASE("the log refuses it") {
        RunOptions options;
        options.arguments = L"/log";
        const RunOutcome outcome = scenario.Run(options);
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 1);
        REQUIRE(outcome.boxes.size() == 1);
        INFO("box text: " << Narrow(outcome.boxes[0].text));
        CHECK(outcome.boxes[0].text.find(ownFolder) != std::wstring::npos);
        CHECK(outcome.boxes[0].text.find(L"Errcode: 4395") != std::wstring::npos);
    }
    SUBCASE("the backup refuses it, also without arguments") {
        const RunOutcome outcome = scenario.Run();
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 0);
        REQUIRE(outcome.boxes.size() == 1);
        INFO("box text: " << Narrow(outcome.boxes[0].text));
        CHECK(outcome.boxes[0].caption == kErrorCaption);
        CHECK(outcome.boxes[0].text.find(ownFolder) != std::wstring::npos);
    }
    INFO("refused before anything was stopped or written, and nothing went through the link");
    CHECK_FALSE(scenario.standIns().HasEnded(prepared.running.client, 300));
    CHECK(IsInstalled(prepared.suite.client + L"\\sslServer.tg"));
    CHECK_FALSE(PathExists(L"C:\\qm-link-target\\Quillmend.log"));
    CHECK_FALSE(PathExists(L"C:\\qm-link-target\\Backups"));
}

TEST_CASE("e2e_switches_preview_of_twenty_installs_fits_the_screen") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"preview-twenty");
    scenario.PrepareTool({});
    std::vector<SuiteInstall> installs;
    for (int i = 0; i < 20; ++i) {
        const std::wstring name = L"Suite" + std::to_wstring(i);
        installs.push_back(scenario.AddSuite(name, {100, 5, 5, true, true}));
        scenario.RegisterVendor(name, installs.back().app, i % 2 == 1);
    }
    RECT dialog{};
    RECT ok{};
    RunOptions options;
    options.arguments = L"/preview";
    options.onDialog = [&](HWND window) {
        GetWindowRect(window, &dialog);
        GetWindowRect(GetDlgItem(window, IDOK), &ok);
        return false;
    };
    const RunOutcome outcome = scenario.Run(options);
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    REQUIRE(outcome.boxes.size() == 1);
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    INFO("dialog " << dialog.left << "," << dialog.top << " " << dialog.right << ","
                   << dialog.bottom << " on " << screen.right << "x" << screen.bottom);
    CHECK(dialog.left >= 0);
    CHECK(dialog.top >= 0);
    CHECK(dialog.right <= screen.right);
    CHECK(dialog.bottom <= screen.bottom);
    CHECK(ok.bottom <= screen.bottom);
    CHECK(ok.right > ok.left);
    const std::wstring& text = outcome.boxes[0].text;
    for (const SuiteInstall& install : installs) {
        CHECK(text.find(install.app) != std::wstring::npos);
    }
    CHECK(text.find(kSuccessText) != std::wstring::npos);
}

TEST_CASE("e2e_switches_check") {
    REQUIRE(Scenario::ProgramAvailable());
    OwnFolderReset reset;
    Scenario scenario(L"check");
    const Prepared prepared = Prepare(scenario, Machine::Installed);
    const std::wstring target = prepared.suite.client + L"\\sslServer.tg";
    const auto check = [&scenario](const wchar_t* arguments) {
        RunOptions options;
        options.arguments = arguments;
        return scenario.Run(options);
    };

    INFO("an outdated machine: 5, its list in the box, nothing stopped, written or made");
    const RunOutcome outdated = check(L"/check");
    REQUIRE(outdated.exited);
    CHECK(outdated.exitCode == 5);
    REQUIRE(outdated.boxes.size() == 1);
    CHECK(outdated.boxes[0].caption == L"检查");
    CHECK(outdated.boxes[0].text.find(target) != std::wstring::npos);
    CHECK_FALSE(IsReplaced(target, kSslServerTg));
    CHECK_FALSE(scenario.standIns().HasEnded(prepared.running.updater, 300));
    CHECK_FALSE(PathExists(qm::OwnDataFolder()));

    INFO("after a run, current: 0");
    const size_t before = scenario.StartsSoFar();
    CHECK(check(L"/quiet").exitCode == 0);
    // Started again by the run, and so ended with the rest.
    CHECK(StartsAfter(scenario, prepared.suite.client + L"\\" + kClientExe, before, 1).size() == 1);
    const RunOutcome current = check(L"/check /quiet");
    CHECK(current.exitCode == 0);
    CHECK(current.boxes.empty());

    INFO("a check of a restore is not understood");
    CHECK(check(L"/check /restore /quiet").exitCode == 87);
}

TEST_CASE("e2e_switches_no_fixed_wait_a_held_file_is_tried_again") {
    REQUIRE(Scenario::ProgramAvailable());
    OwnFolderReset reset;
    Scenario scenario(L"held-after-stop");
    const Prepared prepared = Prepare(scenario, Machine::Installed);
    const std::wstring target = prepared.suite.client + L"\\sslServer.tg";
    // Held as a program that is still letting go would hold it: let go a moment after the stop.
    qm::UniqueFile holder(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    REQUIRE(holder);
    struct Release {
        Scenario& scenario;
        DWORD service;
        qm::UniqueFile& holder;
        static DWORD WINAPI Run(void* parameter) {
            auto* release = static_cast<Release*>(parameter);
            release->scenario.standIns().HasEnded(release->service, 20000);
            Sleep(300);
            release->holder.reset();
            return 0;
        }
    } letGo{scenario, prepared.running.service, holder};
    const qm::UniqueProcess thread(CreateThread(nullptr, 0, Release::Run, &letGo, 0, nullptr));
    REQUIRE(thread);
    RunOptions options;
    options.arguments = L"/quiet";
    const size_t before = scenario.StartsSoFar();
    const RunOutcome outcome = scenario.Run(options);
    WaitForSingleObject(thread.get(), INFINITE);
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    CHECK(IsReplaced(target, kSslServerTg));
    // Started again, and so ended with the rest.
    CHECK(StartsAfter(scenario, prepared.suite.client + L"\\" + kClientExe, before, 1).size() == 1);
}

TEST_CASE("e2e_switches_json_record") {
    REQUIRE(Scenario::ProgramAvailable());
    OwnFolderReset reset;
    {
        Scenario scenario(L"record");
        const Prepared prepared = Prepare(scenario, Machine::Installed);
        const std::wstring target = prepared.suite.client + L"\\sslServer.tg";
        const std::string before = qm::Sha256Hex(BytesOf(target));
        RunOptions options;
        options.arguments = L"/quiet /json";
        REQUIRE(scenario.Run(options).exitCode == 0);

        INFO("a run: the target's fingerprints, the programs stopped and started, the set");
        const Json record = RecordAt(qm::OwnDataFolder() + L"\\last.json");
        CHECK(record["mode"] == "run");
        CHECK(record["exitCode"] == 0);
        CHECK(record["installs"].size() == 1);
        const Json* written = TargetIn(record, target);
        REQUIRE(written != nullptr);
        CHECK((*written)["action"] == "replace");
        CHECK((*written)["sha256Before"] == before);
        CHECK((*written)["sha256After"] == qm::Sha256Hex(ReplacementContent(kSslServerTg)));
        REQUIRE_FALSE(record["stopped"].empty());
        CHECK(record["stopped"][0]["processId"] != 0);
        CHECK(record["stopped"][0]["result"] == "ended");
        REQUIRE_FALSE(record["started"].empty());
        CHECK(record["started"][0]["result"] == "started");
        REQUIRE(record["backupSet"].is_string());
        CHECK(PathExists(qm::ToWide(record["backupSet"].get<std::string>())));
        CHECK(record["failure"].is_null());
        CheckDocumented(record);

        // Started again by the run, and so ended with the rest.
        for (const wchar_t* image : {kServiceExe, kClientExe}) {
            CHECK(StartsAfter(scenario, prepared.suite.client + L"\\" + image, 0, 1).size() == 1);
        }
    }
    {
        Scenario scenario(L"record-failed");
        const Prepared prepared = Prepare(scenario, Machine::RestartFails);
        const std::wstring path = scenario.root() + L"\\run.json";
        RunOptions options;
        options.arguments = L"/quiet /json:" + path;
        REQUIRE(scenario.Run(options).exitCode == 3);

        INFO("a run past the stop whose program does not start again: the failure and its code");
        const Json record = RecordAt(path);
        CHECK(record["exitCode"] == 3);
        CHECK(record["box"]["caption"] == "错误");
        CHECK(record["failure"]["code"].is_number());
        bool notStarted = false;
        for (const Json& started : record["started"]) {
            notStarted = notStarted || started["result"] == "not started";
        }
        CHECK(notStarted);
        CHECK(StartsAfter(scenario, prepared.suite.client + L"\\" + kClientExe, 0, 1).size() == 1);

        INFO("a check of the same machine, now current but for the program: its verdict");
        options.arguments = L"/check /quiet /json:" + path;
        const RunOutcome check = scenario.Run(options);
        const Json checked = RecordAt(path);
        CHECK(checked["mode"] == "check");
        CHECK(checked["exitCode"] == static_cast<int>(check.exitCode));
        CHECK(checked["backupSet"].is_null());
    }
}
