// A stopped program comes back with the rights it ran with: a client server the user's shell
// started with the limited half of the token comes back limited, an elevated service elevated
// and never through the user's own file associations; with no process left that carries the
// program's token it is not started, and the box says so.
#include <doctest/doctest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/run_checks.h"

using namespace qm::e2e;

namespace {

constexpr DWORD kNotFound = 1168; // ERROR_NOT_FOUND: no process carries the program's token
constexpr DWORD kStandInWaitMs = 5000;

std::wstring ShellImage() {
    const std::wstring standIn = StandInImage(0);
    return standIn.substr(0, standIn.find_last_of(L'\\')) + L"\\qm_standin_shell.exe";
}

// A program started with the limited half of this process's token; ended when it goes.
class LimitedProgram {
public:
    explicit LimitedProgram(const std::wstring& commandLine) {
        qm::UniqueToken own;
        REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put()));
        TOKEN_LINKED_TOKEN linked{};
        DWORD size = 0;
        REQUIRE(GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof linked, &size));
        const qm::UniqueToken limited(linked.LinkedToken);
        qm::UniqueToken primary;
        REQUIRE(DuplicateTokenEx(limited.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                 TokenPrimary, primary.put()));
        std::wstring line = commandLine;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        REQUIRE(CreateProcessAsUserW(primary.get(), nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &started));
        CloseHandle(started.hThread);
        process_.reset(started.hProcess);
        pid_ = started.dwProcessId;
    }
    ~LimitedProgram() { End(); }
    LimitedProgram(const LimitedProgram&) = delete;
    LimitedProgram& operator=(const LimitedProgram&) = delete;
    void End() {
        if (process_) {
            TerminateProcess(process_.get(), 0);
            WaitForSingleObject(process_.get(), kStandInWaitMs);
            process_.reset();
        }
    }
    DWORD pid() const { return pid_; }

private:
    qm::UniqueProcess process_;
    DWORD pid_ = 0;
};

// The elevation type of a running process's token (2 full, 3 limited), 0 when unreadable.
int ElevationTypeOf(DWORD pid) {
    const qm::UniqueProcess process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    qm::UniqueToken token;
    if (!process || !OpenProcessToken(process.get(), TOKEN_QUERY, token.put())) {
        return 0;
    }
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)
               ? static_cast<int>(type)
               : 0;
}

// A program started with the user's own environment has no QM_STANDIN_LOG and logs beside
// itself: the starts of `image` from either log, after the first `skip` of the shared one.
std::vector<DWORD> RestartsOf(Scenario& scenario, const std::wstring& image, size_t skip,
                              size_t expected) {
    std::vector<DWORD> pids;
    for (const StandInStart& start : StartsAfter(scenario, image, skip, expected)) {
        pids.push_back(start.pid);
    }
    const std::string path = Utf8(image);
    std::istringstream beside(
        BytesOf(image.substr(0, image.find_last_of(L'\\')) + L"\\standin.log"));
    for (std::string line; std::getline(beside, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0 && line.compare(tab + 1, path.size(), path) == 0 &&
            line.find_first_not_of("0123456789") == tab) {
            pids.push_back(static_cast<DWORD>(std::stoul(line.substr(0, tab))));
        }
    }
    return pids;
}

bool IsGone(DWORD pid) {
    const qm::UniqueProcess process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return !process || WaitForSingleObject(process.get(), kStandInWaitMs) == WAIT_OBJECT_0;
}

// Programs the run started that the shared log does not know of, ended however the test ends.
struct EndsAtExit {
    std::vector<DWORD> pids;
    ~EndsAtExit() {
        for (DWORD pid : pids) {
            const qm::UniqueProcess process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
            if (process) {
                TerminateProcess(process.get(), 0);
            }
        }
    }
};

// Keys under HKEY_CURRENT_USER\Software\Classes that a standard user may write, each holding a
// command that starts `command`; removed however the test ends.
class PlantedAssociations {
public:
    explicit PlantedAssociations(const std::wstring& command) {
        Remove(); // left over from a test that died
        Set(L"Software\\Classes\\.exe", L"qmplantedfile");
        Set(L"Software\\Classes\\qmplantedfile\\shell\\open\\command", command);
        Set(L"Software\\Classes\\exefile\\shell\\open\\command", command);
    }
    ~PlantedAssociations() { Remove(); }
    PlantedAssociations(const PlantedAssociations&) = delete;
    PlantedAssociations& operator=(const PlantedAssociations&) = delete;

private:
    static void Remove() {
        for (const wchar_t* key : {L"Software\\Classes\\.exe", L"Software\\Classes\\qmplantedfile",
                                   L"Software\\Classes\\exefile"}) {
            RegDeleteTreeW(HKEY_CURRENT_USER, key);
        }
    }
    static void Set(const wchar_t* keyPath, const std::wstring& value) {
        qm::UniqueRegKey key;
        REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                key.put(), nullptr) == ERROR_SUCCESS);
        REQUIRE(RegSetValueExW(
                    key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
    }
};

// Waits until the shell's child has logged its start; its id.
DWORD ClientStartedBy(Scenario& scenario, const std::wstring& image, size_t skip) {
    const auto starts = StartsAfter(scenario, image, skip, 1);
    REQUIRE(starts.size() == 1);
    return starts[0].pid;
}

} // namespace

TEST_CASE("e2e_restart_rights_as_they_ran") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"restart-rights");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const std::wstring clientImage = suite.client + L"\\" + kClientExe;
    const std::wstring serviceImage = suite.client + L"\\" + kServiceExe;
    const DWORD service = scenario.StartProgram(serviceImage);
    REQUIRE(ElevationTypeOf(service) == 2);

    SUBCASE("the shell alive: the client server comes back limited, the service full") {
        LimitedProgram shell(L"\"" + ShellImage() + L"\" \"" + clientImage + L"\"");
        const DWORD client = ClientStartedBy(scenario, clientImage, scenario.StartsSoFar());
        REQUIRE(ElevationTypeOf(client) == 3);
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        CheckSuccessBox(outcome);
        const EndsAtExit clients{RestartsOf(scenario, clientImage, before, 1)};
        const EndsAtExit services{RestartsOf(scenario, serviceImage, before, 1)};
        REQUIRE(clients.pids.size() == 1);
        REQUIRE(services.pids.size() == 1);
        CHECK(ElevationTypeOf(clients.pids[0]) == 3);
        CHECK(ElevationTypeOf(services.pids[0]) == 2);
    }
    SUBCASE("two users' client servers, each from its own shell: both come back limited") {
        LimitedProgram first(L"\"" + ShellImage() + L"\" \"" + clientImage + L"\"");
        ClientStartedBy(scenario, clientImage, scenario.StartsSoFar());
        LimitedProgram second(L"\"" + ShellImage() + L"\" \"" + clientImage + L"\"");
        ClientStartedBy(scenario, clientImage, scenario.StartsSoFar());
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        CheckSuccessBox(outcome);
        const EndsAtExit clients{RestartsOf(scenario, clientImage, before, 2)};
        const EndsAtExit services{RestartsOf(scenario, serviceImage, before, 1)};
        REQUIRE(clients.pids.size() == 2);
        CHECK(ElevationTypeOf(clients.pids[0]) == 3);
        CHECK(ElevationTypeOf(clients.pids[1]) == 3);
        INFO("the elevated service is started once, as before");
        CHECK(services.pids.size() == 1);
    }
    SUBCASE("the shell gone: the client server stays stopped and the box names it") {
        LimitedProgram shell(L"\"" + ShellImage() + L"\" \"" + clientImage + L"\"");
        const DWORD client = ClientStartedBy(scenario, clientImage, scenario.StartsSoFar());
        shell.End();
        const size_t before = scenario.StartsSoFar();

        const RunOutcome outcome = scenario.Run();
        CheckEnded(outcome);
        INFO("box text: " << Narrow(outcome.boxes[0].text));
        CHECK(outcome.boxes[0].caption == kErrorCaption);
        CHECK(outcome.boxes[0].text ==
              L"程序重新启动失败[" + clientImage + L"], Errcode: " + std::to_wstring(kNotFound));
        CHECK(IsGone(client));
        const EndsAtExit clients{RestartsOf(scenario, clientImage, before, 0)};
        CHECK(clients.pids.empty());
        INFO("the service, elevated, is started again as before");
        const EndsAtExit services{RestartsOf(scenario, serviceImage, before, 1)};
        CHECK(services.pids.size() == 1);
    }
}

TEST_CASE("e2e_restart_rights_user_folder_never_full") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"restart-user-folder");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    // A program of the suite's name that a standard user put in a folder of their own and
    // started, with no shell of theirs around.
    const std::wstring folder = scenario.root() + L"\\Users\\user\\Downloads";
    MakeFolders(folder);
    const std::wstring image = folder + L"\\" + kClientExe;
    CopyOver(StandInImage(100), image);
    const size_t before = scenario.StartsSoFar();
    LimitedProgram planted(L"\"" + image + L"\"");
    REQUIRE(ClientStartedBy(scenario, image, before) == planted.pid());
    const size_t afterStart = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckEnded(outcome);
    INFO("box text: " << Narrow(outcome.boxes[0].text));
    CHECK(outcome.boxes[0].text ==
          L"程序重新启动失败[" + image + L"], Errcode: " + std::to_wstring(kNotFound));
    const EndsAtExit restarts{RestartsOf(scenario, image, afterStart, 0)};
    for (DWORD pid : restarts.pids) {
        CHECK(ElevationTypeOf(pid) != 2);
    }
}

TEST_CASE("e2e_restart_rights_elevated_not_through_associations") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"restart-associations");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", suite.app, false);
    const std::wstring serviceImage = suite.client + L"\\" + kServiceExe;
    REQUIRE(ElevationTypeOf(scenario.StartProgram(serviceImage)) == 2);
    // What the user's associations would start instead: a stand-in of their own, elevated.
    const std::wstring folder = scenario.root() + L"\\Users\\user\\Planted";
    MakeFolders(folder);
    const std::wstring planted = folder + L"\\planted.exe";
    CopyOver(StandInImage(5), planted);
    const PlantedAssociations associations(L"\"" + planted + L"\" \"%1\" %*");
    const size_t before = scenario.StartsSoFar();

    const RunOutcome outcome = scenario.Run();
    CheckSuccessBox(outcome);
    const auto services = StartsAfter(scenario, serviceImage, before, 1);
    REQUIRE(services.size() == 1);
    INFO("command line: " << Narrow(services[0].commandLine));
    CHECK(services[0].commandLine == L"\"" + serviceImage + L"\"  -i");
    CHECK(ElevationTypeOf(services[0].pid) == 2);
    const EndsAtExit plantedStarts{RestartsOf(scenario, planted, before, 0)};
    CHECK(plantedStarts.pids.empty());
}
