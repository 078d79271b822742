// The executor over a recorder that can fail any step: what it does, in which order, and how it
// undoes a failure. Plans are made by hand or by the planners, so the cases read like the run.
#include "run/executor.h"

#include "run/plan_restore.h"
#include "run/plan_update.h"
#include "platform/codepage.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace qm;

namespace {

using Log = std::vector<std::wstring>;

const std::wstring kServicePath = L"C:\\A\\MWClientServer\\MWSealService.exe";
const std::wstring kClientPath = L"C:\\A\\MWClientServer\\MWClientServer.exe";

// Every call of the executor, in one log; a call named in failures throws its message.
class Recorder : public Host, public Processes, public Files, public Journal, public Observer {
public:
    std::map<std::wstring, std::vector<std::wstring>> running; // image -> paths
    std::map<std::wstring, uint32_t> endErrors;                // image -> why it will not end
    std::map<std::wstring, long> startErrors;                  // path -> code
    std::map<std::wstring, unsigned long> checkErrors;         // checked path -> code
    std::map<std::wstring, std::wstring> failures;             // log line -> message
    bool saveFails = false;

    Log log;
    std::vector<std::pair<std::wstring, std::wstring>> boxes;
    std::vector<StoppedProcess> lingering;
    int processes = 0;

    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        log.push_back(L"box");
        boxes.emplace_back(text, caption);
    }
    std::vector<StoppedProcess> Stop(const std::wstring& image) override {
        Record(L"stop " + image);
        std::vector<StoppedProcess> stopped;
        for (const std::wstring& path : running[image]) {
            StoppedProcess process;
            process.processId = static_cast<uint32_t>(++processes);
            process.imagePath = path;
            process.endError = endErrors.count(image) ? endErrors[image] : 0;
            // 258: ended, but still there when the ends are awaited.
            process.ended = process.endError == 0 || process.endError == 258;
            if (process.endError == 258) {
                process.endError = 0;
                lingering.push_back(process);
            }
            stopped.push_back(process);
        }
        if (!endErrors.count(image)) {
            running.erase(image);
        }
        return stopped;
    }
    std::vector<StoppedProcess> AwaitEnded() override {
        log.push_back(L"await ended");
        for (StoppedProcess& process : lingering) {
            process.endError = 258;
        }
        return std::exchange(lingering, {});
    }
    std::vector<StoppedProcess> End(const std::wstring& image) override {
        log.push_back(L"end " + image);
        running.erase(image);
        return {};
    }
    StartResult Start(const std::wstring& imagePath, const std::wstring& parameters) override {
        log.push_back(L"start " + imagePath + L"|" + parameters);
        const auto error = startErrors.find(imagePath);
        return error == startErrors.end() ? StartResult{true, 0, {}}
                                          : StartResult{false, error->second, {}};
    }
    void Wait(uint32_t milliseconds) override {
        log.push_back(L"wait " + std::to_wstring(milliseconds));
    }
    unsigned long Check(const PlannedCheck& check, bool& created) override {
        created = check.kind == CheckKind::FolderCreatable;
        const auto error = checkErrors.find(check.path);
        return error == checkErrors.end() ? 0 : error->second;
    }
    void Stage(const Step& step) override { Record(L"stage " + step.target); }
    void Unstage() override { log.push_back(L"unstage"); }
    void Copy(const Step& step) override { Record(L"copy " + step.target); }
    void Remove(const Step& step) override { Record(L"remove " + step.target); }
    void Save(const std::vector<PlannedSave>& saves) override {
        log.push_back(L"save " + std::to_wstring(saves.size()));
        if (saveFails) {
            throw SaveFailure(L"not saved", saves.front().path, 32);
        }
    }
    void Settle() override { log.push_back(L"settle"); }
    void SettleMeanwhile() override { log.push_back(L"settle meanwhile"); }
    void FolderMade(const std::wstring& folder) override { log.push_back(L"made " + folder); }
    void Touch(const std::wstring&) override {}
    RollbackReport RollBack() override {
        log.push_back(L"roll back");
        return {};
    }
    RollbackReport PutBack(const std::vector<std::wstring>& paths) override {
        for (const std::wstring& path : paths) {
            log.push_back(L"put back " + path);
        }
        return {};
    }
    void LeftOut(const std::wstring& profile, const std::wstring&) override {
        log.push_back(L"left out " + profile);
    }
    void Close(RunResult) override { log.push_back(L"close"); }
    void Refused(const PlannedCheck& check, unsigned long error) override {
        log.push_back(L"refused " + check.path + L" " + std::to_wstring(error));
    }

    RunResult Run(const Plan& plan) { return Execute(plan, *this, *this, *this, *this, *this); }

private:
    void Record(const std::wstring& line) {
        log.push_back(line);
        const auto failure = failures.find(line);
        if (failure != failures.end()) {
            throw UserError(failure->second);
        }
    }
};

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

Plan UpdatePlan() {
    Facts facts;
    facts.licenseFolder = L"T:\\LicenseFile";
    facts.appDataFolder = L"C:\\Users\\u\\AppData\\Roaming";
    facts.vendorFolders = {L"C:\\A\\X"};
    facts.revisions[kClientPath] = 100;
    facts.penloom9Folder = L"E:\\P9";
    facts.present = {L"E:\\P9\\ssl.key"};
    return PlanUpdate(facts);
}

const std::wstring kInstallCopy = L"copy C:\\A\\MWClientServer\\sslServer.tg";
const std::wstring kUserCopy =
    L"copy C:\\Users\\u\\AppData\\Roaming\\Marrowby\\MWClientServer\\sslServer.tg";

} // namespace

TEST_CASE("executor_update_sequence") {
    Recorder world;
    world.running = {{kServiceImage, {kServicePath}}, {kClientImage, {kClientPath}}};

    SUBCASE("checks, one save, stops, copies, restarts, then the box") {
        CHECK(world.Run(UpdatePlan()) == RunResult::Finished);
        CHECK(Only(world.log, {L"made", L"save", L"stop", L"await", L"wait", L"copy", L"start",
                               L"box", L"close"}) ==
              Log{L"made C:\\Users\\u\\AppData\\Roaming\\Marrowby",
                  L"made C:\\Users\\u\\AppData\\Roaming\\Marrowby\\MWClientServer", L"save 3",
                  L"stop MWSealService.exe", L"stop MWClientServer.exe",
                  L"stop MWSealCenterUpdate.exe", L"await ended", L"wait 1000", kInstallCopy,
                  kUserCopy, L"start " + kServicePath + L"| -i", L"await ended", L"wait 1000",
                  L"copy E:\\P9\\ssl.key", L"start " + kClientPath + L"|", L"box", L"close"});
        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first == std::wstring(kSuccessText));
        CHECK(world.boxes[0].second == std::wstring(kNoticeCaption));
    }
    SUBCASE("the set on disk before the stop, unless a fixed wait after it gives the time") {
        world.Run(UpdatePlan());
        const Log stops{L"stop MWSealService.exe", L"stop MWClientServer.exe",
                        L"stop MWSealCenterUpdate.exe"};
        CHECK(Only(world.log, {L"settle", L"stop MWSeal", L"wait"}) ==
              Log{stops[0], stops[2], L"settle meanwhile", L"wait 1000", L"settle meanwhile",
                  L"wait 1000"});
        Facts facts;
        facts.licenseFolder = L"T:\\LicenseFile";
        facts.appDataFolder = L"C:\\Users\\u\\AppData\\Roaming";
        facts.vendorFolders = {L"C:\\A\\X"};
        PlanOptions fleet;
        fleet.fixedWaits = false;
        world.log.clear();
        world.Run(PlanUpdate(facts, fleet));
        CHECK(Only(world.log, {L"settle", L"stop MWSeal"}) == Log{L"settle", stops[0], stops[2]});
    }
    SUBCASE("the client server kept by the current suite is not looked for again") {
        world.Run(UpdatePlan());
        CHECK(Only(world.log, {L"stop MWClientServer"}).size() == 1);
    }
    SUBCASE("a client server that the current suite did not find: the legacy branch looks") {
        world.running.erase(kClientImage);
        world.Run(UpdatePlan());
        CHECK(Only(world.log, {L"stop MWClientServer"}).size() == 2);
    }
}

TEST_CASE("executor_refusal_before_the_stop") {
    Recorder world;
    world.running = {{kServiceImage, {kServicePath}}};

    SUBCASE("a failed check: nothing saved or stopped, the folders made go, the check's box") {
        world.checkErrors[L"C:\\A\\MWClientServer\\sslServer.tg"] = 5;
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"refused", L"save", L"stop", L"roll back", L"box"}) ==
              Log{L"refused C:\\A\\MWClientServer\\sslServer.tg 5", L"roll back", L"box"});
        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first == L"授权文件替换到安装目录失败，Errcode: 5");
        CHECK(world.boxes[0].second == std::wstring(kErrorCaption));
    }
    SUBCASE("a file that cannot be saved: refused by name, nothing stopped") {
        world.saveFails = true;
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"refused", L"stop", L"box"}) ==
              Log{L"refused C:\\A\\MWClientServer\\sslServer.tg 32", L"box"});
        CHECK(world.boxes[0].first == L"not saved");
    }
    SUBCASE("what the facts refuse: the box alone") {
        Plan plan = UpdatePlan();
        plan.refusal = L"expected <";
        CHECK(world.Run(plan) == RunResult::Failed);
        CHECK(world.log == Log{L"box", L"close"});
    }
}

TEST_CASE("executor_failure_after_the_stop") {
    Recorder world;
    world.running = {{kServiceImage, {kServicePath}}, {kClientImage, {kClientPath}}};

    SUBCASE("a failed copy: everything put back, what was stopped starts, then its box") {
        world.failures[kUserCopy] = L"copy failed, Errcode: 32";
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"copy", L"unstage", L"roll back", L"start", L"box"}) ==
              Log{kInstallCopy, kUserCopy, L"unstage", L"roll back",
                  L"start " + kServicePath + L"| -i", L"start " + kClientPath + L"|", L"box"});
        CHECK(world.boxes.back().first == L"copy failed, Errcode: 32");
    }
    SUBCASE("after the service's restart: it is ended, the files go back, both come back") {
        world.failures[L"copy E:\\P9\\ssl.key"] = L"legacy copy failed";
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"start", L"end", L"roll back"}) ==
              Log{L"start " + kServicePath + L"| -i", L"end MWSealService.exe", L"roll back",
                  L"start " + kServicePath + L"| -i", L"start " + kClientPath + L"|"});
        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first == L"legacy copy failed");
    }
    SUBCASE("a restart that failed: nothing to end, it is tried again after the files") {
        world.failures[L"copy E:\\P9\\ssl.key"] = L"legacy copy failed";
        world.startErrors[kServicePath] = 2;
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"start", L"end", L"roll back"}) ==
              Log{L"start " + kServicePath + L"| -i", L"roll back",
                  L"start " + kServicePath + L"| -i", L"start " + kClientPath + L"|"});
        // The failure's own text alone, whatever restart failed before.
        REQUIRE(world.boxes.size() == 1);
        CHECK(world.boxes[0].first == L"legacy copy failed");
    }
    SUBCASE("a program that would not end: nothing copied, the others come back, it does not") {
        world.endErrors[kServiceImage] = 5;
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"copy", L"wait", L"start"}) == Log{L"start " + kClientPath + L"|"});
        CHECK(world.boxes[0].first == FormatUserMessage(kEndFailed, {kServicePath, 5}));
    }
    SUBCASE("ended, but still there after the wait: nothing copied, it comes back too") {
        world.endErrors[kServiceImage] = 258;
        CHECK(world.Run(UpdatePlan()) == RunResult::Failed);
        CHECK(Only(world.log, {L"copy", L"start"}) ==
              Log{L"start " + kServicePath + L"| -i", L"start " + kClientPath + L"|"});
        CHECK(world.boxes[0].first == FormatUserMessage(kEndFailed, {kServicePath, 258}));
    }
}

TEST_CASE("executor_all_users_one_profile_left_out") {
    Recorder world;
    world.running = {{kServiceImage, {kServicePath}}};
    Facts facts;
    facts.licenseFolder = L"T:\\LicenseFile";
    facts.allUsers = true;
    facts.vendorFolders = {L"C:\\A\\X"};
    facts.revisions[kClientPath] = 100;
    for (const wchar_t* folder : {L"C:\\Users\\ann", L"C:\\Users\\cy"}) {
        ProfileFacts profile;
        profile.folder = folder;
        profile.appData = std::wstring(folder) + L"\\AppData\\Roaming";
        profile.verdict = ProfileFacts::Verdict::Served;
        facts.profiles.push_back(profile);
    }
    const std::wstring annCopy =
        L"copy C:\\Users\\ann\\AppData\\Roaming\\Marrowby\\MWClientServer\\sslServer.tg";
    const std::wstring cyKey =
        L"C:\\Users\\cy\\AppData\\Roaming\\Marrowby\\MWClientServer\\sslServer.tg";

    SUBCASE("a copy that fails after the stop: that user's files go back, the rest stands") {
        world.failures[L"copy " + cyKey] = L"held, Errcode: 32";
        CHECK(world.Run(PlanUpdate(facts)) == RunResult::LeftOut);
        CHECK(Only(world.log,
                   {L"copy", L"unstage", L"put back", L"left out", L"roll back", L"start"}) ==
              Log{kInstallCopy, annCopy, L"copy " + cyKey, L"unstage", L"put back " + cyKey,
                  L"left out C:\\Users\\cy", L"start " + kServicePath + L"| -i"});
        CHECK(world.boxes[0].first == std::wstring(kSuccessText));
    }
    SUBCASE("a check that fails before the stop: that user's copies are not made, nor saved") {
        world.checkErrors[cyKey] = 5;
        CHECK(world.Run(PlanUpdate(facts)) == RunResult::LeftOut);
        // Nor written ahead; the others are, before the first stop.
        CHECK(Only(world.log, {L"copy", L"stage", L"left out", L"save", L"stop MWSealS"}) ==
              Log{L"left out C:\\Users\\cy", L"save 2", L"stage" + kInstallCopy.substr(4),
                  L"stage" + annCopy.substr(4), L"stop MWSealService.exe", kInstallCopy, annCopy});
    }
}

TEST_CASE("executor_restarts") {
    Recorder world;

    SUBCASE("programs that were not running are not started") {
        CHECK(world.Run(UpdatePlan()) == RunResult::Finished);
        CHECK(Only(world.log, {L"start"}).empty());
    }
    SUBCASE("one program run from two installs: each path comes back, once") {
        world.running = {
            {kClientImage,
             {L"D:\\B\\MWClientServer.exe", kClientPath, L"D:\\B\\MWClientServer.exe"}}};
        CHECK(world.Run(UpdatePlan()) == RunResult::Finished);
        CHECK(Only(world.log, {L"start"}) ==
              Log{L"start D:\\B\\MWClientServer.exe|", L"start " + kClientPath + L"|"});
    }
    SUBCASE("both restarts fail: the run goes on, then one box names both") {
        world.running = {{kServiceImage, {kServicePath}}, {kClientImage, {kClientPath}}};
        world.startErrors = {{kServicePath, 2}, {kClientPath, 32}};
        CHECK(world.Run(UpdatePlan()) == RunResult::RestartFailed);
        CHECK(Only(world.log, {L"copy E:"}).size() == 1);
        CHECK(world.boxes[0].first ==
              RestartFailureMessage({{kServicePath, 2}, {kClientPath, 32}}));
        CHECK(world.boxes[0].second == std::wstring(kErrorCaption));
    }
}

TEST_CASE("executor_restore") {
    Recorder world;
    const std::wstring otherService = L"D:\\B\\MWClientServer\\MWSealService.exe";
    const std::wstring otherClient = L"D:\\B\\MWClientServer\\MWClientServer.exe";
    world.running = {{kServiceImage, {kServicePath, otherService}},
                     {kClientImage, {kClientPath, otherClient}}};
    RestoreFacts facts;
    facts.setName = L"20261210T000000Z";
    facts.manifest.entries = {{BackupKind::Overwritten, L"C:\\A\\MWClientServer\\server.key", 3,
                               std::string(64, 'a'), L"0-server.key"},
                              {BackupKind::Created, L"C:\\U\\server.key", 0, {}, {}}};
    facts.savedCopies = {L"P:\\Backups\\20261210T000000Z\\0-server.key", L""};

    SUBCASE("both installs' programs come back") {
        CHECK(world.Run(PlanRestore(facts)) == RunResult::Finished);
        CHECK(Only(world.log, {L"copy", L"remove", L"start"}) ==
              Log{L"copy C:\\A\\MWClientServer\\server.key", L"remove C:\\U\\server.key",
                  L"start " + kServicePath + L"| -i", L"start " + otherService + L"| -i",
                  L"start " + kClientPath + L"|", L"start " + otherClient + L"|"});
    }
    SUBCASE("a restore that fails puts back what it wrote and starts the suite again") {
        world.failures[L"remove C:\\U\\server.key"] = L"removal failed";
        CHECK(world.Run(PlanRestore(facts)) == RunResult::Failed);
        CHECK(Only(world.log, {L"roll back", L"start"}).size() == 5);
        CHECK(world.boxes.back().first == L"removal failed");
    }
    SUBCASE("a file the restore cannot save: nothing stopped") {
        world.saveFails = true;
        CHECK(world.Run(PlanRestore(facts)) == RunResult::Failed);
        CHECK(Only(world.log, {L"stop", L"start"}).empty());
    }
}
