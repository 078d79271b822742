// Runs for all users of the real Quillmend.exe: made-up ProfileList entries in the test prefix,
// each with its own profile folder, decide who gets the per-user copy and whose catalogue counts.
#include <doctest/doctest.h>

#include <map>
#include <string>

#include "tests/e2e/made_up_profile.h"
#include "tests/e2e/record_checks.h"
#include "tests/e2e/run_checks.h"
#include "tests/e2e/unix_link.h"

using namespace qm::e2e;

namespace {

RunOutcome RunForAllUsers(Scenario& scenario) {
    RunOptions options;
    options.arguments = L"/allusers /quiet /log:" + scenario.root() + L"\\qm.log";
    return scenario.Run(options);
}

} // namespace

TEST_CASE("e2e_all_users_profiles") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"all-users");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const MadeUpProfile ann(scenario, L"S-1-5-21-7-7-7-1001", L"ann", true);
    const MadeUpProfile bob(scenario, L"S-1-5-21-7-7-7-1002", L"bob", false);
    const MadeUpProfile temporary(scenario, L"S-1-5-21-7-7-7-1003", L"tmp", true, 0x0800);
    const MadeUpProfile backup(scenario, L"S-1-5-21-7-7-7-1004.bak", L"bak", true);
    const std::wstring log = scenario.root() + L"\\qm.log";
    REQUIRE(ann.made());
    REQUIRE(bob.made());
    REQUIRE(temporary.made());
    REQUIRE(backup.made());

    SUBCASE("each profile where the suite ran gets its copy, no other, nor the running account") {
        INFO("a check for all users first: not current, each profile's verdict in its record");
        RunOptions check;
        const std::wstring record = scenario.root() + L"\\check.json";
        check.arguments = L"/check /allusers /quiet /json:" + record;
        CHECK(scenario.Run(check).exitCode == 5);
        CHECK_FALSE(PathExists(ann.client()));
        const Json checked = RecordAt(record);
        CHECK(checked["options"]["allUsers"] == true);
        std::map<std::string, std::string> verdicts;
        for (const Json& profile : checked["profiles"]) {
            verdicts[profile["sid"]] = profile["verdict"];
        }
        CHECK(verdicts["S-1-5-21-7-7-7-1001"] == "served");
        CHECK(verdicts["S-1-5-21-7-7-7-1002"] == "no suite");
        CHECK(verdicts["S-1-5-21-7-7-7-1003"] == "not counted");
        CheckDocumented(checked);

        const RunOutcome outcome = RunForAllUsers(scenario);
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 0);
        CHECK(IsReplaced(suite.client + L"\\sslServer.tg", kSslServerTg));
        CHECK(IsReplaced(ann.client() + L"\\sslServer.tg", kSslServerTg));
        CHECK_FALSE(PathExists(bob.appData() + L"\\Marrowby"));
        CHECK_FALSE(PathExists(temporary.client()));
        CHECK_FALSE(PathExists(backup.client()));
        CHECK_FALSE(PathExists(scenario.userBase()));
        const std::string text = BytesOf(log);
        INFO("log: " << text);
        CHECK(text.find("mode: all users (/allusers)") != std::string::npos);
        CHECK(text.find("profile S-1-5-21-7-7-7-1001") != std::string::npos);
        CHECK(text.find(": served") != std::string::npos);
        CHECK(text.find("S-1-5-21-7-7-7-1002") != std::string::npos);
    }
    SUBCASE("a second entry for a profile folder already served is not served twice") {
        const MadeUpProfile again(scenario, L"S-1-5-21-7-7-7-1007", L"ann", true);
        REQUIRE(again.made());
        CHECK(RunForAllUsers(scenario).exitCode == 0);
        const std::string text = BytesOf(log);
        INFO("log: " << text);
        CHECK(text.find("S-1-5-21-7-7-7-1007") != std::string::npos);
        CHECK(text.find("the folder of S-1-5-21-7-7-7-1001") != std::string::npos);
    }
    SUBCASE("a link in one profile leaves that profile out, serves the rest, and ends with 4") {
        const MadeUpProfile cy(scenario, L"S-1-5-21-7-7-7-1005", L"cy", true);
        REQUIRE(cy.made());
        const std::wstring elsewhere = scenario.root() + L"\\Elsewhere";
        REQUIRE(MakeFolders(elsewhere));
        const UnixLink link(elsewhere, cy.client());
        REQUIRE(link.made());
        const MadeUpProfile dee(scenario, L"S-1-5-21-7-7-7-1006", L"dee", false);
        REQUIRE((dee.made() && WriteBytes(dee.appData() + L"\\Marrowby", "not a folder")));
        // A link at a file the copy would replace, in a folder that is no link.
        const MadeUpProfile eve(scenario, L"S-1-5-21-7-7-7-1008", L"eve", true);
        REQUIRE((eve.made() && MakeFolders(eve.client()) &&
                 WriteBytes(elsewhere + L"\\victim", "keep me")));
        const UnixLink fileLink(elsewhere + L"\\victim", eve.client() + L"\\sslServer.tg");
        REQUIRE(fileLink.made());
        const RunOutcome outcome = RunForAllUsers(scenario);
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 4);
        CHECK(IsReplaced(ann.client() + L"\\sslServer.tg", kSslServerTg));
        CHECK_FALSE(PathExists(elsewhere + L"\\sslServer.tg"));
        const std::string text = BytesOf(log);
        INFO("log: " << text);
        CHECK(BytesOf(elsewhere + L"\\victim") == "keep me");
        // Both links seen in the facts, before any check or step.
        for (const char* sid : {"1005", "1008"}) {
            const size_t line = text.find(std::string("profile S-1-5-21-7-7-7-") + sid);
            CHECK(text.find(": left out for safety: a link below the profile folder", line) <
                  text.find('\n', line));
        }
        CHECK(text.find("Marrowby folder cannot be read, Errcode 267") != std::string::npos);
    }
    SUBCASE("one user's file held by a program of theirs: that user left out, the rest stands") {
        const MadeUpProfile cy(scenario, L"S-1-5-21-7-7-7-1005", L"cy", true);
        REQUIRE(cy.made());
        REQUIRE(MakeFolders(ann.client()));
        const std::wstring held = ann.client() + L"\\sslServer.tg";
        REQUIRE(WriteBytes(held, "ann's own"));
        // Read with reads shared: the run can save it, but not replace it.
        const qm::UniqueFile holder(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(holder);
        RunOptions preview;
        preview.arguments = L"/allusers /preview /quiet";
        CHECK(scenario.Run(preview).exitCode == 4);
        const RunOutcome outcome = RunForAllUsers(scenario);
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 4);
        CHECK(IsReplaced(suite.client + L"\\sslServer.tg", kSslServerTg));
        CHECK(IsReplaced(cy.client() + L"\\sslServer.tg", kSslServerTg));
        CHECK(BytesOf(held) == "ann's own");
        const std::string text = BytesOf(log);
        INFO("log: " << text);
        CHECK(text.find(Utf8(ann.folder()) + ": left out for safety") != std::string::npos);
        // Found out before the stop, so nothing of ann's was tried.
        CHECK(text.find("copy failed") == std::string::npos);
    }
    SUBCASE("a user's catalogue counts inside their profile, and is left alone outside it") {
        const MadeUpProfile dee(scenario, L"S-1-5-21-7-7-7-1006", L"dee", true);
        REQUIRE(dee.made());
        const std::wstring own = dee.folder() + L"\\Suite";
        REQUIRE(MakeFolders(own + L"\\MWClientServer"));
        REQUIRE(
            WriteBytes(own + L"\\MWClientServer\\sslServer.tg", InstalledContent(kSslServerTg)));
        WriteCatalogue(L"SealComponent", SetupWithAppPath(own + L"\\App"), dee.appData());
        const SuiteInstall outside = scenario.AddSuite(L"Outside", {100, 5, 5, true, true});
        WriteCatalogue(L"SealComponent", SetupWithAppPath(outside.app), ann.appData());
        const RunOutcome outcome = RunForAllUsers(scenario);
        REQUIRE(outcome.exited);
        CHECK(outcome.exitCode == 4);
        CHECK(IsReplaced(own + L"\\MWClientServer\\sslServer.tg", kSslServerTg));
        CHECK(IsReplaced(dee.client() + L"\\sslServer.tg", kSslServerTg));
        CHECK(IsInstalled(outside.client + L"\\sslServer.tg"));
        const std::string text = BytesOf(log);
        INFO("log: " << text);
        CHECK(text.find("lies outside the user's profile") != std::string::npos);
    }
}
