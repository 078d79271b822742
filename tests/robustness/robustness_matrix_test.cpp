// The robustness matrix: whole runs of the real Quillmend.exe on machines that are awkward in
// one way each (a file held open, a read-only target, a per-user folder that is a file, registry
// values at their length limit, many keys, many installs, a program that cannot come back).
// Every run checks the box, the files and the programs, and becomes one row of the report.
#include "tests/robustness/matrix_support.h"

#include <shellapi.h>

using namespace qm::e2e;
using namespace qm::robustness;

namespace {

std::wstring SuccessBox() {
    return std::wstring(kSuccessCaption) + L": " + kSuccessText;
}

std::wstring BoxOf(const RunOutcome& outcome) {
    return outcome.boxes.empty() ? std::wstring()
                                 : outcome.boxes[0].caption + L": " + outcome.boxes[0].text;
}

std::wstring InstallCopyFailed(DWORD code) {
    return std::wstring(kErrorCaption) + L": " + kInstallCopyFailed +
           std::to_wstring(static_cast<int>(code));
}

std::wstring RestartFailed(const std::wstring& image, DWORD code) {
    return L"程序重新启动失败[" + image + L"], Errcode: " + std::to_wstring(static_cast<int>(code));
}

// An "App Path" of exactly `length` characters whose parent is `parent`: only the last part,
// which is never written to, is padded.
std::wstring AppPathOfLength(const std::wstring& parent, size_t length) {
    const size_t used = parent.size() + 1;
    REQUIRE(length > used);
    return parent + L"\\" + std::wstring(length - used, L'A');
}

std::string Describe(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : "; ") + part.first + " " + part.second;
    }
    return text;
}

} // namespace

TEST_CASE("matrix_deploy_target_held_open") {
    MatrixRow row("target held open by another program (no write sharing)",
                  "error box 授权文件替换到安装目录失败，Errcode: 32; files copied before it put "
                  "back; programs started again");
    Scenario scenario(L"held-open");
    scenario.PrepareTool({});
    // The 64-bit path is read first: A is handled, then B fails at its certificate.
    const SuiteInstall a = scenario.AddSuite(L"A", {100, 5, 5, true, true});
    const SuiteInstall b = scenario.AddSuite(L"B", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"A", a.app, false);
    scenario.RegisterVendor(L"B", b.app, true);
    const RunningSuite running = StartSuitePrograms(scenario, a);
    const FileHolder holder(b.client + L"\\server.pem");
    INFO(holder.problem());
    REQUIRE(holder.holding());
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    MATRIX_CHECK(row, BoxOf(outcome) == InstallCopyFailed(ERROR_SHARING_VIOLATION));
    // Held, it cannot be told from a file the suite holds until the suite is stopped.
    MATRIX_CHECK(row, IsInstalled(a.client + L"\\sslServer.tg"));
    MATRIX_CHECK(row, IsInstalled(b.client + L"\\server.key"));
    MATRIX_CHECK(row, IsInstalled(b.client + L"\\server.pem"));
    MATRIX_CHECK(row, !PathExists(scenario.userBase()));
    row.Files(Describe(
        {{"A sslServer.tg", FileState(a.client + L"\\sslServer.tg", kSslServerTg)},
         {"B server.key", FileState(b.client + L"\\server.key", kServerKey)},
         {"B server.pem (held)", FileState(b.client + L"\\server.pem", kServerPem)},
         {"per-user server.pem", FileState(scenario.userClient() + L"\\server.pem", kServerPem)}}));
    const std::string service =
        ProgramFate(scenario, running.service, a.client + L"\\" + kServiceExe, before);
    const std::string client =
        ProgramFate(scenario, running.client, a.client + L"\\" + kClientExe, before);
    row.Processes(service + "; " + client);
    MATRIX_CHECK(row, service == "MWSealService.exe ended, started again with \" -i\"");
    MATRIX_CHECK(row, client == "MWClientServer.exe ended, started again");
}

TEST_CASE("matrix_deploy_target_read_only") {
    Scenario scenario(L"read-only");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const std::wstring target = suite.client + L"\\sslServer.tg";

    // What this platform does with a copy over a read-only file, asked the same way: Windows
    // refuses with code 5; Wine lets root (the tests' user) overwrite it.
    const std::wstring probe = scenario.root() + L"\\probe-read-only";
    WriteBytes(probe, "probe");
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    const DWORD platformCode = CopyCode(scenario.licenseFolder() + L"\\sslServer.tg", probe);
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);

    MatrixRow row("read-only target sslServer.tg",
                  platformCode == 0
                      ? "copy over a read-only file allowed here (Wine, root): success box, file "
                        "replaced; on Windows: error box Errcode: 5"
                      : "error box 授权文件替换到安装目录失败，Errcode: " +
                            std::to_string(platformCode) + "; file kept");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (platformCode == 0) {
        MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
        MATRIX_CHECK(row, IsReplaced(target, kSslServerTg));
    } else {
        MATRIX_CHECK(row, BoxOf(outcome) == InstallCopyFailed(platformCode));
        MATRIX_CHECK(row, IsInstalled(target));
        MATRIX_CHECK(row, readOnly);
    }
    row.Files("sslServer.tg " + FileState(target, kSslServerTg) +
              (readOnly ? ", still read-only" : ", no longer read-only") +
              "; platform's own copy over a read-only file: " +
              (platformCode == 0 ? std::string("allowed")
                                 : "refused, code " + std::to_string(platformCode)));
    row.Processes(
        ProgramFate(scenario, running.service, suite.client + L"\\" + kServiceExe, before) + "; " +
        ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("matrix_user_folder_is_a_file") {
    Scenario scenario(L"user-file");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    REQUIRE(WriteBytes(scenario.userBase(), "a plain file"));
    const std::wstring subfolder = scenario.userClient();
    // The code for making a folder below a plain file, asked the same way.
    const std::wstring probeFile = scenario.root() + L"\\probe-file";
    WriteBytes(probeFile, "x");
    CreateDirectoryW((probeFile + L"\\MWClientServer").c_str(), nullptr);
    const DWORD code = GetLastError();

    MatrixRow row("per-user folder \"Marrowby\" is a plain file",
                  "error box 创建用户目录失败[...\\Marrowby\\MWClientServer], Errcode: " +
                      std::to_string(code) + " before anything is stopped; nothing written");
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    MATRIX_CHECK(row, code == ERROR_PATH_NOT_FOUND);
    MATRIX_CHECK(row, BoxOf(outcome) == std::wstring(kErrorCaption) + L": 创建用户目录失败[" +
                                            subfolder + L"], Errcode: " + std::to_wstring(code));
    MATRIX_CHECK(row, IsInstalled(suite.client + L"\\sslServer.tg"));
    MATRIX_CHECK(row, BytesOf(scenario.userBase()) == "a plain file");
    MATRIX_CHECK(row, !scenario.standIns().HasEnded(running.client, 300));
    row.Files("install sslServer.tg " + FileState(suite.client + L"\\sslServer.tg", kSslServerTg) +
              "; Marrowby " +
              (BytesOf(scenario.userBase()) == "a plain file" ? "still the same file" : "changed"));
    row.Processes(
        ProgramFate(scenario, running.service, suite.client + L"\\" + kServiceExe, before) + "; " +
        ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before));
    MATRIX_CHECK(row, scenario.standIns().Starts().size() == before);
}

TEST_CASE("matrix_app_path_length_limit") {
    SUBCASE("255 characters are read") {
        MatrixRow row("\"App Path\" of 255 characters (512 bytes with terminator)",
                      "read: success box, client folder handled, programs restarted");
        Scenario scenario(L"path255");
        scenario.PrepareTool({});
        const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
        const std::wstring appPath = AppPathOfLength(suite.root, 255);
        REQUIRE(appPath.size() == 255);
        scenario.RegisterVendor(L"Suite", appPath, false);
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        row.Observe(outcome);
        MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
        MATRIX_CHECK(row, IsReplaced(suite.client + L"\\sslServer.tg", kSslServerTg));
        row.Files("sslServer.tg " + FileState(suite.client + L"\\sslServer.tg", kSslServerTg));
        const std::string client =
            ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before);
        row.Processes(client);
        MATRIX_CHECK(row, client == "MWClientServer.exe ended, started again");
    }
    SUBCASE("256 characters are passed over") {
        MatrixRow row("\"App Path\" of 256 characters (514 bytes), the only install",
                      "passed over: success box, nothing copied, nothing stopped");
        Scenario scenario(L"path256");
        scenario.PrepareTool({});
        const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
        const std::wstring appPath = AppPathOfLength(suite.root, 256);
        REQUIRE(appPath.size() == 256);
        scenario.RegisterVendor(L"Suite", appPath, false);
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        row.Observe(outcome);
        MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
        MATRIX_CHECK(row, IsInstalled(suite.client + L"\\sslServer.tg"));
        MATRIX_CHECK(row, !PathExists(scenario.userBase()));
        MATRIX_CHECK(row, !scenario.standIns().HasEnded(running.client, 0));
        row.Files("sslServer.tg " + FileState(suite.client + L"\\sslServer.tg", kSslServerTg) +
                  "; per-user folder " + (PathExists(scenario.userBase()) ? "made" : "not made"));
        row.Processes(
            ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before));
    }
}

TEST_CASE("matrix_install_folder_names_outside_ascii") {
    struct Case {
        const char* scenario;
        const wchar_t* root;
        const wchar_t* app;
    };
    // Chinese names fit the ANSI code page 936; Hangul does not, which must not matter to a
    // program that keeps paths wide.
    const Case cases[] = {
        {"\"App Path\" with Chinese names (code page 936)", L"国密签章套件", L"客户端程序"},
        {"\"App Path\" with Hangul names (outside code page 936)", L"서명도구", L"앱"},
    };
    for (const Case& c : cases) {
        SUBCASE(c.scenario) {
            MatrixRow row(c.scenario, "success box; files replaced; programs restarted from "
                                      "their own folder");
            Scenario scenario(L"names");
            scenario.PrepareTool({});
            SuiteInstall suite = scenario.AddSuite(c.root, {99, 5, 5, true, true});
            const std::wstring app = suite.root + L"\\" + c.app;
            MakeFolders(app);
            scenario.RegisterVendor(c.root, app, false);
            const RunningSuite running = StartSuitePrograms(scenario, suite);
            const size_t before = scenario.StartsSoFar();

            const RunOutcome outcome = scenario.Run();
            row.Observe(outcome);
            MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
            MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.key", kServerKey));
            MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.pem", kServerPem));
            MATRIX_CHECK(row, IsReplaced(scenario.userClient() + L"\\server.key", kServerKey));
            row.Files("server.key " + FileState(suite.client + L"\\server.key", kServerKey) +
                      "; server.pem " + FileState(suite.client + L"\\server.pem", kServerPem));
            const std::string service =
                ProgramFate(scenario, running.service, suite.client + L"\\" + kServiceExe, before);
            const std::string client =
                ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before);
            row.Processes(service + "; " + client);
            MATRIX_CHECK(row, service == "MWSealService.exe ended, started again with \" -i\"");
            MATRIX_CHECK(row, client == "MWClientServer.exe ended, started again");
        }
    }
}

TEST_CASE("matrix_legacy_among_many_uninstall_keys") {
    MatrixRow row("200 Uninstall sub-keys, \"penloom 9.0\" among them (and a \"Penloom 9.0 SP1\")",
                  "success box; legacy ssl.key/key.pem replaced where present; SP1 install "
                  "untouched; client server restarted");
    Scenario scenario(L"many-keys");
    scenario.PrepareTool({});
    const LegacyInstall legacy = scenario.AddLegacy(L"Penloom9", {true, false});
    const LegacyInstall decoy = scenario.AddLegacy(L"PenloomSP1", {true, true});
    // Names on both sides of the legacy one in any enumeration order.
    for (int i = 0; i < 99; ++i) {
        scenario.RegisterUninstall(L"Alpha Filler " + std::to_wstring(1000 + i),
                                   scenario.root() + L"\\nowhere", false);
        scenario.RegisterUninstall(L"Zulu Filler " + std::to_wstring(1000 + i),
                                   scenario.root() + L"\\nowhere", false);
    }
    scenario.RegisterUninstall(L"penloom 9.0", legacy.folder, false);
    scenario.RegisterUninstall(L"Penloom 9.0 SP1", decoy.folder, false);
    const std::wstring elsewhere = scenario.root() + L"\\Elsewhere";
    const DWORD client = StartStandInFrom(scenario, elsewhere, kClientExe, 100);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
    MATRIX_CHECK(row, IsReplaced(legacy.folder + L"\\ssl.key", kServerKey));
    MATRIX_CHECK(row, IsReplaced(legacy.folder + L"\\key.pem", kServerPem));
    MATRIX_CHECK(row, !PathExists(legacy.root + L"\\ssl.key"));
    MATRIX_CHECK(row, IsInstalled(decoy.folder + L"\\ssl.key"));
    MATRIX_CHECK(row, IsInstalled(decoy.root + L"\\key.pem"));
    row.Files(Describe({{"ssl.key", FileState(legacy.folder + L"\\ssl.key", kServerKey)},
                        {"key.pem", FileState(legacy.folder + L"\\key.pem", kServerPem)},
                        {"parent ssl.key", FileState(legacy.root + L"\\ssl.key", kServerKey)},
                        {"SP1 ssl.key", FileState(decoy.folder + L"\\ssl.key", kServerKey)}}));
    const std::string fate = ProgramFate(scenario, client, elsewhere + L"\\" + kClientExe, before);
    row.Processes(fate);
    MATRIX_CHECK(row, fate == "MWClientServer.exe ended, started again");
}

TEST_CASE("matrix_twenty_vendor_installs") {
    MatrixRow row("20 vendor installs (10 per registry path, revisions 100 and 99)",
                  "success box; all 20 handled; programs restarted once");
    Scenario scenario(L"twenty");
    scenario.PrepareTool({});
    const std::vector<SuiteInstall> installs = AddVendorInstalls(scenario, 20);
    const RunningSuite running = StartSuitePrograms(scenario, installs[7]);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
    int handled = 0;
    for (size_t i = 0; i < installs.size(); ++i) {
        handled += IsHandled(installs[i], i) ? 1 : 0;
    }
    MATRIX_CHECK(row, handled == 20);
    row.Files(std::to_string(handled) + " of 20 installs handled");
    const std::string service =
        ProgramFate(scenario, running.service, installs[7].client + L"\\" + kServiceExe, before);
    const std::string client =
        ProgramFate(scenario, running.client, installs[7].client + L"\\" + kClientExe, before);
    row.Processes(service + "; " + client);
    MATRIX_CHECK(row, service == "MWSealService.exe ended, started again with \" -i\"");
    MATRIX_CHECK(row, client == "MWClientServer.exe ended, started again");
}

TEST_CASE("matrix_license_folder_key_pair_only") {
    MatrixRow row("LicenseFile with only server.key and server.pem; client server revision 99",
                  "success box; key pair replaced; programs and configurations not replaced");
    Scenario scenario(L"pair-only");
    LicenseSet set;
    set.sslServerTg = false;
    set.configFiles = false;
    scenario.PrepareTool(set);
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
    MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.key", kServerKey));
    MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.pem", kServerPem));
    MATRIX_CHECK(row, IsInstalled(suite.client + L"\\sslServer.tg"));
    MATRIX_CHECK(row, BytesOf(suite.client + L"\\" + kServiceExe) == BytesOf(StandInImage(5)));
    MATRIX_CHECK(row, BytesOf(suite.centre + L"\\" + kUpdaterExe) == BytesOf(StandInImage(5)));
    MATRIX_CHECK(row, IsInstalled(suite.client + L"\\" + kServiceConfig));
    row.Files(Describe(
        {{"server.key", FileState(suite.client + L"\\server.key", kServerKey)},
         {"server.pem", FileState(suite.client + L"\\server.pem", kServerPem)},
         {"MWSealService_config.ini",
          FileState(suite.client + L"\\" + kServiceConfig, kServiceConfig)},
         {"programs", BytesOf(suite.client + L"\\" + kServiceExe) == BytesOf(StandInImage(5))
                          ? "installed"
                          : "changed"}}));
    row.Processes(
        ProgramFate(scenario, running.service, suite.client + L"\\" + kServiceExe, before) + "; " +
        ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before));
}

TEST_CASE("matrix_restart_fails") {
    struct Case {
        const char* scenario;
        bool removeService;
        bool removeClient;
    };
    const Case cases[] = {
        {"client server's file removed after it was ended", false, true},
        {"both programs' files removed after they were ended", true, true},
    };
    for (const Case& c : cases) {
        SUBCASE(c.scenario) {
            MatrixRow row(c.scenario, c.removeService
                                          ? "error box naming both programs, Errcode: 2 each; "
                                            "key pair still replaced"
                                          : "error box 程序重新启动失败[...MWClientServer.exe], "
                                            "Errcode: 2; service restarted; key pair replaced");
            Scenario scenario(L"restart-fails");
            scenario.PrepareTool({});
            // Revision 99: the key pair is due whether or not the client server's file is
            // already gone when the run reads its version.
            const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
            scenario.RegisterVendor(L"Suite", suite.app, false);
            const RunningSuite running = StartSuitePrograms(scenario, suite);
            const size_t before = scenario.StartsSoFar();
            const std::wstring service = suite.client + L"\\" + kServiceExe;
            const std::wstring client = suite.client + L"\\" + kClientExe;

            // The run waits a second after ending the programs before it deploys and starts
            // them again; their files go as soon as they have ended.
            bool removed = true;
            RunOptions options;
            options.onHostWindow = [&](HWND) {
                const auto remove = [&](DWORD pid, const std::wstring& image) {
                    removed = scenario.standIns().HasEnded(pid, 10000) &&
                              DeleteFileW(image.c_str()) && removed;
                };
                if (c.removeService) {
                    remove(running.service, service);
                }
                remove(running.client, client);
            };
            const RunOutcome outcome = scenario.Run(options);
            row.Observe(outcome);
            REQUIRE(removed);
            std::wstring expected = std::wstring(kErrorCaption) + L": ";
            if (c.removeService) {
                expected += RestartFailed(service, SE_ERR_FNF) + L"\n";
            }
            expected += RestartFailed(client, SE_ERR_FNF);
            MATRIX_CHECK(row, BoxOf(outcome) == expected);
            MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.key", kServerKey));
            MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.pem", kServerPem));
            MATRIX_CHECK(row, IsReplaced(scenario.userClient() + L"\\server.pem", kServerPem));
            row.Files("server.key " + FileState(suite.client + L"\\server.key", kServerKey) +
                      "; server.pem " + FileState(suite.client + L"\\server.pem", kServerPem) +
                      "; per-user server.pem " +
                      FileState(scenario.userClient() + L"\\server.pem", kServerPem));
            const std::string serviceFate = ProgramFate(scenario, running.service, service, before);
            row.Processes(serviceFate + "; " +
                          ProgramFate(scenario, running.client, client, before));
            MATRIX_CHECK(row, serviceFate == (c.removeService
                                                  ? "MWSealService.exe ended, not started again"
                                                  : "MWSealService.exe ended, started again "
                                                    "with \" -i\""));
        }
    }
}

TEST_CASE("matrix_vendor_path_trailing_backslash_in_both_views") {
    MatrixRow row("same \"App Path\" with a trailing backslash in both registry paths",
                  "success box; install handled twice with the same result; programs restarted "
                  "once");
    Scenario scenario(L"both-views");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app + L"\\", false);
    scenario.RegisterVendor(L"Suite", suite.app + L"\\", true);
    const RunningSuite running = StartSuitePrograms(scenario, suite);
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    row.Observe(outcome);
    MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
    MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.key", kServerKey));
    MATRIX_CHECK(row, IsReplaced(suite.client + L"\\server.pem", kServerPem));
    MATRIX_CHECK(row, IsInstalled(suite.app + L"\\sslServer.tg"));
    MATRIX_CHECK(row, !PathExists(suite.app + L"\\MWClientServer"));
    row.Files(Describe({{"server.key", FileState(suite.client + L"\\server.key", kServerKey)},
                        {"server.pem", FileState(suite.client + L"\\server.pem", kServerPem)},
                        {"App\\MWClientServer",
                         PathExists(suite.app + L"\\MWClientServer") ? "made" : "not made"}}));
    const std::string service =
        ProgramFate(scenario, running.service, suite.client + L"\\" + kServiceExe, before);
    const std::string client =
        ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before);
    row.Processes(service + "; " + client);
    MATRIX_CHECK(row, service == "MWSealService.exe ended, started again with \" -i\"");
    MATRIX_CHECK(row, client == "MWClientServer.exe ended, started again");
}

TEST_CASE("matrix_license_folder_missing_or_read_only") {
    SUBCASE("no LicenseFile folder") {
        Scenario scenario(L"no-license");
        scenario.PrepareTool({});
        const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
        scenario.RegisterVendor(L"Suite", suite.app, false);
        REQUIRE(DeleteTree(scenario.licenseFolder()));
        const DWORD code = CopyCode(scenario.licenseFolder() + L"\\sslServer.tg",
                                    scenario.root() + L"\\probe-copy");
        MatrixRow row("no LicenseFile folder beside the program",
                      "error box 授权文件替换到安装目录失败，Errcode: " + std::to_string(code) +
                          "; nothing replaced; nothing restarted");
        const RunningSuite running = StartSuitePrograms(scenario, suite);
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        row.Observe(outcome);
        MATRIX_CHECK(row, code == ERROR_PATH_NOT_FOUND);
        MATRIX_CHECK(row, BoxOf(outcome) == InstallCopyFailed(code));
        MATRIX_CHECK(row, IsInstalled(suite.client + L"\\sslServer.tg"));
        MATRIX_CHECK(row, !PathExists(scenario.userBase()));
        row.Files("sslServer.tg " + FileState(suite.client + L"\\sslServer.tg", kSslServerTg) +
                  "; per-user folder " + (PathExists(scenario.userBase()) ? "made" : "not made"));
        row.Processes(
            ProgramFate(scenario, running.service, suite.client + L"\\" + kServiceExe, before) +
            "; " +
            ProgramFate(scenario, running.client, suite.client + L"\\" + kClientExe, before));
        MATRIX_CHECK(row, scenario.standIns().Starts().size() == before);
    }
    SUBCASE("read-only LicenseFile files, two installs sharing the per-user copy") {
        MatrixRow row("read-only LicenseFile files (as from a read-only medium), two installs",
                      "success box; every copy replaced and left writable");
        Scenario scenario(L"ro-license");
        scenario.PrepareTool({});
        const SuiteInstall a = scenario.AddSuite(L"A", {99, 5, 5, true, true});
        const SuiteInstall b = scenario.AddSuite(L"B", {99, 5, 5, true, true});
        scenario.RegisterVendor(L"A", a.app, false);
        scenario.RegisterVendor(L"B", b.app, false);
        for (const wchar_t* name : {kSslServerTg, kServerKey, kServerPem}) {
            const std::wstring source = scenario.licenseFolder() + L"\\" + name;
            SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
        }

        const RunOutcome outcome = scenario.Run();
        row.Observe(outcome);
        const auto writable = [](const std::wstring& path) {
            const DWORD attributes = GetFileAttributesW(path.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES &&
                   (attributes & FILE_ATTRIBUTE_READONLY) == 0;
        };
        const std::wstring userKey = scenario.userClient() + L"\\server.key";
        MATRIX_CHECK(row, BoxOf(outcome) == SuccessBox());
        MATRIX_CHECK(row, IsReplaced(a.client + L"\\server.key", kServerKey));
        MATRIX_CHECK(row, IsReplaced(b.client + L"\\server.pem", kServerPem));
        MATRIX_CHECK(row, IsReplaced(userKey, kServerKey));
        MATRIX_CHECK(row, writable(a.client + L"\\server.key"));
        MATRIX_CHECK(row, writable(b.client + L"\\server.pem"));
        MATRIX_CHECK(row, writable(userKey));
        row.Files(std::string("A server.key ") + FileState(a.client + L"\\server.key", kServerKey) +
                  (writable(a.client + L"\\server.key") ? " writable" : " READ-ONLY") +
                  "; per-user server.key " + FileState(userKey, kServerKey) +
                  (writable(userKey) ? " writable" : " READ-ONLY"));
        row.Processes("none running");
        for (const wchar_t* name : {kSslServerTg, kServerKey, kServerPem}) {
            const std::wstring source = scenario.licenseFolder() + L"\\" + name;
            SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}
