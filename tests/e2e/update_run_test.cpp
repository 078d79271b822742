// The update run of the real Quillmend.exe, scenario by scenario: what the message box says,
// which files were replaced and which were left alone, and which programs were stopped and
// started again.
#include <doctest/doctest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/run_checks.h"
#include "tests/e2e/unix_link.h"
#include "tests/processes/unendable_program.h"

using namespace qm::e2e;

namespace {

// The error code Windows gives for copying a file into a folder that does not exist.
DWORD MissingFolderCopyCode(const std::wstring& scratch, const std::wstring& source) {
    const std::wstring target = scratch + L"\\no-such-folder\\file";
    CopyFileW(source.c_str(), target.c_str(), FALSE);
    return GetLastError();
}

} // namespace

TEST_CASE("e2e_run_program_not_ended") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"not-ended");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const std::wstring client = suite.client + L"\\" + kClientExe;
    const size_t started = scenario.StartsSoFar();
    const qm::test::UnendableProgram unendable(client);
    REQUIRE(StartsAfter(scenario, client, started, 1).size() == 1);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckEnded(outcome);
    INFO("box text: " << Narrow(outcome.boxes[0].text));
    CHECK(outcome.boxes[0].caption == kErrorCaption);
    CHECK(outcome.boxes[0].text == L"程序结束失败[" + client + L"], Errcode: 5");
    INFO("nothing is copied while the old key is still in memory");
    CHECK(IsInstalled(suite.client + L"\\" + kSslServerTg));
    CHECK_FALSE(PathExists(scenario.userClient() + L"\\" + kSslServerTg));
    CHECK_FALSE(unendable.EndsWithin(0));
    CHECK(StartsAfter(scenario, client, before, 0).empty());
}

TEST_CASE("e2e_run_two_vendor_installs") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"two-installs");
    scenario.PrepareTool({});
    // One client server new enough for the combined file, one just below the boundary, in a
    // folder whose name needs the Chinese code page.
    const SuiteInstall current = scenario.AddSuite(L"SuiteA", {100, 5, 5, true, true});
    const SuiteInstall older = scenario.AddSuite(L"签章套件B", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"SealSuite", current.app, false);
    scenario.RegisterVendor(L"SealSuiteB", older.app + L"\\", true);
    const RunningSuite running = StartSuitePrograms(scenario, current);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    ReportFigures("two vendor installs", outcome, 1);

    INFO("revision 100 receives the combined file only");
    CHECK(IsReplaced(current.client + L"\\sslServer.tg", kSslServerTg));
    CHECK(IsInstalled(current.client + L"\\server.key"));
    CHECK(IsInstalled(current.client + L"\\server.pem"));

    INFO("revision 99 (registered with a trailing backslash) receives the key pair only");
    CHECK(IsReplaced(older.client + L"\\server.key", kServerKey));
    CHECK(IsReplaced(older.client + L"\\server.pem", kServerPem));
    CHECK(IsInstalled(older.client + L"\\sslServer.tg"));

    INFO("the registered folders themselves and the programs are not written");
    CHECK(IsInstalled(current.app + L"\\sslServer.tg"));
    CHECK(IsInstalled(older.app + L"\\sslServer.tg"));
    CHECK(SameBytes(current.client + L"\\MWSealService.exe", StandInImage(5)));
    CHECK(IsInstalled(current.client + L"\\MWSealService_config.ini"));
    CHECK(SameBytes(current.centre + L"\\MWSealCenterUpdate.exe", StandInImage(5)));

    INFO("the per-user copy collects what both installs received");
    CHECK(IsReplaced(scenario.userClient() + L"\\sslServer.tg", kSslServerTg));
    CHECK(IsReplaced(scenario.userClient() + L"\\server.key", kServerKey));
    CHECK(IsReplaced(scenario.userClient() + L"\\server.pem", kServerPem));

    INFO("all three programs were ended");
    CHECK(scenario.standIns().HasEnded(running.service, 5000));
    CHECK(scenario.standIns().HasEnded(running.client, 5000));
    CHECK(scenario.standIns().HasEnded(running.updater, 5000));

    INFO("the service comes back with \" -i\", the client server without, the updater not");
    const auto service = StartsAfter(scenario, current.client + L"\\" + kServiceExe, before, 1);
    REQUIRE(service.size() == 1);
    CHECK(EndsWith(service[0].commandLine, L" -i"));
    CHECK(ParametersOf(service[0].commandLine).find_first_not_of(L' ') ==
          ParametersOf(service[0].commandLine).find(L"-i"));
    const auto client = StartsAfter(scenario, current.client + L"\\" + kClientExe, before, 1);
    REQUIRE(client.size() == 1);
    CHECK(ParametersOf(client[0].commandLine).find_first_not_of(L' ') == std::wstring::npos);
    CHECK(StartsAfter(scenario, current.centre + L"\\" + kUpdaterExe, before, 0).empty());
}

TEST_CASE("e2e_run_program_replacement_by_revision") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"programs");
    LicenseSet set;
    set.serviceRevision = 200;
    set.updaterRevision = 200;
    scenario.PrepareTool(set);
    const SuiteInstall older = scenario.AddSuite(L"Older", {100, 5, 5, true, true});
    const SuiteInstall same = scenario.AddSuite(L"Same", {100, 200, 200, true, true});
    // No version block on the client server, no service installed, no seal centre folder.
    const SuiteInstall bare = scenario.AddSuite(L"Bare", {0, kAbsent, kAbsent, true, false});
    scenario.RegisterVendor(L"Older", older.app, false);
    scenario.RegisterVendor(L"Same", same.app, false);
    scenario.RegisterVendor(L"Bare", bare.app, true);
    const RunningSuite running = StartSuitePrograms(scenario, older);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    ReportFigures("program replacement", outcome, 1);

    const std::wstring newService = scenario.licenseFolder() + L"\\" + kServiceExe;
    const std::wstring newUpdater = scenario.licenseFolder() + L"\\" + kUpdaterExe;

    INFO("a higher revision replaces each program together with its configuration");
    CHECK(SameBytes(older.client + L"\\MWSealService.exe", newService));
    CHECK(IsReplaced(older.client + L"\\MWSealService_config.ini", kServiceConfig));
    CHECK(SameBytes(older.centre + L"\\MWSealCenterUpdate.exe", newUpdater));
    CHECK(IsReplaced(older.centre + L"\\MWSealCenterUpdate.xml", kUpdaterConfig));

    INFO("an equal revision replaces neither the program nor its configuration");
    CHECK(SameBytes(same.client + L"\\MWSealService.exe", StandInImage(200)));
    CHECK(IsInstalled(same.client + L"\\MWSealService_config.ini"));
    CHECK(IsInstalled(same.centre + L"\\MWSealCenterUpdate.xml"));

    INFO("a program that is not installed is not added; a missing seal centre is not made");
    CHECK_FALSE(PathExists(bare.client + L"\\MWSealService.exe"));
    CHECK(IsInstalled(bare.client + L"\\MWSealService_config.ini"));
    CHECK_FALSE(PathExists(bare.centre));
    INFO("a client server without version information receives the key pair");
    CHECK(IsReplaced(bare.client + L"\\server.key", kServerKey));
    CHECK(IsInstalled(bare.client + L"\\sslServer.tg"));

    INFO("the service restarted is the replaced, newer program");
    CHECK(scenario.standIns().HasEnded(running.service, 5000));
    const auto service = StartsAfter(scenario, older.client + L"\\" + kServiceExe, before, 1);
    REQUIRE(service.size() == 1);
    CHECK(EndsWith(service[0].commandLine, L" -i"));
}

TEST_CASE("e2e_run_missing_client_folder") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"no-client-folder");
    LicenseSet set;
    set.updaterRevision = 200;
    scenario.PrepareTool(set);
    const SuiteInstall first = scenario.AddSuite(L"First", {100, 5, 5, true, true});
    const SuiteInstall broken = scenario.AddSuite(L"Broken", {100, 5, 5, false, true});
    // The 64-bit path is read before the WOW6432Node path: the broken install comes second.
    scenario.RegisterVendor(L"First", first.app, false);
    scenario.RegisterVendor(L"Broken", broken.app, true);
    const RunningSuite running = StartSuitePrograms(scenario, first);
    const size_t before = scenario.StartsSoFar();
    const DWORD expectedCode =
        MissingFolderCopyCode(scenario.root(), scenario.licenseFolder() + L"\\sslServer.tg");

    const RunOutcome outcome = scenario.Run();
    CheckEnded(outcome);
    ReportFigures("missing client folder", outcome, 1);
    INFO("box text: " << Narrow(outcome.boxes[0].text));
    CHECK(outcome.boxes[0].caption == kErrorCaption);
    CHECK(outcome.boxes[0].text ==
          std::wstring(kInstallCopyFailed) + std::to_wstring(static_cast<int>(expectedCode)));
    CHECK(expectedCode == ERROR_PATH_NOT_FOUND);

    INFO("found before anything was stopped: no install received anything");
    CHECK(IsInstalled(first.client + L"\\sslServer.tg"));
    CHECK(SameBytes(first.centre + L"\\MWSealCenterUpdate.exe", StandInImage(5)));
    CHECK(SameBytes(broken.centre + L"\\MWSealCenterUpdate.exe", StandInImage(5)));
    CHECK(IsInstalled(broken.centre + L"\\MWSealCenterUpdate.xml"));
    CHECK_FALSE(PathExists(broken.client));
    CHECK_FALSE(PathExists(scenario.userBase()));

    INFO("the programs were never stopped");
    CHECK_FALSE(scenario.standIns().HasEnded(running.service, 500));
    CHECK_FALSE(scenario.standIns().HasEnded(running.client, 0));
    CHECK_FALSE(scenario.standIns().HasEnded(running.updater, 0));
    CHECK(scenario.standIns().Starts().size() == before);

    INFO("the log names the folder that was missing");
    RunOptions logged;
    logged.arguments = L"/quiet /log:" + scenario.root() + L"\\qm.log";
    CHECK(scenario.Run(logged).exitCode == 1);
    const std::string log = BytesOf(scenario.root() + L"\\qm.log");
    INFO("log: " << log);
    CHECK(log.find("refused before anything was stopped: the folder to copy into is not there: " +
                   Narrow(broken.client) + ", Errcode 3") != std::string::npos);
}

TEST_CASE("e2e_run_missing_license_file") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"no-key");
    LicenseSet set;
    set.serverKey = false;
    scenario.PrepareTool(set);
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckEnded(outcome);
    ReportFigures("missing LicenseFile file", outcome, 1);
    INFO("box text: " << Narrow(outcome.boxes[0].text));
    CHECK(outcome.boxes[0].caption == kErrorCaption);
    CHECK(outcome.boxes[0].text == std::wstring(kInstallCopyFailed) + L"2");

    INFO("found before anything was stopped: the pair and the per-user folder are untouched");
    CHECK(IsInstalled(suite.client + L"\\server.key"));
    CHECK(IsInstalled(suite.client + L"\\server.pem"));
    CHECK_FALSE(PathExists(scenario.userBase()));

    CHECK_FALSE(scenario.standIns().HasEnded(running.service, 500));
    CHECK_FALSE(scenario.standIns().HasEnded(running.client, 0));
    CHECK(scenario.standIns().Starts().size() == before);
}

TEST_CASE("e2e_run_legacy_generations_with_current_suite") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"legacy-current");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    const LegacyInstall nine = scenario.AddLegacy(L"Penloom9", {true, true});
    const LegacyInstall eight = scenario.AddLegacy(L"Penloom8", {true, false});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    scenario.RegisterUninstall(L"penloom 9.0", nine.folder, false);
    scenario.RegisterUninstall(L"Penloom 8.0", eight.folder + L"\\", true);
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    ReportFigures("both legacy generations with the current suite", outcome, 3);

    INFO("the key pair arrives under the legacy names, in the folder and its parent");
    CHECK(IsReplaced(nine.folder + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(nine.folder + L"\\key.pem", kServerPem));
    CHECK(IsReplaced(nine.root + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(nine.root + L"\\key.pem", kServerPem));
    INFO("only where such a file was present (the 8.0 install has none in its parent)");
    CHECK(IsReplaced(eight.folder + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(eight.folder + L"\\key.pem", kServerPem));
    CHECK_FALSE(PathExists(eight.root + L"\\ssl.key"));
    CHECK_FALSE(PathExists(eight.root + L"\\key.pem"));
    CHECK_FALSE(PathExists(nine.folder + L"\\server.key"));

    INFO("the client server, stopped once by the current suite's branch, comes back once");
    CHECK(scenario.standIns().HasEnded(running.client, 5000));
    CHECK(StartsAfter(scenario, suite.client + L"\\" + kClientExe, before, 1).size() == 1);
    CHECK(StartsAfter(scenario, suite.client + L"\\" + kServiceExe, before, 1).size() == 1);
}

TEST_CASE("e2e_run_legacy_generations_alone") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"legacy-alone");
    scenario.PrepareTool({});
    const LegacyInstall nine = scenario.AddLegacy(L"Penloom9", {false, true});
    const LegacyInstall eight = scenario.AddLegacy(L"Penloom8", {true, true});
    // A name that matches by its parts, not by equality.
    scenario.RegisterUninstall(L"Penloom V9 Standard", nine.folder, true);
    scenario.RegisterUninstall(L"Penloom 8.0", eight.folder, false);
    // The suite's programs run from a folder no branch of the current suite knows.
    const std::wstring elsewhere = scenario.root() + L"\\Elsewhere";
    const DWORD client = StartStandInFrom(scenario, elsewhere, kClientExe, 100);
    const DWORD service = StartStandInFrom(scenario, elsewhere, kServiceExe, 5);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    ReportFigures("legacy generations alone", outcome, 2);

    CHECK_FALSE(PathExists(nine.folder + L"\\ssl.key"));
    CHECK(IsReplaced(nine.root + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(nine.root + L"\\key.pem", kServerPem));
    CHECK(IsReplaced(eight.folder + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(eight.root + L"\\key.pem", kServerPem));

    INFO("a legacy branch stops and restarts the client server, but not the service");
    CHECK(scenario.standIns().HasEnded(client, 5000));
    CHECK_FALSE(scenario.standIns().HasEnded(service, 0));
    CHECK(StartsAfter(scenario, elsewhere + L"\\" + kClientExe, before, 1).size() == 1);
    CHECK(StartsAfter(scenario, elsewhere + L"\\" + kServiceExe, before, 0).empty());
    INFO("the current suite's per-user folder is not made");
    CHECK_FALSE(PathExists(scenario.userBase()));
}

TEST_CASE("e2e_run_legacy_under_linked_parent") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"legacy-linked");
    scenario.PrepareTool({});
    const LegacyInstall nine = scenario.AddLegacy(L"Penloom9", {true, true});
    // The folder holding the install is a link the administrator made: it is trusted, and the
    // files below it are refreshed.
    const std::wstring linked = scenario.root() + L"\\Linked9";
    const UnixLink link(nine.root, linked);
    REQUIRE(link.made());
    scenario.RegisterUninstall(L"penloom 9.0", linked + L"\\Bin", true);

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    CHECK(IsReplaced(nine.folder + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(nine.root + L"\\ssl.key", kServerKey));
    CHECK(IsReplaced(nine.root + L"\\key.pem", kServerPem));
}

TEST_CASE("e2e_run_registry_views") {
    // Keys lie in the view they name, as 32- and 64-bit installers leave them on 64-bit
    // Windows. Installs A and B are sound, X lacks its client server folder (the run stops
    // there), L and M are legacy installs; '?' is an App Path too long to be read.
    struct ViewKey {
        bool wow6432;
        const wchar_t* name; // below the Uninstall key
        char install;
    };
    struct Row {
        const char* name;
        std::vector<ViewKey> keys;
        const char* handled;
        const char* untouched;
        bool stopsAtX;
    };
    const Row rows[] = {
        {"64-bit view only", {{false, L"MARROWBY\\Suite", 'A'}}, "A", "", false},
        {"WOW6432Node only", {{true, L"MARROWBY\\Suite", 'A'}}, "A", "", false},
        {"X in the WOW6432Node view ends the run before A's files are written",
         {{false, L"MARROWBY\\Good", 'A'}, {true, L"MARROWBY\\Broken", 'X'}},
         "",
         "A",
         true},
        {"the 64-bit view first: X there ends the run",
         {{false, L"MARROWBY\\Broken", 'X'}, {true, L"MARROWBY\\Good", 'A'}},
         "",
         "A",
         true},
        {"one sub-key name in both views, two installs",
         {{false, L"MARROWBY\\Suite", 'A'}, {true, L"MARROWBY\\Suite", 'B'}},
         "AB",
         "",
         false},
        {"penloom 9.0 in both views: the WOW6432Node hit wins",
         {{false, L"penloom 9.0", 'L'}, {true, L"penloom 9.0", 'M'}},
         "M",
         "L",
         false},
        {"Penloom 8.0: a 64-bit key that opens hides the WOW6432Node one",
         {{false, L"Penloom 8.0", '?'}, {true, L"Penloom 8.0", 'M'}},
         "",
         "M",
         false},
    };
    for (const Row& row : rows) {
        INFO("row: " << std::string(row.name));
        Scenario scenario(L"views");
        scenario.PrepareTool({});
        const SuiteInstall a = scenario.AddSuite(L"A", {});
        const SuiteInstall b = scenario.AddSuite(L"B", {});
        const SuiteInstall x = scenario.AddSuite(L"X", {100, 5, 5, false, true});
        const LegacyInstall l = scenario.AddLegacy(L"L", {});
        const LegacyInstall m = scenario.AddLegacy(L"M", {});
        // Each install's registered folder, and a file the run replaces when it handles it.
        struct Install {
            std::wstring folder;
            std::wstring marker;
            const wchar_t* source;
        };
        const std::map<char, Install> installs = {
            {'A', {a.app, a.client + L"\\sslServer.tg", kSslServerTg}},
            {'B', {b.app, b.client + L"\\sslServer.tg", kSslServerTg}},
            {'X', {x.app, x.client + L"\\sslServer.tg", kSslServerTg}},
            {'L', {l.folder, l.folder + L"\\ssl.key", kServerKey}},
            {'M', {m.folder, m.folder + L"\\ssl.key", kServerKey}},
            {'?', {std::wstring(300, L'?'), L"", kServerKey}},
        };
        const auto received = [&](char install) {
            const Install& entry = installs.at(install);
            return IsReplaced(entry.marker, entry.source);
        };
        for (const ViewKey& key : row.keys) {
            scenario.RegisterUninstall(key.name, installs.at(key.install).folder, key.wow6432);
        }

        const RunOutcome outcome = scenario.Run();
        CheckEnded(outcome);
        INFO("box text: " << Narrow(outcome.boxes[0].text));
        CHECK(outcome.boxes[0].caption == (row.stopsAtX ? kErrorCaption : kSuccessCaption));
        for (const char* install = row.handled; *install; ++install) {
            CHECK_MESSAGE(received(*install),
                          "install " << std::string(1, *install) << " received nothing");
        }
        for (const char* install = row.untouched; *install; ++install) {
            CHECK_MESSAGE(!received(*install),
                          "install " << std::string(1, *install) << " was written");
        }
    }
}

TEST_CASE("e2e_run_nothing_installed") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"nothing");
    scenario.PrepareTool({});
    const std::wstring elsewhere = scenario.root() + L"\\Elsewhere";
    const DWORD client = StartStandInFrom(scenario, elsewhere, kClientExe, 100);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    ReportFigures("nothing installed", outcome, 0);

    CHECK_FALSE(scenario.standIns().HasEnded(client, 0));
    Sleep(300);
    CHECK(scenario.standIns().Starts().size() == before);
    CHECK_FALSE(PathExists(scenario.userBase()));
}

TEST_CASE("e2e_run_restart_failure_reported") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"restart-fails");
    LicenseSet set;
    // A newer "program" that replaces the installed service but cannot be started.
    set.serviceRevision = kUnrunnable;
    scenario.PrepareTool(set);
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();
    const std::wstring service = suite.client + L"\\" + kServiceExe;

    const RunOutcome outcome = scenario.Run();
    CheckEnded(outcome);
    ReportFigures("restart failure", outcome, 1);
    INFO("box text: " << Narrow(outcome.boxes[0].text));
    CHECK(outcome.boxes[0].caption == kErrorCaption);
    CHECK(outcome.boxes[0].text.find(service) != std::wstring::npos);
    CHECK(outcome.boxes[0].text.find(suite.client + L"\\" + kClientExe) == std::wstring::npos);

    CHECK(SameBytes(service, UnrunnableImage()));
    CHECK(IsReplaced(suite.client + L"\\sslServer.tg", kSslServerTg));
    INFO("the run still went on to restart the client server");
    CHECK(scenario.standIns().HasEnded(running.service, 5000));
    CHECK(StartsAfter(scenario, suite.client + L"\\" + kClientExe, before, 1).size() == 1);
    CHECK(StartsAfter(scenario, service, before, 0).empty());
}
