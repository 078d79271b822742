// The update run's plan as tables: facts in, steps and checks out.
#include "run/plan_update.h"

#include "fileops/deploy.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace qm;

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kLicense = L"T:\\Tool\\LicenseFile";
const std::wstring kAppData = L"C:\\Users\\u\\AppData\\Roaming";
const std::wstring kUser = L"C:\\Users\\u\\AppData\\Roaming\\Marrowby\\MWClientServer";

Facts Machine() {
    Facts facts;
    facts.licenseFolder = kLicense;
    facts.appDataFolder = kAppData;
    return facts;
}

// One line per step, as a reader of the run would say it; the copies written ahead left aside.
Lines StepsOf(const Plan& plan) {
    Lines lines;
    for (const Step& step : plan.steps) {
        switch (step.kind) {
        case StepKind::Stage:
            break;
        case StepKind::Stop:
            lines.push_back(L"stop " + step.image + (step.unlessKept ? L" unless kept" : L""));
            break;
        case StepKind::RequireEnded:
            lines.push_back(L"require ended");
            break;
        case StepKind::Wait:
            lines.push_back(L"wait " + std::to_wstring(step.milliseconds));
            break;
        case StepKind::Copy:
            lines.push_back(L"copy " + step.target +
                            (step.heldRetryMs ? L", held: again for " +
                                                    std::to_wstring(step.heldRetryMs) + L" ms"
                                              : L""));
            break;
        case StepKind::Remove:
            lines.push_back(L"remove " + step.target);
            break;
        case StepKind::Note:
            lines.push_back((step.note == NoteKind::Newer      ? L"newer "
                             : step.note == NoteKind::NotNewer ? L"not newer "
                                                               : L"not present ") +
                            step.target);
            break;
        case StepKind::Restart:
            lines.push_back(L"restart " + step.image + step.parameters);
            break;
        }
    }
    return lines;
}

// The steps, less the copies written ahead.
std::vector<Step> Unstaged(Plan plan) {
    const auto staged = [](const Step& step) { return step.kind == StepKind::Stage; };
    plan.steps.erase(std::remove_if(plan.steps.begin(), plan.steps.end(), staged),
                     plan.steps.end());
    return plan.steps;
}

// The steps of one kind (by the line's first word).
Lines Only(const Lines& lines, const std::wstring& word) {
    Lines kept;
    for (const std::wstring& line : lines) {
        if (line.rfind(word + L" ", 0) == 0) {
            kept.push_back(line);
        }
    }
    return kept;
}

const Lines kCurrentSuiteStops = {L"stop MWSealService.exe", L"stop MWClientServer.exe",
                                  L"stop MWSealCenterUpdate.exe", L"require ended", L"wait 1000"};

} // namespace

TEST_CASE("plan_update_sequence") {
    Facts facts = Machine();

    SUBCASE("nothing installed: nothing stopped or copied, the success box") {
        const Plan plan = PlanUpdate(facts);
        CHECK(StepsOf(plan) == Lines{L"restart MWClientServer.exe"});
        CHECK(plan.checks.empty());
        CHECK(plan.finishResult == RunResult::NothingFound);
        CHECK(plan.finishText == std::wstring(kSuccessText));
    }
    SUBCASE("two vendor installs: stops, each install's files and the per-user copy, restarts") {
        facts.vendorFolders = {L"C:\\A\\X", L"C:\\B\\Y\\"};
        facts.revisions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 100;
        Lines expected = kCurrentSuiteStops;
        for (const wchar_t* line :
             {L"copy C:\\A\\MWClientServer\\sslServer.tg",
              L"copy C:\\B\\MWClientServer\\server.key", L"copy C:\\B\\MWClientServer\\server.pem",
              L"restart MWSealService.exe -i", L"restart MWClientServer.exe"}) {
            expected.push_back(line);
        }
        expected.insert(expected.begin() + 6, L"copy " + kUser + L"\\sslServer.tg");
        expected.insert(expected.begin() + 8, L"copy " + kUser + L"\\server.key");
        expected.insert(expected.begin() + 10, L"copy " + kUser + L"\\server.pem");
        const Plan plan = PlanUpdate(facts);
        CHECK(StepsOf(plan) == expected);
        CHECK(plan.finishResult == RunResult::Finished);
        CHECK(plan.saves.size() == 6);
    }
    SUBCASE("what ends the run before anything is done gives no step") {
        facts.vendorFolders = {L"C:\\A\\X"};
        facts.failure = L"expected <";
        const Plan plan = PlanUpdate(facts);
        CHECK(plan.refusal == L"expected <");
        CHECK(plan.steps.empty());
        CHECK(plan.checks.empty());
    }
}

TEST_CASE("plan_update_install_files") {
    Facts facts = Machine();
    facts.vendorFolders = {L"C:\\A\\X"};
    struct Row {
        const char* name;
        int revision; // -1: no version
        Lines copies; // within the install's client folder
    };
    const Row rows[] = {
        {"no version: the key pair", -1, {L"server.key", L"server.pem"}},
        {"revision 99: the key pair", 99, {L"server.key", L"server.pem"}},
        {"revision 100: the combined file", 100, {L"sslServer.tg"}},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        facts.revisions.clear();
        if (row.revision >= 0) {
            facts.revisions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = row.revision;
        }
        Lines expected;
        for (const std::wstring& file : row.copies) {
            expected.push_back(L"copy C:\\A\\MWClientServer\\" + file);
            expected.push_back(L"copy " + kUser + L"\\" + file);
        }
        CHECK(Only(StepsOf(PlanUpdate(facts)), L"copy") == expected);
    }

    SUBCASE("newer programs replace the installed ones with their configuration") {
        facts.revisions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 100;
        facts.folders = {L"C:\\A\\MWSealCenter", L"C:\\A\\MWClientServer"};
        facts.newer = {L"C:\\A\\MWSealCenter\\MWSealCenterUpdate.exe"};
        const Lines steps = StepsOf(PlanUpdate(facts));
        CHECK(Only(steps, L"copy") == Lines{L"copy C:\\A\\MWClientServer\\sslServer.tg",
                                            L"copy " + kUser + L"\\sslServer.tg",
                                            L"copy C:\\A\\MWSealCenter\\MWSealCenterUpdate.exe",
                                            L"copy C:\\A\\MWSealCenter\\MWSealCenterUpdate.xml"});
        CHECK(Only(steps, L"newer") == Lines{L"newer C:\\A\\MWSealCenter\\MWSealCenterUpdate.exe"});
        CHECK(Only(steps, L"not") == Lines{L"not newer C:\\A\\MWClientServer\\MWSealService.exe"});
    }
    SUBCASE("a program whose folder is missing is not even compared") {
        facts.newer = {L"C:\\A\\MWSealCenter\\MWSealCenterUpdate.exe"};
        const Lines steps = StepsOf(PlanUpdate(facts));
        CHECK(Only(steps, L"copy").size() == 2);
        CHECK(Only(steps, L"newer").empty());
        CHECK(Only(steps, L"not").empty());
    }
    SUBCASE("an install folder without a backslash has an empty parent") {
        facts.vendorFolders = {L"Suite"};
        CHECK(Only(StepsOf(PlanUpdate(facts)), L"copy").front() ==
              L"copy \\MWClientServer\\server.key");
    }
    SUBCASE("a vendor path holding a comma is one install") {
        facts.vendorFolders = {L"C:\\Odd,Name\\X"};
        CHECK(Only(StepsOf(PlanUpdate(facts)), L"copy").front() ==
              L"copy C:\\Odd,Name\\MWClientServer\\server.key");
    }
}

TEST_CASE("plan_update_catalogue_install") {
    Facts facts = Machine();
    facts.cataloguePath = L"D:\\Suite\\App";

    SUBCASE("the combined file, and the per-user copy once; the vendor installs are hidden") {
        facts.vendorFolders = {L"C:\\A\\X"};
        facts.revisions[L"D:\\Suite\\MWClientServer\\MWClientServer.exe"] = 5;
        const Plan plan = PlanUpdate(facts);
        CHECK(Only(StepsOf(plan), L"copy") == Lines{L"copy D:\\Suite\\MWClientServer\\sslServer.tg",
                                                    L"copy " + kUser + L"\\sslServer.tg"});
        CHECK(Only(StepsOf(plan), L"stop").size() == 3);
    }
    SUBCASE("a catalogue path holding a comma is not split, nor trimmed") {
        facts.cataloguePath = L"D:\\Odd,Suite\\App\\";
        CHECK(Only(StepsOf(PlanUpdate(facts)), L"copy").front() ==
              L"copy D:\\Odd,Suite\\App\\MWClientServer\\sslServer.tg");
    }
}

TEST_CASE("plan_update_legacy_branches") {
    Facts facts = Machine();
    facts.penloom9Folder = L"E:\\P9\\App\\";
    facts.penloom8Folder = L"F:\\P8";
    facts.present = {L"E:\\P9\\App\\ssl.key", L"E:\\P9\\key.pem", L"F:\\key.pem"};

    SUBCASE("each branch stops the client server unless kept, waits, and copies what is there") {
        CHECK(StepsOf(PlanUpdate(facts)) == Lines{
                                                L"stop MWClientServer.exe unless kept",
                                                L"require ended",
                                                L"wait 1000",
                                                L"copy E:\\P9\\App\\ssl.key",
                                                L"not present E:\\P9\\ssl.key",
                                                L"not present E:\\P9\\App\\key.pem",
                                                L"copy E:\\P9\\key.pem",
                                                L"stop MWClientServer.exe unless kept",
                                                L"require ended",
                                                L"wait 1000",
                                                L"not present F:\\P8\\ssl.key",
                                                L"not present F:\\ssl.key",
                                                L"not present F:\\P8\\key.pem",
                                                L"copy F:\\key.pem",
                                                L"restart MWClientServer.exe",
                                            });
    }
    SUBCASE("after the current suite: its restart of the service comes first") {
        facts.vendorFolders = {L"C:\\A\\X"};
        const Lines steps = StepsOf(PlanUpdate(facts));
        CHECK(Only(steps, L"restart") ==
              Lines{L"restart MWSealService.exe -i", L"restart MWClientServer.exe"});
        CHECK(Only(steps, L"wait").size() == 3);
        CHECK(steps.back() == L"restart MWClientServer.exe");
    }
    SUBCASE("with switches: no fixed wait; each copy tries a held target again for as long") {
        facts.vendorFolders = {L"C:\\A\\X"};
        const Lines steps = StepsOf(PlanUpdate(facts, {true, false}));
        CHECK(Only(steps, L"wait").empty());
        CHECK(Only(steps, L"copy").size() == 7);
        for (const std::wstring& copy : Only(steps, L"copy")) {
            CHECK(copy.find(L", held: again for 1000 ms") != std::wstring::npos);
        }
    }
    SUBCASE("copies from the generation's own source names") {
        const std::vector<Step> steps = Unstaged(PlanUpdate(facts));
        CHECK(steps[3].source == kLicense + L"\\server.key");
        CHECK(steps[6].source == kLicense + L"\\server.pem");
        CHECK(steps[3].linkRoot == L"E:\\P9");
    }
}

TEST_CASE("plan_update_checks") {
    Facts facts = Machine();
    facts.vendorFolders = {L"C:\\A\\X", L"C:\\B\\Y"};
    const Plan plan = PlanUpdate(facts);
    const auto checksOf = [&plan](const std::wstring& path) {
        std::vector<CheckKind> kinds;
        for (const PlannedCheck& check : plan.checks) {
            if (check.path == path) {
                kinds.push_back(check.kind);
            }
        }
        return kinds;
    };

    SUBCASE("an install copy: its folder's links, its obstacle, its source, its folder") {
        CHECK(checksOf(L"C:\\A\\MWClientServer") == std::vector<CheckKind>{CheckKind::LinkFree});
        CHECK(plan.checks[0].root == L"C:\\A");
        CHECK(checksOf(L"C:\\A\\MWClientServer\\server.key") ==
              std::vector<CheckKind>{CheckKind::TargetWritable, CheckKind::TargetFolder});
        CHECK(plan.checks[2].kind == CheckKind::SourceReadable);
        CHECK(plan.checks[1].failure == std::wstring(kInstallCopyFailed));
    }
    SUBCASE("the per-user copy: a link check, then both folders made, before its own checks") {
        std::vector<CheckKind> kinds;
        for (const PlannedCheck& check : plan.checks) {
            if (check.path.rfind(kAppData, 0) == 0) {
                kinds.push_back(check.kind);
            }
        }
        CHECK(kinds == std::vector<CheckKind>{CheckKind::LinkFree, CheckKind::FolderCreatable,
                                              CheckKind::FolderCreatable, CheckKind::TargetWritable,
                                              CheckKind::TargetFolder, CheckKind::TargetWritable,
                                              CheckKind::TargetFolder});
        CHECK(plan.checks[4].root == kAppData);
        CHECK(plan.checks[5].failure == std::wstring(kUserFolderCreationFailed));
    }
    SUBCASE(
        "each check once, each file written once, though two installs share the per-user copy") {
        CHECK(checksOf(kLicense + L"\\server.key").size() == 1);
        CHECK(plan.saves.size() == 6);
        CHECK(Only(StepsOf(plan), L"copy").size() == 6);
    }
}

TEST_CASE("plan_update_all_users") {
    Facts facts = Machine();
    facts.allUsers = true;
    facts.appDataFolder.clear();
    facts.vendorFolders = {L"C:\\A\\X"};
    facts.revisions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 100;
    const auto profile = [](const wchar_t* sid, const wchar_t* folder,
                            ProfileFacts::Verdict verdict) {
        ProfileFacts made;
        made.sid = sid;
        made.folder = folder;
        made.appData = std::wstring(folder) + L"\\AppData\\Roaming";
        made.verdict = verdict;
        return made;
    };
    facts.profiles = {profile(L"S-1-5-21-1", L"C:\\Users\\ann", ProfileFacts::Verdict::Served),
                      profile(L"S-1-5-21-2", L"C:\\Users\\bob", ProfileFacts::Verdict::NoSuite),
                      profile(L"S-1-5-21-3", L"C:\\Users\\cy", ProfileFacts::Verdict::Served)};
    const std::wstring ann = L"C:\\Users\\ann\\AppData\\Roaming\\Marrowby\\MWClientServer";
    const std::wstring cy = L"C:\\Users\\cy\\AppData\\Roaming\\Marrowby\\MWClientServer";

    SUBCASE("each served profile's copy; Marrowby never made, links looked for from the profile") {
        const Plan plan = PlanUpdate(facts);
        const std::vector<Step> steps = Unstaged(plan);
        CHECK(Only(StepsOf(plan), L"copy") == Lines{L"copy C:\\A\\MWClientServer\\sslServer.tg",
                                                    L"copy " + ann + L"\\sslServer.tg",
                                                    L"copy " + cy + L"\\sslServer.tg"});
        CHECK(steps[6].folders == std::vector<std::wstring>{ann});
        CHECK(steps[6].linkRoot == L"C:\\Users\\ann");
        // A failure of that copy leaves ann out, one of the install fails the run.
        CHECK(steps[6].profile == L"C:\\Users\\ann");
        CHECK(steps[5].profile.empty());
        CHECK(plan.finishResult == RunResult::Finished);
    }
    SUBCASE("a user's catalogue install gets the combined file and that user's copy alone") {
        facts.profiles[1].catalogueInstall = L"C:\\Users\\bob\\Suite\\App";
        facts.profiles[1].catalogueTaken = true;
        facts.profiles[2].catalogueInstall = L"D:\\Elsewhere\\App";
        facts.profiles[2].catalogueReason = L"outside";
        const Plan plan = PlanUpdate(facts);
        const Lines copies = Only(StepsOf(plan), L"copy");
        CHECK(copies.size() == 4);
        CHECK(copies.back() == L"copy C:\\Users\\bob\\Suite\\MWClientServer\\sslServer.tg");
        CHECK(plan.finishResult == RunResult::LeftOut);
    }
    SUBCASE("a profile left out still leaves the others served, and the run ends with code 4") {
        facts.profiles[2].verdict = ProfileFacts::Verdict::LeftOut;
        const Plan plan = PlanUpdate(facts);
        CHECK(Only(StepsOf(plan), L"copy").size() == 2);
        CHECK(plan.finishResult == RunResult::LeftOut);
    }
}

TEST_CASE("plan_update_rerun") {
    Facts facts = Machine();
    facts.vendorFolders = {L"C:\\A\\X"};
    facts.revisions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 100;
    const std::wstring install = L"C:\\A\\MWClientServer\\sslServer.tg";
    const std::wstring user = kUser + L"\\sslServer.tg";

    SUBCASE("a file that holds its bytes already is copied but not saved first") {
        facts.current = {install};
        const Plan plan = PlanUpdate(facts, {true});
        CHECK(Only(StepsOf(plan), L"copy").size() == 2);
        REQUIRE(plan.saves.size() == 1);
        CHECK(plan.saves[0].path == user);
    }
    SUBCASE("with a switch, a machine already current: nothing stopped, written or started") {
        facts.current = {install, user};
        const Plan plan = PlanUpdate(facts, {true});
        CHECK(plan.alreadyCurrent);
        CHECK(plan.steps.empty());
        CHECK(plan.saves.empty());
        CHECK(plan.finishResult == RunResult::Finished);
    }
    SUBCASE("without one, the suite is stopped and started as ever") {
        facts.current = {install, user};
        const Plan plan = PlanUpdate(facts);
        CHECK_FALSE(plan.alreadyCurrent);
        CHECK(Only(StepsOf(plan), L"stop").size() == 3);
        CHECK(plan.saves.empty());
    }
    SUBCASE("a newer program is a change") {
        facts.current = {install, user};
        facts.folders = {L"C:\\A\\MWClientServer"};
        facts.newer = {L"C:\\A\\MWClientServer\\MWSealService.exe"};
        CHECK_FALSE(PlanUpdate(facts, {true}).alreadyCurrent);
    }
    SUBCASE("nothing installed is no current machine") {
        facts.vendorFolders.clear();
        CHECK_FALSE(PlanUpdate(facts, {true}).alreadyCurrent);
    }
}

TEST_CASE("plan_update_payload_refusals") {
    Facts facts = Machine();
    facts.vendorFolders = {L"C:\\A\\X"};
    facts.revisions[L"C:\\A\\MWClientServer\\MWClientServer.exe"] = 99; // the key pair
    facts.now = 1800000000;                                             // 2027-01-15
    const std::wstring key = kLicense + L"\\server.key";
    const std::wstring pem = kLicense + L"\\server.pem";
    const std::wstring installed = L"C:\\A\\MWClientServer\\server.pem";
    const auto certificate = [](int64_t notBefore, int64_t notAfter) {
        PemFacts read;
        read.kind = PemKind::Certificate;
        read.notBefore = notBefore;
        read.notAfter = notAfter;
        return read;
    };
    const int64_t y2020 = 1577836800;
    const int64_t y2028 = 1830297600;
    const int64_t y2030 = 1893456000;
    struct Row {
        const char* what;
        std::map<std::wstring, PemFacts> pem;
        std::set<std::wstring> empty;
        KeyPairVerdict pair;
        bool allowOlder;
        std::wstring refusal;
    };
    const std::vector<Row> rows = {
        {"a matching, valid, later pair",
         {{pem, certificate(y2020, y2030)}, {installed, certificate(y2020, y2028)}},
         {},
         KeyPairVerdict::Matches,
         false,
         L""},
        {"opaque files, as the suite's own scenarios have them",
         {},
         {},
         KeyPairVerdict::NotChecked,
         false,
         L""},
        {"an empty key",
         {},
         {key},
         KeyPairVerdict::NotChecked,
         false,
         L"授权文件为空[" + key + L"], 未做任何修改"},
        {"an empty file only replaced is no refusal",
         {},
         {installed},
         KeyPairVerdict::NotChecked,
         false,
         L""},
        {"a key of another certificate",
         {},
         {},
         KeyPairVerdict::Mismatch,
         false,
         L"私钥[" + key + L"]与证书[" + pem + L"]不匹配, 未做任何修改"},
        {"expired",
         {{pem, certificate(y2020, y2020 + 86400)}},
         {},
         KeyPairVerdict::Matches,
         false,
         L"证书已过期[" + pem + L"], 有效期至2020-01-02, 未做任何修改"},
        {"not yet valid",
         {{pem, certificate(y2028, y2030)}},
         {},
         KeyPairVerdict::Matches,
         false,
         L"证书尚未生效[" + pem + L"], 生效日期2028-01-01, 未做任何修改"},
        {"older than the installed one",
         {{pem, certificate(y2020, y2028)}, {installed, certificate(y2020, y2030)}},
         {},
         KeyPairVerdict::Matches,
         false,
         L"证书[" + pem + L"]有效期至2028-01-01, 早于已安装证书[" + installed +
             L"]的2030-01-01, 未做任何修改; 确需替换请使用 /allowolder"},
        {"older than a user's copy",
         {{pem, certificate(y2020, y2028)}, {kUser + L"\\server.pem", certificate(y2020, y2030)}},
         {},
         KeyPairVerdict::Matches,
         false,
         L"证书[" + pem + L"]有效期至2028-01-01, 早于已安装证书[" + kUser +
             L"\\server.pem]的2030-01-01, 未做任何修改; 确需替换请使用 /allowolder"},
        {"older, allowed",
         {{pem, certificate(y2020, y2028)}, {installed, certificate(y2020, y2030)}},
         {},
         KeyPairVerdict::Matches,
         true,
         L""},
        {"as old as the installed one",
         {{pem, certificate(y2020, y2030)}, {installed, certificate(y2020, y2030)}},
         {},
         KeyPairVerdict::Matches,
         false,
         L""},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.what));
        facts.pem = row.pem;
        facts.emptyFiles = row.empty;
        facts.keyPair = row.pair;
        PlanOptions options;
        options.allowOlder = row.allowOlder;
        CHECK(PlanUpdate(facts, options).refusal == row.refusal);
    }
    CHECK(UtcDate(0) == L"1970-01-01");
    CHECK(UtcDate(951782400) == L"2000-02-29");
    CHECK(UtcDate(-1) == L"1969-12-31");
}
