// The host window procedure on a real window of a class registered here (the run timer's own
// tick would start a real update run and is not sent).
#include "app/host_window.h"

#include "app/run_update.h"

#include "run/run_plan.h"
#include "res/resource.h"

#include <doctest/doctest.h>

using namespace qm;

namespace {

constexpr wchar_t kTestClass[] = L"QuillmendHostWindowTest";
constexpr UINT kLongInterval = 60000;

class TestWindow {
public:
    TestWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = HostWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kTestClass;
        RegisterClassExW(&windowClass); // a second registration fails harmlessly
        window_ =
            CreateWindowExW(0, kTestClass, L"test", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                            CW_USEDEFAULT, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        REQUIRE(window_ != nullptr);
    }
    ~TestWindow() {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
        DrainQuit();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND get() const { return window_; }

    // True, with its code, when a WM_QUIT is waiting; removes it.
    static bool TakeQuit(WPARAM& code) {
        MSG message{};
        if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
            return false;
        }
        code = message.wParam;
        return true;
    }

private:
    static void DrainQuit() {
        WPARAM ignored = 0;
        while (TakeQuit(ignored)) {
        }
    }

    HWND window_ = nullptr;
};

} // namespace

TEST_CASE("host_window_timer_other_identifier") {
    TestWindow window;
    REQUIRE(SetTimer(window.get(), kRunTimerId, kLongInterval, nullptr) != 0);
    CHECK(SendMessageW(window.get(), WM_TIMER, kRunTimerId + 1, 0) == 0);
    CHECK(SendMessageW(window.get(), WM_TIMER, 1, 0) == 0);
    // A window made without a run's context runs nothing, even on the run timer's tick.
    CHECK(SendMessageW(window.get(), WM_TIMER, kRunTimerId, 0) == 0);
    // The window and the run timer are still there.
    CHECK(IsWindow(window.get()));
    CHECK(KillTimer(window.get(), kRunTimerId));
}

TEST_CASE("host_window_command_dispatch") {
    TestWindow window;

    SUBCASE("exit destroys the window and posts quit with code 0") {
        CHECK(SendMessageW(window.get(), WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0) == 0);
        CHECK_FALSE(IsWindow(window.get()));
        WPARAM code = 99;
        REQUIRE(TestWindow::TakeQuit(code));
        CHECK(code == 0);
    }
    SUBCASE("an unknown command changes nothing") {
        CHECK(SendMessageW(window.get(), WM_COMMAND, MAKEWPARAM(999, 0), 0) == 0);
        CHECK(IsWindow(window.get()));
        WPARAM code = 0;
        CHECK_FALSE(TestWindow::TakeQuit(code));
    }
}

TEST_CASE("host_window_paint_validates") {
    TestWindow window;
    InvalidateRect(window.get(), nullptr, FALSE);
    CHECK(SendMessageW(window.get(), WM_PAINT, 0, 0) == 0);
    CHECK_FALSE(GetUpdateRect(window.get(), nullptr, FALSE));
}

TEST_CASE("host_window_create_without_resources") {
    // This test program has no class-name string: the class cannot be registered and no
    // window is made.
    RunContext context;
    CHECK(CreateHostWindow(GetModuleHandleW(nullptr), context) == nullptr);
}
