// The record of a run that fails past the stop: what each file's entry says became of it.
#include "record/run_record.h"

#include <doctest/doctest.h>
#include <nlohmann/json.hpp>

#include <map>

using namespace qm;

namespace {

Step CopyStep(const std::wstring& target) {
    Step step;
    step.kind = StepKind::Copy;
    step.source = L"C:\\tool\\LicenseFile\\x";
    step.target = target;
    return step;
}

} // namespace

TEST_CASE("record_targets_of_a_failed_run") {
    // Fingerprints as the files stand at each moment of the run.
    std::map<std::wstring, std::string> files = {
        {L"C:\\a", "a0"}, {L"C:\\c", "c0"}, {L"C:\\tool\\LicenseFile\\x", "new"}};
    RunRecord record({}, [&files](const std::wstring& path) { return files[path]; });
    Plan plan;
    plan.steps = {CopyStep(L"C:\\a"), CopyStep(L"C:\\b"), CopyStep(L"C:\\c")};
    record.Planned(plan);
    // Ended by its stop, still there when the ends were awaited: one process, one entry.
    Step stop;
    stop.kind = StepKind::Stop;
    stop.image = L"MWSealService.exe";
    StoppedProcess service{7, L"C:\\A\\MWSealService.exe", true, 0, L""};
    record.Stopped(stop, {service, {8, L"", true, 0, L""}});
    service.endError = 258;
    record.Stopped(stop, {service});

    record.Begins(plan.steps[0]);
    files[L"C:\\a"] = "new";
    record.Ends(plan.steps[0], nullptr);
    const std::wstring failure = L"授权文件替换到安装目录失败，Errcode: 32";
    record.Begins(plan.steps[1]);
    record.Ends(plan.steps[1], &failure);
    files[L"C:\\a"] = "a0";
    record.RolledBack({{{RollbackStep::Action::Restored, L"C:\\a", L""}}, L"C:\\set"});
    record.Shown(failure, L"错误");

    const auto document = nlohmann::json::parse(record.Finish({}, 1));
    const auto& targets = document["targets"];
    REQUIRE(targets.size() == 3);
    CHECK(targets[0]["action"] == "replace");
    CHECK(targets[0]["sha256Before"] == "a0");
    CHECK(targets[0]["sha256After"] == "a0"); // as the rollback left it
    CHECK(targets[0]["rolledBack"] == true);
    CHECK(targets[1]["action"] == "failed");
    CHECK(targets[1]["sha256Before"].is_null());
    CHECK(targets[2]["action"] == "not reached");
    CHECK(targets[2]["sha256After"] == "c0");
    CHECK(document["failure"]["code"] == 32);
    CHECK(document["failure"]["at"] == "C:\\b");
    CHECK(document["backupSet"] == "C:\\set");
    CHECK(document["refusal"].is_null());
    const auto& stopped = document["stopped"];
    REQUIRE(stopped.size() == 2);
    CHECK(stopped[0]["result"] == "still there after the wait");
    CHECK(stopped[1]["result"] == "ended");
}

TEST_CASE("record_current_machine_lists_what_it_holds") {
    Facts facts;
    facts.current = {L"C:\\s\\server.pem"};
    facts.pem[L"C:\\s\\server.pem"].kind = PemKind::Certificate;
    facts.pem[L"C:\\s\\server.pem"].notAfter = 4102358400; // 2099-12-31
    RunRecord record({}, [](const std::wstring&) { return std::string("same"); });
    record.Read(facts);
    Plan plan;
    plan.alreadyCurrent = true;
    record.Planned(plan);

    const auto targets = nlohmann::json::parse(record.Finish({}, 0))["targets"];
    REQUIRE(targets.size() == 1);
    CHECK(targets[0]["action"] == "unchanged");
    CHECK(targets[0]["pemBefore"]["notAfter"] == "2099-12-31T00:00:00.000Z");
    CHECK(targets[0]["pemAfter"] == targets[0]["pemBefore"]);
}
