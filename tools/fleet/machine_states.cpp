// The fleet rehearsal's machine states and their expected outcomes.
#include "tools/fleet/machine_states.h"

#include "tests/robustness/matrix_support.h"

namespace qm::fleet {

using namespace qm::e2e;

namespace {

constexpr wchar_t kVendorProduct[] = L"MARROWBY\\SealSuite";
constexpr int kBits64 = 64;
constexpr int kBits32 = 32;

std::wstring In(const std::wstring& folder, const wchar_t* name) {
    return folder + L"\\" + name;
}

// The suite's service and client server running from the install, as on a working machine.
struct Running {
    DWORD service = 0;
    DWORD client = 0;
    size_t before = 0;
};

Running StartSuite(Scenario& scenario, const SuiteInstall& suite, Layout& layout) {
    Running running;
    running.service = scenario.StartProgram(In(suite.client, kServiceExe));
    running.client = scenario.StartProgram(In(suite.client, kClientExe));
    if (running.service == 0 || running.client == 0) {
        layout.problem = "the suite's programs did not start";
    }
    running.before = scenario.StartsSoFar();
    return running;
}

// Ended by the run and started again from where they ran.
void ExpectRestarted(Verdict& verdict, Scenario& scenario, const SuiteInstall& suite,
                     const Running& running, bool service) {
    const std::wstring client = In(suite.client, kClientExe);
    verdict.Expect(scenario.standIns().HasEnded(running.client, 5000), "client server ended");
    verdict.Expect(!StartsAfter(scenario, client, running.before, 1).empty(),
                   "client server started again");
    if (service) {
        verdict.Expect(
            !StartsAfter(scenario, In(suite.client, kServiceExe), running.before, 1).empty(),
            "service started again");
    }
}

bool WriteCatalogue(const std::string& lead, const std::wstring& appPath) {
    const std::wstring folder = RoamingAppData() + L"\\MWInstall\\App";
    return MakeFolders(folder + L"\\SealComponent") &&
           WriteBytes(folder + L"\\common_ref.xml",
                      "<ref>\r\n  <Component ref=\"SealComponent;1.0\"/>\r\n</ref>\r\n") &&
           WriteBytes(folder + L"\\SealComponent\\components.xml",
                      lead + "<Setup>\r\n  <AppPath>" + Utf8(appPath) +
                          "</AppPath>\r\n</Setup>\r\n");
}

// The current suite as its 64-bit installer registers it; client server revision 100 takes the
// combined file.
Layout Suite64(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterAsInstaller(kVendorProduct, suite.app, kBits64);
    const Running running = StartSuite(scenario, suite, layout);
    layout.check = [&scenario, suite, running](Verdict& verdict) {
        verdict.Expect(IsReplaced(In(suite.client, kSslServerTg), kSslServerTg),
                       "sslServer.tg replaced");
        verdict.Expect(IsInstalled(In(suite.client, kServerKey)), "server.key kept");
        verdict.Expect(IsReplaced(In(scenario.userClient(), kSslServerTg), kSslServerTg),
                       "per-user sslServer.tg written");
        ExpectRestarted(verdict, scenario, suite, running, true);
    };
    return layout;
}

// One of the test certificates and keys (tests/data/certs), by name.
std::string Certs(const char* name) {
    const std::string path = std::string(QM_TEST_CERTS "/") + name; // ASCII alone
    return BytesOf(std::wstring(path.begin(), path.end()));
}

// Registered by a 32-bit installer, so 64-bit Windows keeps the key under WOW6432Node; client
// server revision 99 takes the key pair, a real one, over a certificate that expires sooner.
Layout SuiteWow6432(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
    if (!WriteBytes(In(scenario.licenseFolder(), kServerKey), Certs("rsa.key")) ||
        !WriteBytes(In(scenario.licenseFolder(), kServerPem), Certs("good.pem")) ||
        !WriteBytes(In(suite.client, kServerPem), Certs("older.pem"))) {
        layout.problem = "the certificates could not be laid out";
    }
    const std::wstring key = scenario.RegisterAsInstaller(kVendorProduct, suite.app, kBits32);
    if (key.find(L"WOW6432Node") == std::wstring::npos) {
        layout.problem = "the key did not land in the 32-bit view";
    }
    const Running running = StartSuite(scenario, suite, layout);
    layout.check = [&scenario, suite, running](Verdict& verdict) {
        verdict.Expect(BytesOf(In(suite.client, kServerKey)) == Certs("rsa.key"),
                       "server.key replaced");
        verdict.Expect(BytesOf(In(suite.client, kServerPem)) == Certs("good.pem"),
                       "server.pem replaced");
        verdict.Expect(IsInstalled(In(suite.client, kSslServerTg)), "sslServer.tg kept");
        ExpectRestarted(verdict, scenario, suite, running, true);
    };
    return layout;
}

// Recorded only by the installer's catalogue under roaming AppData.
Layout CatalogueOnly(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"CatSuite", {5, 5, 5, true, true});
    if (!WriteCatalogue("", suite.app)) {
        layout.problem = "the catalogue could not be written";
    }
    const Running running = StartSuite(scenario, suite, layout);
    layout.check = [&scenario, suite, running](Verdict& verdict) {
        verdict.Expect(IsReplaced(In(suite.client, kSslServerTg), kSslServerTg),
                       "sslServer.tg replaced");
        verdict.Expect(IsInstalled(In(suite.client, kServerKey)), "server.key kept");
        ExpectRestarted(verdict, scenario, suite, running, true);
    };
    return layout;
}

// The "penloom 9.0" and "Penloom 8.0" generations, as their 32-bit installers left them.
Layout Legacy(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const LegacyInstall nine = scenario.AddLegacy(L"Penloom9", {true, false});
    const LegacyInstall eight = scenario.AddLegacy(L"Penloom8", {true, false});
    scenario.RegisterAsInstaller(L"penloom 9.0", nine.folder, kBits32);
    scenario.RegisterAsInstaller(L"Penloom 8.0", eight.folder, kBits32);
    layout.check = [nine, eight](Verdict& verdict) {
        for (const LegacyInstall& install : {nine, eight}) {
            verdict.Expect(IsReplaced(In(install.folder, kLegacyKey), kServerKey),
                           Utf8(install.root) + ": ssl.key replaced");
            verdict.Expect(IsReplaced(In(install.folder, kLegacyPem), kServerPem),
                           Utf8(install.root) + ": key.pem replaced");
        }
    };
    return layout;
}

// No install of any generation; a client server runs from a folder nobody registered.
Layout NothingInstalled(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const std::wstring elsewhere = scenario.root() + L"\\Elsewhere";
    MakeFolders(elsewhere);
    CopyOver(StandInImage(100), In(elsewhere, kClientExe));
    const DWORD client = scenario.StartProgram(In(elsewhere, kClientExe));
    if (client == 0) {
        layout.problem = "the client server did not start";
    }
    layout.check = [&scenario, client](Verdict& verdict) {
        verdict.Expect(!scenario.standIns().HasEnded(client, 0), "client server left running");
        verdict.Expect(!PathExists(scenario.userBase()), "no per-user folder made");
    };
    return layout;
}

// Another program holds server.pem open without write sharing: the copy over it fails, and the
// run puts server.key back and starts the suite again.
Layout LockedTarget(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
    scenario.RegisterAsInstaller(kVendorProduct, suite.app, kBits64);
    const Running running = StartSuite(scenario, suite, layout);
    auto holder = std::make_shared<robustness::FileHolder>(In(suite.client, kServerPem));
    if (!holder->holding()) {
        layout.problem = "server.pem is not held: " + holder->problem();
    }
    layout.keepAlive = holder;
    layout.check = [&scenario, suite, running](Verdict& verdict) {
        verdict.Expect(IsInstalled(In(suite.client, kServerKey)), "server.key put back");
        verdict.Expect(IsInstalled(In(suite.client, kServerPem)), "held server.pem kept");
        verdict.Expect(!PathExists(scenario.userBase()), "no per-user folder left");
        ExpectRestarted(verdict, scenario, suite, running, true);
    };
    return layout;
}

// The catalogue's components.xml does not parse: the run stops before anything is touched.
Layout MalformedComponents(Scenario& scenario) {
    Layout layout;
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"CatSuite", {100, 5, 5, true, true});
    scenario.RegisterAsInstaller(kVendorProduct, suite.app, kBits64);
    if (!WriteCatalogue("Setup: ", suite.app)) {
        layout.problem = "the catalogue could not be written";
    }
    const Running running = StartSuite(scenario, suite, layout);
    layout.check = [&scenario, suite, running](Verdict& verdict) {
        verdict.Expect(!scenario.standIns().HasEnded(running.client, 500),
                       "client server left running");
        verdict.Expect(!scenario.standIns().HasEnded(running.service, 0), "service left running");
        verdict.Expect(IsInstalled(In(suite.client, kSslServerTg)), "sslServer.tg kept");
    };
    return layout;
}

// LicenseFile brings a "newer" service that cannot be started: deployed, not started again.
Layout RestartFails(Scenario& scenario) {
    Layout layout;
    LicenseSet set;
    set.serviceRevision = kUnrunnable;
    scenario.PrepareTool(set);
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterAsInstaller(kVendorProduct, suite.app, kBits64);
    const Running running = StartSuite(scenario, suite, layout);
    layout.check = [&scenario, suite, running](Verdict& verdict) {
        verdict.Expect(SameBytes(In(suite.client, kServiceExe), UnrunnableImage()),
                       "service replaced by the newer one");
        verdict.Expect(IsReplaced(In(suite.client, kSslServerTg), kSslServerTg),
                       "sslServer.tg replaced");
        ExpectRestarted(verdict, scenario, suite, running, false);
    };
    return layout;
}

} // namespace

const std::vector<MachineState>& MachineStates() {
    static const std::vector<MachineState> states = {
        {"suite-64", "current suite, 64-bit registry view", 0, Suite64},
        {"nothing", "nothing installed", 2, NothingInstalled},
        {"restart-fails", "newer service that cannot be started", 3, RestartFails},
        {"locked", "target server.pem held open by another program", 1, LockedTarget},
        {"malformed", "malformed components.xml in the catalogue", 1, MalformedComponents},
        {"suite-wow6432", "current suite, WOW6432Node (32-bit installer), RSA key pair", 0,
         SuiteWow6432},
        {"catalogue", "current suite in the installer's catalogue only", 0, CatalogueOnly},
        {"legacy", "\"penloom 9.0\" and \"Penloom 8.0\" generations", 0, Legacy},
    };
    return states;
}

} // namespace qm::fleet
