// The update run's sequence over recording edges: every call the run makes is logged in
// order, so the cases read like the run itself, without sleeps, boxes or processes.
#include "run/update_run.h"

#include "run/run_plan.h"
#include "platform/codepage.h"
#include "platform/user_error.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qm;

namespace {

using Log = std::vector<std::wstring>;

// GBK bytes of the fixed texts.
const std::string kSuccessText =
    "\xD7\xE9\xBC\xFE\xB7\xFE\xCE\xF1\xD0\xDE\xB8\xB4\xB3\xC9\xB9\xA6!"; // 组件服务修复成功!
const std::string kNoticeCaption = "\xCC\xE1\xCA\xBE";                   // 提示
const std::string kErrorCaption = "\xB4\xED\xCE\xF3";                    // 错误

const std::wstring kAppData = L"C:\\Users\\u\\AppData\\Roaming";
const std::wstring kUserBase = L"C:\\Users\\u\\AppData\\Roaming\\Marrowby";
const std::wstring kServicePath = L"C:\\A\\MWClientServer\\MWSealService.exe";
const std::wstring kClientPath = L"C:\\A\\MWClientServer\\MWClientServer.exe";
constexpr intptr_t kStarted = 42;

struct Box {
    std::string text;
    std::string caption;
};

class RecordingEdges : public RunEdges {
public:
    // What the machine looks like.
    std::wstring cataloguePath;
    std::wstring vendorPaths;
    std::wstring legacyPath;
    std::wstring oldestPath;
    std::map<std::wstring, std::wstring> running; // image name -> image path
    std::map<std::wstring, int32_t> versions;     // file -> revision; absent: no version
    std::set<std::wstring> existingFolders;
    std::set<std::wstring> newerReplacements;      // "folder|file"
    std::map<std::wstring, std::string> failures;  // deployment line -> message thrown
    std::map<std::wstring, intptr_t> startAnswers; // image path -> ShellExecute answer
    std::map<std::wstring, std::vector<long>> furtherStartFailures; // image path -> codes
    std::map<std::wstring, uint32_t> endErrors; // image name -> why it cannot be ended
    std::map<std::wstring, std::vector<std::wstring>> alsoRunning; // image name -> more paths
    bool appDataAvailable = true;
    std::wstring appDataFolder = kAppData;
    bool versionLibraryAvailable = true;
    std::string catalogueError; // thrown by the catalogue lookup when not empty

    // What the run did.
    Log log;
    std::vector<Box> boxes;

    void KillRunTimer() override { log.push_back(L"kill timer"); }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        log.push_back(L"box");
        boxes.push_back({text, caption});
    }
    void DestroyHostWindow() override { log.push_back(L"destroy"); }

    void Wait(uint32_t milliseconds) override {
        log.push_back(L"wait " + std::to_wstring(milliseconds));
    }
    StartResult StartProgram(const std::wstring& imagePath,
                             const std::wstring& parameters) override {
        log.push_back(L"start " + imagePath + L"|" + parameters);
        const auto found = startAnswers.find(imagePath);
        const intptr_t answer = found == startAnswers.end() ? kStarted : found->second;
        return {!IsStartFailure(answer), static_cast<long>(answer),
                furtherStartFailures[imagePath]};
    }
    bool GetRoamingAppDataFolder(std::wstring& folder) override {
        log.push_back(L"appdata");
        folder = appDataFolder;
        return appDataAvailable;
    }
    bool FolderExists(const std::wstring& folder) override {
        return existingFolders.count(folder) != 0;
    }
    bool LoadVersionLibrary(uint32_t& errorCode) override {
        log.push_back(L"version library");
        errorCode = 126;
        return versionLibraryAvailable;
    }

    std::wstring GetCatalogueAppPath() override {
        log.push_back(L"catalogue");
        if (!catalogueError.empty()) {
            throw std::runtime_error(catalogueError);
        }
        return cataloguePath;
    }
    std::wstring CollectVendorAppPaths() override {
        log.push_back(L"vendor");
        return vendorPaths;
    }
    std::wstring FindLegacyAppPath() override {
        log.push_back(L"legacy");
        return legacyPath;
    }
    std::wstring ReadLegacyAppPath() override {
        log.push_back(L"oldest");
        return oldestPath;
    }

    // A program ended once is not running any more.
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override {
        log.push_back(L"terminate " + imageName);
        const auto process = running.find(imageName);
        if (process == running.end()) {
            return {};
        }
        StoppedProcess stopped;
        stopped.imagePath = process->second;
        const auto refused = endErrors.find(imageName);
        if (refused != endErrors.end()) {
            stopped.endError = refused->second;
            return {stopped};
        }
        stopped.ended = true;
        running.erase(process);
        std::vector<StoppedProcess> all{stopped};
        for (const std::wstring& path : alsoRunning[imageName]) {
            all.push_back(stopped);
            all.back().imagePath = path;
        }
        alsoRunning.erase(imageName);
        return all;
    }
    bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) override {
        log.push_back(L"version " + filePath);
        const auto version = versions.find(filePath);
        if (version == versions.end()) {
            return false;
        }
        numbers.revision = version->second;
        return true;
    }
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override {
        return newerReplacements.count(folder + L"|" + fileName) != 0;
    }
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override {
        Record(L"deploy " + installFolder + L"|" + userFolder + L"|" + fileName);
    }
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override {
        Record(L"deploy-as " + folder + L"|" + sourceName + L"|" + targetName);
    }
    void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) override {
        Record(L"restore " + savedCopy + L"|" + originalPath);
    }
    void RemoveCreatedFile(const std::wstring& path) override { Record(L"remove " + path); }
    RollbackReport RollBackWrites() override {
        log.push_back(L"roll back");
        return {};
    }

private:
    void Record(const std::wstring& line) {
        log.push_back(line);
        const auto failure = failures.find(line);
        if (failure != failures.end()) {
            throw UserError(failure->second);
        }
    }
};

// The lines of the log that begin with one of the prefixes, in order.
Log Only(const Log& log, std::initializer_list<const wchar_t*> prefixes) {
    Log kept;
    for (const std::wstring& line : log) {
        for (const wchar_t* prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                kept.push_back(line);
                break;
            }
        }
    }
    return kept;
}

size_t IndexOf(const Log& log, const std::wstring& line) {
    const auto found = std::find(log.begin(), log.end(), line);
    REQUIRE(found != log.end());
    return static_cast<size_t>(found - log.begin());
}

RunResult Run(RecordingEdges& edges) {
    return RunUpdateWith(edges, kRunTimerId);
}

} // namespace

TEST_CASE("update_run_timer_identifier") {
    RecordingEdges edges;
    edges.vendorPaths = L"C:\\A\\X,";

    SUBCASE("another timer does nothing at all") {
        CHECK(RunUpdateWith(edges, 1) == RunResult::NotRun);
        CHECK(RunUpdateWith(edges, kRunTimerId + 1) == RunResult::NotRun);
        CHECK(edges.log.empty());
    }
    SUBCASE("the run timer is killed before anything else and the window destroyed last") {
        CHECK(Run(edges) == RunResult::Finished);
        REQUIRE(edges.log.size() > 2);
        CHECK(edges.log.front() == L"kill timer");
        CHECK(edges.log.back() == L"destroy");
    }
}

TEST_CASE("update_run_nothing_installed") {
    RecordingEdges edges;
    CHECK(Run(edges) == RunResult::NothingFound);
    // Nothing is stopped or copied, no program is started, AppData and version.dll are not
    // needed, and the success box still tells the outcome.
    CHECK(edges.log ==
          Log{L"kill timer", L"catalogue", L"vendor", L"legacy", L"oldest", L"box", L"destroy"});
    REQUIRE(edges.boxes.size() == 1);
    CHECK(edges.boxes[0].text == kSuccessText);
    CHECK(edges.boxes[0].caption == kNoticeCaption);
}

TEST_CASE("update_run_vendor_installs_sequence") {
    RecordingEdges edges;
    edges.vendorPaths = L"C:\\A\\X,C:\\B\\Y\\,";
    edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
    edges.versions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 100;
    Run(edges);

    CHECK(edges.log == Log{
                           L"kill timer",
                           L"catalogue",
                           L"vendor",
                           L"version library",
                           L"appdata",
                           L"terminate MWSealService.exe",
                           L"terminate MWClientServer.exe",
                           L"terminate MWSealCenterUpdate.exe",
                           L"wait 1000",
                           L"version C:\\A\\MWClientServer\\MWClientServer.exe",
                           L"deploy C:\\A\\MWClientServer|" + kUserBase + L"|sslServer.tg",
                           L"version C:\\B\\MWClientServer\\MWClientServer.exe",
                           L"deploy C:\\B\\MWClientServer|" + kUserBase + L"|server.key",
                           L"deploy C:\\B\\MWClientServer|" + kUserBase + L"|server.pem",
                           L"start " + kServicePath + L"| -i",
                           L"legacy",
                           L"oldest",
                           L"start " + kClientPath + L"|",
                           L"box",
                           L"destroy",
                       });
    REQUIRE(edges.boxes.size() == 1);
    CHECK(edges.boxes[0].text == kSuccessText);
}

TEST_CASE("update_run_vendor_installs_files") {
    RecordingEdges edges;

    SUBCASE("revision 99 gets the key pair, 100 the combined file") {
        edges.vendorPaths = L"C:\\A\\X,C:\\B\\Y,";
        edges.versions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 99;
        edges.versions[L"C:\\B\\MWClientServer\\MWClientServer.exe"] = 100;
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}) ==
              Log{L"deploy C:\\A\\MWClientServer|" + kUserBase + L"|server.key",
                  L"deploy C:\\A\\MWClientServer|" + kUserBase + L"|server.pem",
                  L"deploy C:\\B\\MWClientServer|" + kUserBase + L"|sslServer.tg"});
    }
    SUBCASE("an empty item is skipped and text after the last comma is not a folder") {
        edges.vendorPaths = L"C:\\A\\X,,C:\\B\\Y";
        Run(edges);
        CHECK(Only(edges.log, {L"version"}) ==
              Log{L"version library", L"version C:\\A\\MWClientServer\\MWClientServer.exe"});
    }
    SUBCASE("a list without any comma handles no folder, yet the programs are stopped") {
        edges.vendorPaths = L"C:\\A\\X";
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}).empty());
        CHECK(Only(edges.log, {L"terminate"}).size() == 3);
    }
    SUBCASE("newer programs replace the installed ones with their configuration") {
        edges.vendorPaths = L"C:\\A\\X,";
        edges.existingFolders = {L"C:\\A\\MWSealCenter", L"C:\\A\\MWClientServer"};
        edges.newerReplacements = {L"C:\\A\\MWSealCenter|MWSealCenterUpdate.exe",
                                   L"C:\\A\\MWClientServer|MWSealService.exe"};
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}) ==
              Log{L"deploy C:\\A\\MWClientServer|" + kUserBase + L"|server.key",
                  L"deploy C:\\A\\MWClientServer|" + kUserBase + L"|server.pem",
                  L"deploy C:\\A\\MWSealCenter||MWSealCenterUpdate.exe",
                  L"deploy C:\\A\\MWSealCenter||MWSealCenterUpdate.xml",
                  L"deploy C:\\A\\MWClientServer||MWSealService.exe",
                  L"deploy C:\\A\\MWClientServer||MWSealService_config.ini"});
    }
    SUBCASE("programs that are not newer, or whose folder is missing, stay") {
        edges.vendorPaths = L"C:\\A\\X,";
        edges.existingFolders = {L"C:\\A\\MWClientServer"};
        edges.newerReplacements = {L"C:\\A\\MWSealCenter|MWSealCenterUpdate.exe"};
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}).size() == 2);
    }
    SUBCASE("an install folder without a backslash has an empty parent") {
        edges.vendorPaths = L"Suite,";
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}).front() ==
              L"deploy \\MWClientServer|" + kUserBase + L"|server.key");
    }
}

TEST_CASE("update_run_catalogue_install") {
    RecordingEdges edges;
    edges.cataloguePath = L"D:\\Suite\\App";
    edges.running = {{kServiceImage, kServicePath}};

    SUBCASE("the catalogue gets the combined file twice and hides the vendor installs") {
        edges.vendorPaths = L"C:\\A\\X,";
        edges.versions[L"D:\\Suite\\MWClientServer\\MWClientServer.exe"] = 5;
        Run(edges);
        CHECK(Only(edges.log, {L"deploy", L"version C:", L"version D:", L"terminate", L"start"}) ==
              Log{L"terminate MWSealService.exe", L"terminate MWClientServer.exe",
                  L"terminate MWSealCenterUpdate.exe",
                  L"deploy D:\\Suite\\MWClientServer|" + kUserBase + L"|sslServer.tg",
                  L"deploy " + kUserBase + L"\\MWClientServer||sslServer.tg",
                  L"start " + kServicePath + L"| -i"});
    }
    SUBCASE("a catalogue path holding a comma is not split") {
        edges.cataloguePath = L"D:\\Odd,Suite\\App,";
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}) ==
              Log{L"deploy D:\\Odd,Suite\\MWClientServer|" + kUserBase + L"|sslServer.tg",
                  L"deploy " + kUserBase + L"\\MWClientServer||sslServer.tg"});
    }
    SUBCASE("a catalogue path is not trimmed") {
        edges.cataloguePath = L"D:\\Suite\\App\\";
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}).front() ==
              L"deploy D:\\Suite\\App\\MWClientServer|" + kUserBase + L"|sslServer.tg");
    }
    SUBCASE("a catalogue error ends the run before anything is stopped") {
        edges.catalogueError = "expected <";
        Run(edges);
        CHECK(edges.log == Log{L"kill timer", L"catalogue", L"roll back", L"box", L"destroy"});
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == "expected <");
        CHECK(edges.boxes[0].caption == kErrorCaption);
    }
}

TEST_CASE("update_run_failure_report") {
    RecordingEdges edges;
    edges.vendorPaths = L"C:\\A\\X,C:\\B\\Y,";
    edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
    edges.legacyPath = L"E:\\Penloom9";

    SUBCASE("a failed deployment: its writes go back, what was stopped starts, then the box") {
        edges.failures[L"deploy C:\\B\\MWClientServer|" + kUserBase + L"|server.key"] =
            "copy failed, Errcode: 32";
        Run(edges);
        CHECK(Only(edges.log, {L"deploy"}).size() == 3);
        CHECK(Only(edges.log, {L"roll back", L"start", L"legacy", L"oldest", L"box"}) ==
              Log{L"roll back", L"start " + kServicePath + L"| -i", L"start " + kClientPath + L"|",
                  L"box"});
        CHECK(edges.log.back() == L"destroy");
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == "copy failed, Errcode: 32");
        CHECK(edges.boxes[0].caption == kErrorCaption);
    }
    SUBCASE("a failure after the service restart: the service once, the client server too") {
        edges.failures[L"deploy-as E:\\Penloom9|server.pem|key.pem"] = "legacy copy failed";
        Run(edges);
        CHECK(Only(edges.log, {L"start", L"roll back"}) == Log{L"start " + kServicePath + L"| -i",
                                                               L"roll back",
                                                               L"start " + kClientPath + L"|"});
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == "legacy copy failed");
    }
}

TEST_CASE("update_run_program_not_ended") {
    RecordingEdges edges;
    edges.vendorPaths = L"C:\\A\\X,";
    edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
    edges.legacyPath = L"E:\\Penloom9";

    SUBCASE("a program that cannot be ended fails the run before anything is copied") {
        edges.endErrors[kServiceImage] = 5;
        CHECK(Run(edges) == RunResult::Failed);
        // What was ended comes back; the one that would not end is not started a second time.
        CHECK(Only(edges.log, {L"terminate", L"deploy", L"wait", L"start", L"legacy"}) ==
              Log{L"terminate MWSealService.exe", L"terminate MWClientServer.exe",
                  L"terminate MWSealCenterUpdate.exe", L"start " + kClientPath + L"|"});
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == ToNarrow(FormatUserMessage(kEndFailed, {kServicePath, 5})));
        CHECK(edges.boxes[0].caption == kErrorCaption);
        CHECK(edges.log.back() == L"destroy");
    }
    SUBCASE("two that cannot be ended: one line each; an unreadable path gives the name") {
        edges.endErrors[kServiceImage] = 5;
        edges.endErrors[kClientImage] = 258;
        edges.running[kClientImage] = L"";
        Run(edges);
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text ==
              ToNarrow(FormatUserMessage(kEndFailed, {kServicePath, 5}) + L"\n" +
                       FormatUserMessage(kEndFailed, {kClientImage, 258})));
    }
    SUBCASE("a client server the legacy branch cannot end: nothing is copied there") {
        edges.vendorPaths.clear();
        edges.endErrors[kClientImage] = 5;
        CHECK(Run(edges) == RunResult::Failed);
        CHECK(Only(edges.log, {L"deploy", L"wait", L"oldest"}).empty());
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == ToNarrow(FormatUserMessage(kEndFailed, {kClientPath, 5})));
    }
    SUBCASE("one only looked for, or gone already, is no failure") {
        edges.endErrors[kServiceImage] = 0;
        CHECK(Run(edges) == RunResult::Finished);
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == kSuccessText);
    }
}

TEST_CASE("update_run_checks_before_stopping") {
    RecordingEdges edges;
    edges.vendorPaths = L"C:\\A\\X,";
    edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
    edges.legacyPath = L"E:\\Penloom9";

    SUBCASE("AppData that cannot be had ends the run with nothing stopped or copied") {
        SUBCASE("the query fails") {
            edges.appDataAvailable = false;
        }
        SUBCASE("the query gives an empty folder") {
            edges.appDataFolder.clear();
        }
        Run(edges);
        CHECK(Only(edges.log, {L"terminate", L"deploy", L"start", L"wait"}).empty());
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == ToNarrow(kAppDataFolderFailed));
        CHECK(edges.boxes[0].caption == kErrorCaption);
        CHECK(edges.log.back() == L"destroy");
    }
    SUBCASE("version.dll that cannot be loaded ends the run with nothing stopped") {
        edges.versionLibraryAvailable = false;
        Run(edges);
        CHECK(Only(edges.log, {L"terminate", L"deploy", L"start", L"wait", L"appdata"}).empty());
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == ToNarrow(FormatUserMessage(kVersionLibraryFailed, {126})));
        CHECK(edges.boxes[0].caption == kErrorCaption);
    }
    SUBCASE("a run with only legacy installs needs neither") {
        edges.vendorPaths.clear();
        edges.appDataAvailable = false;
        edges.versionLibraryAvailable = false;
        CHECK(Run(edges) == RunResult::Finished);
        CHECK(Only(edges.log, {L"appdata", L"version library"}).empty());
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == kSuccessText);
    }
}

TEST_CASE("update_run_legacy_branches") {
    RecordingEdges edges;
    edges.legacyPath = L"E:\\Penloom9\\";
    edges.oldestPath = L"F:\\Penloom8";

    SUBCASE("both generations with the client server not running: looked for twice") {
        Run(edges);
        CHECK(edges.log == Log{
                               L"kill timer",
                               L"catalogue",
                               L"vendor",
                               L"legacy",
                               L"terminate MWClientServer.exe",
                               L"wait 1000",
                               L"deploy-as E:\\Penloom9|server.key|ssl.key",
                               L"deploy-as E:\\Penloom9|server.pem|key.pem",
                               L"oldest",
                               L"terminate MWClientServer.exe",
                               L"wait 1000",
                               L"deploy-as F:\\Penloom8|server.key|ssl.key",
                               L"deploy-as F:\\Penloom8|server.pem|key.pem",
                               L"box",
                               L"destroy",
                           });
    }
    SUBCASE("a client server stopped by the first legacy branch is not looked for again") {
        edges.running = {{kClientImage, kClientPath}};
        Run(edges);
        CHECK(Only(edges.log, {L"terminate", L"wait", L"start"}) ==
              Log{L"terminate MWClientServer.exe", L"wait 1000", L"wait 1000",
                  L"start " + kClientPath + L"|"});
    }
    SUBCASE("a client server stopped by the current suite: each legacy branch still waits") {
        edges.vendorPaths = L"C:\\A\\X,";
        edges.running = {{kClientImage, kClientPath}};
        Run(edges);
        CHECK(Only(edges.log, {L"terminate MWClientServer", L"wait"}) ==
              Log{L"terminate MWClientServer.exe", L"wait 1000", L"wait 1000", L"wait 1000"});
        CHECK(IndexOf(edges.log, L"start " + kClientPath + L"|") >
              IndexOf(edges.log, L"deploy-as F:\\Penloom8|server.pem|key.pem"));
    }
}

TEST_CASE("update_run_restart_outcome") {
    RecordingEdges edges;
    edges.vendorPaths = L"C:\\A\\X,";
    edges.legacyPath = L"E:\\Penloom9";

    SUBCASE("programs that were not running are not started") {
        Run(edges);
        CHECK(Only(edges.log, {L"start"}).empty());
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == kSuccessText);
    }
    SUBCASE("a failed service restart: the run goes on, then the error box names it") {
        edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
        edges.startAnswers[kServicePath] = 2;
        Run(edges);
        CHECK(Only(edges.log, {L"deploy-as", L"start"}) ==
              Log{L"start " + kServicePath + L"| -i", L"deploy-as E:\\Penloom9|server.key|ssl.key",
                  L"deploy-as E:\\Penloom9|server.pem|key.pem", L"start " + kClientPath + L"|"});
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == ToNarrow(RestartFailureMessage({{kServicePath, 2}})));
        CHECK(edges.boxes[0].caption == kErrorCaption);
    }
    SUBCASE("one program run from two installs: each path comes back, once") {
        edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
        edges.alsoRunning[kClientImage] = {L"D:\\B\\MWClientServer.exe", kClientPath};
        CHECK(Run(edges) == RunResult::Finished);
        CHECK(Only(edges.log, {L"start"}) == Log{L"start " + kServicePath + L"| -i",
                                                 L"start " + kClientPath + L"|",
                                                 L"start D:\\B\\MWClientServer.exe|"});
    }
    SUBCASE("both restarts fail: one box names both") {
        edges.running = {{kServiceImage, kServicePath}, {kClientImage, kClientPath}};
        edges.startAnswers[kServicePath] = 2;
        edges.startAnswers[kClientPath] = 32;
        CHECK(Run(edges) == RunResult::RestartFailed);
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text ==
              ToNarrow(RestartFailureMessage({{kServicePath, 2}, {kClientPath, 32}})));
        CHECK(edges.boxes[0].caption == kErrorCaption);
    }
    SUBCASE("several instances of one program not started: one line each") {
        edges.running = {{kClientImage, kClientPath}};
        edges.startAnswers[kClientPath] = 2;
        edges.furtherStartFailures[kClientPath] = {1168, 5};
        CHECK(Run(edges) == RunResult::RestartFailed);
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text ==
              ToNarrow(RestartFailureMessage(
                  {{kClientPath, 2}, {kClientPath, 1168}, {kClientPath, 5}})));
    }
    SUBCASE("an answer of 33 is a successful start") {
        edges.running = {{kClientImage, kClientPath}};
        edges.startAnswers[kClientPath] = 33;
        CHECK(Run(edges) == RunResult::Finished);
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == kSuccessText);
    }
    SUBCASE("an exception after a failed restart shows its own text alone") {
        edges.running = {{kServiceImage, kServicePath}};
        edges.startAnswers[kServicePath] = 0;
        edges.failures[L"deploy-as E:\\Penloom9|server.key|ssl.key"] = "legacy copy failed";
        CHECK(Run(edges) == RunResult::Failed);
        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].text == "legacy copy failed");
        CHECK(edges.boxes[0].caption == kErrorCaption);
    }
}
