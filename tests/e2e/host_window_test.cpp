// The hidden host window of the real Quillmend.exe, driven from outside: a timer tick that is
// not the program's, the exit command before the first tick, and the About dialog, which may
// be open when the run starts inside its modal loop.
#include <doctest/doctest.h>

#include "tests/e2e/harness/scenario.h"

using namespace qm::e2e;

namespace {

constexpr WPARAM kOtherTimerId = 1;
constexpr WPARAM kAboutCommand = 104;
constexpr WPARAM kExitCommand = 105;
constexpr wchar_t kAboutCaption[] = L"关于 Quillmend";

std::string Narrow(const std::wstring& text) {
    return Utf8(text);
}

bool IsInstalled(const std::wstring& path) {
    return BytesOf(path) == InstalledContent(path.substr(path.find_last_of(L'\\') + 1));
}

bool WaitHidden(HWND window, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 10) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

struct Installed {
    SuiteInstall suite;
    DWORD service = 0;
    DWORD client = 0;
};

Installed InstallRunningSuite(Scenario& scenario) {
    Installed installed;
    scenario.PrepareTool({});
    installed.suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
    scenario.RegisterVendor(L"Suite", installed.suite.app, false);
    installed.service = scenario.StartProgram(installed.suite.client + L"\\" + kServiceExe);
    installed.client = scenario.StartProgram(installed.suite.client + L"\\" + kClientExe);
    REQUIRE(installed.service != 0);
    REQUIRE(installed.client != 0);
    return installed;
}

} // namespace

TEST_CASE("e2e_host_timer_other_identifier") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"other-timer");
    const Installed installed = InstallRunningSuite(scenario);
    const size_t before = scenario.StartsSoFar();

    HWND host = nullptr;
    RunOptions options;
    options.onHostWindow = [&](HWND window) {
        host = window;
        for (int i = 0; i < 3; ++i) {
            PostMessageW(window, WM_TIMER, kOtherTimerId, 0);
        }
    };
    // While the run's box is open its modal loop dispatches to the host window: a foreign tick
    // arriving then must not start a second run either.
    options.onBox = [&](const BoxInfo&) {
        PostMessageW(host, WM_TIMER, kOtherTimerId, 0);
        Sleep(500);
    };
    const RunOutcome outcome = scenario.Run(options);

    INFO("harness: " << Narrow(outcome.problem));
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    CHECK(host != nullptr);
    REQUIRE(outcome.boxes.size() == 1);
    CHECK(outcome.boxes[0].text == kSuccessText);
    CHECK(outcome.otherVisibleWindows == 0);

    INFO("the real tick still ran the update once");
    CHECK(BytesOf(installed.suite.client + L"\\sslServer.tg") == ReplacementContent(kSslServerTg));
    CHECK(scenario.standIns().HasEnded(installed.service, 5000));
    Sleep(300);
    CHECK(
        scenario.standIns().StartsOf(installed.suite.client + L"\\" + kServiceExe, before).size() ==
        1);
}

TEST_CASE("e2e_host_exit_command_before_tick") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"exit-command");
    const Installed installed = InstallRunningSuite(scenario);
    const size_t before = scenario.StartsSoFar();

    bool posted = false;
    RunOptions options;
    options.onHostWindow = [&](HWND window) {
        posted = PostMessageW(window, WM_COMMAND, kExitCommand, 0) != FALSE;
    };
    const RunOutcome outcome = scenario.Run(options);

    INFO("harness: " << Narrow(outcome.problem));
    REQUIRE(posted);
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    CHECK(outcome.boxes.empty());
    CHECK(outcome.otherVisibleWindows == 0);

    INFO("nothing was stopped, written or started");
    CHECK_FALSE(scenario.standIns().HasEnded(installed.service, 0));
    CHECK_FALSE(scenario.standIns().HasEnded(installed.client, 0));
    CHECK(IsInstalled(installed.suite.client + L"\\sslServer.tg"));
    CHECK_FALSE(PathExists(scenario.userBase()));
    Sleep(300);
    CHECK(scenario.standIns().Starts().size() == before);
}

TEST_CASE("e2e_host_about_dialog") {
    REQUIRE(Scenario::ProgramAvailable());
    Scenario scenario(L"about");
    scenario.PrepareTool({});

    // How the dialog is ended, and the result code its procedure gets for it.
    UINT closeMessage = WM_COMMAND;
    WPARAM closeParameter = IDOK;
    SUBCASE("OK") {}
    SUBCASE("close button (Cancel)") {
        closeMessage = WM_CLOSE;
        closeParameter = 0;
    }

    HWND host = nullptr;
    HWND about = nullptr;
    std::wstring caption;
    std::vector<ChildInfo> children;
    bool hiddenAfterClose = false;
    RunOptions options;
    options.onHostWindow = [&](HWND window) {
        host = window;
        PostMessageW(window, WM_COMMAND, kAboutCommand, 0);
    };
    // The run may start inside the dialog's modal loop: its box and the dialog can be open
    // together. Only the dialog is taken here; the box is answered by the driver.
    options.onDialog = [&](HWND dialog) {
        const std::wstring text = WindowText(dialog);
        if (text != kAboutCaption) {
            return false;
        }
        about = dialog;
        caption = text;
        children = ChildrenOf(dialog);
        CHECK(GetWindow(dialog, GW_OWNER) == host);
        PostMessageW(dialog, closeMessage, closeParameter, 0);
        hiddenAfterClose = WaitHidden(dialog, 5000);
        return true;
    };
    const RunOutcome outcome = scenario.Run(options);

    INFO("harness: " << Narrow(outcome.problem));
    REQUIRE(about != nullptr);
    CHECK(caption == kAboutCaption);
    CHECK(hiddenAfterClose);
    REQUIRE(children.size() == 4);
    CHECK(children[0].className == L"Static");
    CHECK(children[1].text == L"Quillmend，1.0 版");
    CHECK(children[2].className == L"Static");
    CHECK(children[3].id == IDOK);
    CHECK(children[3].text == L"确定");

    INFO("the update run happened all the same, once");
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    REQUIRE(outcome.boxes.size() == 1);
    CHECK(outcome.boxes[0].caption == kSuccessCaption);
    CHECK(outcome.boxes[0].text == kSuccessText);
}
