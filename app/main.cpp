// Quillmend's entry: a hidden window whose first timer tick runs the update once. Started
// without arguments it behaves as it always has (exit code 0); with arguments the exit code
// tells the outcome.
#include "app/command_line.h"
#include "run/exit_code.h"
#include "app/host_window.h"
#include "edges/log_observer.h"
#include "edges/run_identity.h"
#include "fileops/file_hash.h"
#include "app/message_loop.h"
#include "app/process_security.h"
#include "log/run_log.h"
#include "platform/box_texts.h"
#include "platform/win_handles.h"
#include "record/record_file.h"
#include "record/run_record.h"
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

const wchar_t* ModeOf(const qm::Options& options) {
    if (options.restore) {
        return options.preview ? L"restore preview" : L"restore";
    }
    return options.check ? L"check" : options.preview ? L"preview" : L"run";
}

std::string HashOrEmpty(const std::wstring& path) {
    std::string hex;
    return qm::HashFile(path, hex) ? hex : std::string();
}

qm::RecordStart ReadRecordStart(const qm::RunContext& context,
                                const std::vector<std::wstring>& arguments) {
    const qm::RunIdentity identity = qm::ReadRunIdentity();
    qm::RecordStart start;
    start.mode = ModeOf(context.options);
    start.arguments = arguments;
    start.allUsers = context.allUsers;
    start.boxes = context.showBoxes;
    start.version = identity.version;
    start.account = identity.account;
    start.system = context.asSystem;
    start.elevated = identity.elevated;
    start.machine = identity.machine;
    start.start = qm::UtcNow();
    return start;
}

// The run's last words: its exit code in the log, and its record in place.
int Conclude(int exitCode, qm::RunLog* log, qm::RunRecord* record, qm::RecordFile& recordFile) {
    if (record) {
        std::wstring problem;
        if (!recordFile.Write(record->Finish(qm::UtcNow(), exitCode), problem) && log) {
            log->Write(problem);
        }
    }
    if (log) {
        log->WriteExitCode(exitCode);
    }
    return exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*showCommand*/) {
    qm::RestrictDllSearchToSystemFolder();

    // GetCommandLineW, not the entry's argument: CommandLineToArgvW needs the program's name
    // first to split the rest as Windows does.
    const std::vector<std::wstring> arguments = ArgumentsOf(GetCommandLineW());
    const qm::ParsedCommandLine parsed = qm::ParseCommandLine(arguments);
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

    // Where the record goes is made sure of first, and the log is opened before anything else
    // happens, so a run never goes on without the records it was asked to keep.
    qm::RecordFile recordFile;
    std::optional<qm::RunRecord> record;
    if (options.json) {
        std::wstring problem;
        if (!recordFile.Prepare(options.jsonPath, problem)) {
            if (context.showBoxes) {
                qm::ShowErrorBox(problem);
            }
            return qm::kExitFailed;
        }
        record.emplace(ReadRecordStart(context, arguments), HashOrEmpty);
        context.record = &*record;
    }
    std::optional<qm::RunLog> log;
    if (options.log) {
        log.emplace();
        std::wstring problem;
        if (!log->Open(options.logPath, problem)) {
            log.reset();
            if (context.showBoxes) {
                qm::ShowErrorBox(problem);
            }
            if (record) {
                record->Shown(problem, qm::kErrorCaption);
            }
            return Conclude(qm::kExitFailed, nullptr, context.record, recordFile);
        }
        context.log = &*log;
        qm::WriteRunStart(*log);
    }
    qm::RunLog* const logged = log ? &*log : nullptr;

    const HWND window = qm::CreateHostWindow(instance, context);
    if (!window) {
        return Conclude(qm::ExitCodeFor(options.hasArguments, qm::RunResult::Failed), logged,
                        context.record, recordFile);
    }
    SetTimer(window, qm::kRunTimerId, qm::kRunTimerIntervalMs, kTickAsMessage);
    // Before the loop, so the privilege is in place by the first tick.
    qm::EnableDebugPrivilege();

    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_QUILLMEND));
    qm::RunMessageLoop(accelerators);
    return Conclude(qm::ExitCodeFor(options.hasArguments, context.result), logged, context.record,
                    recordFile);
}
