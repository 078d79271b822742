// Quillmend's entry: a hidden window whose first timer tick runs the update once. Started
// without arguments it behaves as it always has (exit code 0); with arguments the exit code
// tells the outcome.
#include "app/command_line.h"
#include "run/exit_code.h"
#include "app/host_window.h"
#include "edges/log_observer.h"
#include "app/message_loop.h"
#include "app/process_security.h"
#include "log/run_log.h"
#include "platform/win_handles.h"
#include "run/run_plan.h"
#include "app/run_update.h"
#include "res/resource.h"

#include <shellapi.h>

#include <optional>
#include <vector>

namespace {

constexpr TIMERPROC kTickAsMessage = nullptr;
constexpr HWND kNoOwner = nullptr;
constexpr wchar_t kUsageCaption[] = L"Quillmend";

struct LocalFreeArgs {
    wchar_t** argv;
    ~LocalFreeArgs() { LocalFree(argv); }
};

// The arguments after the program's own name, split as Windows splits them.
std::vector<std::wstring> ArgumentsOf(const wchar_t* commandLine) {
    int count = 0;
    const LocalFreeArgs args{CommandLineToArgvW(commandLine, &count)};
    std::vector<std::wstring> arguments;
    for (int i = 1; args.argv && i < count; ++i) {
        arguments.emplace_back(args.argv[i]);
    }
    return arguments;
}

// Where this process runs, as far as it can be read: its window station's flags and its session.
qm::DesktopFacts ReadDesktopFacts() {
    qm::DesktopFacts facts;
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        facts.stationKnown = true;
        facts.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
    }
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        facts.sessionKnown = true;
        facts.session = session;
    }
    return facts;
}

// True when the process runs as LocalSystem (S-1-5-18), as deployment agents start it.
bool RunsAsLocalSystem() {
    qm::UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    DWORD needed = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 ||
        !GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &needed)) {
        return false;
    }
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                          WinLocalSystemSid) != FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*showCommand*/) {
    qm::RestrictDllSearchToSystemFolder();

    // GetCommandLineW, not the entry's argument: CommandLineToArgvW needs the program's name
    // first to split the rest as Windows does.
    const qm::ParsedCommandLine parsed = qm::ParseCommandLine(ArgumentsOf(GetCommandLineW()));
    const qm::Options& options = parsed.options;
    qm::RunContext context;
    context.options = options;
    context.asSystem = RunsAsLocalSystem();
    context.allUsers = options.allUsers || context.asSystem;
    context.showBoxes =
        qm::ShouldShowBoxes(options.quiet, qm::IsDesktopVisible(ReadDesktopFacts()));

    if (!parsed.understood || options.help) {
        if (context.showBoxes) {
            MessageBoxW(kNoOwner, qm::UsageText(parsed.offending).c_str(), kUsageCaption,
                        parsed.understood ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING);
        }
        return parsed.understood ? qm::kExitFinished : qm::kExitNotUnderstood;
    }

    // The log is opened before anything else happens, so a run never goes on without the
    // record it was asked to keep.
    std::optional<qm::RunLog> log;
    if (options.log) {
        log.emplace();
        std::wstring problem;
        if (!log->Open(options.logPath, problem)) {
            if (context.showBoxes) {
                qm::ShowErrorBox(problem);
            }
            return qm::kExitFailed;
        }
        context.log = &*log;
        qm::WriteRunStart(*log);
    }

    const HWND window = qm::CreateHostWindow(instance, context);
    if (!window) {
        return qm::ExitCodeFor(options.hasArguments, qm::RunResult::Failed);
    }
    SetTimer(window, qm::kRunTimerId, qm::kRunTimerIntervalMs, kTickAsMessage);
    // Before the loop, so the privilege is in place by the first tick.
    qm::EnableDebugPrivilege();

    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_QUILLMEND));
    qm::RunMessageLoop(accelerators);
    const int exitCode = qm::ExitCodeFor(options.hasArguments, context.result);
    if (log) {
        log->WriteExitCode(exitCode);
    }
    return exitCode;
}
