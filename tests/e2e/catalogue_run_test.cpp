// The update run of the real Quillmend.exe for an install that the suite installer's catalogue
// (roaming AppData\MWInstall\App) records.
#include <doctest/doctest.h>

#include <string>

#include "tests/e2e/run_checks.h"

using namespace qm::e2e;

TEST_CASE("e2e_catalogue_install_alone") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"catalogue");
    // A newer service in LicenseFile must not reach a catalogue install: it only gets the
    // combined TLS file.
    scenario.PrepareTool({true, true, true, 200, 200, true});
    const SuiteInstall suite = scenario.AddSuite(L"CatSuite", {5, 5, 5, true, true});
    WriteCatalogue(L"SealComponent", SetupWithAppPath(suite.app));
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    ReportFigures("catalogue install", outcome, 1);

    INFO("the combined file whatever the client server's revision (here 5)");
    CHECK(IsReplaced(suite.client + L"\\sslServer.tg", kSslServerTg));
    CHECK(IsInstalled(suite.client + L"\\server.key"));
    CHECK(IsInstalled(suite.client + L"\\server.pem"));
    CHECK(IsReplaced(scenario.userClient() + L"\\sslServer.tg", kSslServerTg));
    CHECK_FALSE(PathExists(scenario.userClient() + L"\\server.key"));

    INFO("no program is replaced for a catalogue install");
    CHECK(SameBytes(suite.client + L"\\MWSealService.exe", StandInImage(5)));
    CHECK(IsInstalled(suite.client + L"\\MWSealService_config.ini"));
    CHECK(SameBytes(suite.centre + L"\\MWSealCenterUpdate.exe", StandInImage(5)));

    INFO("stopped and started again like a registered install");
    CHECK(scenario.standIns().HasEnded(running.service, 5000));
    CHECK(scenario.standIns().HasEnded(running.client, 5000));
    CHECK(scenario.standIns().HasEnded(running.updater, 5000));
    const auto service = StartsAfter(scenario, suite.client + L"\\" + kServiceExe, before, 1);
    REQUIRE(service.size() == 1);
    CHECK(EndsWith(service[0].commandLine, L" -i"));
    CHECK(StartsAfter(scenario, suite.client + L"\\" + kClientExe, before, 1).size() == 1);
}

TEST_CASE("e2e_catalogue_hides_vendor_installs") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"catalogue-vendor");
    scenario.PrepareTool({});
    const SuiteInstall catalogued = scenario.AddSuite(L"CatSuite", {100, 5, 5, true, true});
    const SuiteInstall registered = scenario.AddSuite(L"RegSuite", {99, 5, 5, true, true});
    WriteCatalogue(L"SealComponent", SetupWithAppPath(catalogued.app));
    scenario.RegisterVendor(L"SealSuite", registered.app, false);

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);

    CHECK(IsReplaced(catalogued.client + L"\\sslServer.tg", kSslServerTg));
    INFO("the catalogue takes precedence: the registered install is left as it was");
    CHECK(IsInstalled(registered.client + L"\\server.key"));
    CHECK(IsInstalled(registered.client + L"\\server.pem"));
    CHECK(IsInstalled(registered.client + L"\\sslServer.tg"));
}

TEST_CASE("e2e_catalogue_malformed_components") {
    REQUIRE(Scenario::ProgramAvailable());
    std::string deep = "<Setup\">"; // rapidxml takes the quote as part of the name
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    struct Row {
        const wchar_t* tag;
        std::string lead; // before an otherwise good components.xml
        const wchar_t* box;
    };
    const Row rows[] = {
        {L"catalogue-bad", "Setup: ", L"expected <"},
        {L"catalogue-deep", deep, L"elements nested too deeply"},
    };
    for (const Row& row : rows) {
        const std::string expected = Narrow(row.box);
        CAPTURE(expected);
        Scenario scenario(row.tag);
        scenario.PrepareTool({});
        const SuiteInstall suite = scenario.AddSuite(L"CatSuite", {100, 5, 5, true, true});
        scenario.RegisterVendor(L"SealSuite", suite.app, false);
        WriteCatalogue(L"SealComponent", row.lead + SetupWithAppPath(suite.app));
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        CheckEnded(outcome);
        INFO("the reader's error text, before anything is stopped");
        CHECK(outcome.boxes[0].caption == kErrorCaption);
        CHECK(outcome.boxes[0].text == row.box);
        CHECK_FALSE(scenario.standIns().HasEnded(running.service, 500));
        CHECK_FALSE(scenario.standIns().HasEnded(running.client, 0));
        CHECK_FALSE(scenario.standIns().HasEnded(running.updater, 0));
        CHECK(IsInstalled(suite.client + L"\\sslServer.tg"));
        CHECK(StartsAfter(scenario, suite.client + L"\\" + kServiceExe, before, 0).empty());
    }
}
