// Quillmend's entry: a hidden window whose first timer tick runs the update once.
#include "app/host_window.h"
#include "app/message_loop.h"
#include "app/process_security.h"
#include "app/run_plan.h"
#include "res/resource.h"

namespace {
constexpr TIMERPROC kTickAsMessage = nullptr;
// The outcome is told in the message box; the exit code is always 0.
constexpr int kExitCode = 0;
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*showCommand*/) {
    qm::RestrictDllSearchToSystemFolder();

    const HWND window = qm::CreateHostWindow(instance);
    if (!window) {
        return kExitCode;
    }
    SetTimer(window, qm::kRunTimerId, qm::kRunTimerIntervalMs, kTickAsMessage);
    // Before the loop, so the privilege is in place by the first tick.
    qm::EnableDebugPrivilege();

    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_QUILLMEND));
    qm::RunMessageLoop(accelerators);
    return kExitCode;
}
