// What the robustness matrix and the measurement share: report rows, checks, descriptions.
#include "tests/robustness/matrix_support.h"

#include <iomanip>
#include <sstream>

namespace qm::robustness {

using namespace qm::e2e;

namespace {

constexpr wchar_t kReportVariable[] = L"QM_ROBUSTNESS_REPORT";
constexpr DWORD kHolderStartMs = 10000;

// Events fail with NULL, like process handles.
using UniqueEvent = UniqueHandle<KernelHandleTraits>;

// A table cell: one line, no column separators.
std::string Cell(const std::string& text) {
    std::string cell;
    for (char c : text) {
        if (c == '|') {
            cell += "\\|";
        } else if (c == '\n') {
            cell += "<br>";
        } else if (c != '\r') {
            cell += c;
        }
    }
    return cell;
}

std::wstring ReportPath() {
    wchar_t buffer[32768] = {};
    const DWORD length = GetEnvironmentVariableW(kReportVariable, buffer, 32768);
    return length > 0 && length < 32768 ? std::wstring(buffer) : std::wstring();
}

void AppendLine(const std::wstring& path, const std::string& line) {
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    const std::string bytes = line + "\n";
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string BaseName(const std::wstring& path) {
    return Narrow(path.substr(path.find_last_of(L'\\') + 1));
}

} // namespace

MatrixRow::MatrixRow(std::string scenario, std::string expected)
    : scenario_(std::move(scenario)), expected_(std::move(expected)) {}

MatrixRow::~MatrixRow() {
    const std::wstring report = ReportPath();
    if (report.empty()) {
        return;
    }
    // The run's code page heads the report once; the script puts it into the header.
    if (!PathExists(report)) {
        AppendLine(report, "codepage " + std::to_string(GetACP()));
    }
    const std::string verdict = failed_.empty() ? "pass" : "**FAIL**: " + failed_.front();
    AppendLine(report, "| " + Cell(scenario_) + " | " + Cell(expected_) + " | " + Cell(box_) +
                           " | " + Cell(files_) + " | " + Cell(processes_) + " | " + Cell(verdict) +
                           " | " + Cell(duration_) + " |");
}

void MatrixRow::Observe(const RunOutcome& outcome) {
    std::ostringstream duration;
    duration << std::fixed << std::setprecision(2);
    if (outcome.boxes.empty()) {
        box_ = "no box; " + Narrow(outcome.problem);
    } else {
        box_.clear();
        for (const BoxInfo& box : outcome.boxes) {
            box_ += (box_.empty() ? "" : " / ") + Narrow(box.caption) + ": " + Narrow(box.text);
        }
        duration << "box " << outcome.boxes.front().seconds << " s, ";
    }
    duration << "exit " << outcome.seconds << " s";
    duration_ = duration.str();
    MATRIX_CHECK(*this, outcome.exited);
    MATRIX_CHECK(*this, outcome.exitCode == 0);
    MATRIX_CHECK(*this, outcome.otherVisibleWindows == 0);
    MATRIX_CHECK(*this, outcome.boxes.size() == 1);
}

void MatrixRow::Record(bool held, const char* what) {
    if (!held) {
        failed_.emplace_back(what);
    }
}

std::string FileState(const std::wstring& path, const wchar_t* sourceName) {
    const std::string bytes = BytesOf(path);
    if (bytes == ReplacementContent(sourceName)) {
        return "replaced";
    }
    if (bytes == InstalledContent(path.substr(path.find_last_of(L'\\') + 1))) {
        return "installed";
    }
    return bytes == "<missing>" ? "missing" : "changed";
}

std::string ProgramFate(Scenario& scenario, DWORD pid, const std::wstring& image, size_t skip) {
    const bool ended = scenario.standIns().HasEnded(pid, 3000);
    const std::vector<StandInStart> starts = StartsAfter(scenario, image, skip, ended ? 1 : 0);
    std::string fate = BaseName(image) + (ended ? " ended" : " left running");
    if (starts.empty()) {
        return fate + ", not started again";
    }
    const std::wstring& line = starts.back().commandLine;
    const bool withI = line.size() >= 3 && line.compare(line.size() - 3, 3, L" -i") == 0;
    return fate + ", started again" + (withI ? " with \" -i\"" : "") +
           (starts.size() > 1 ? " (" + std::to_string(starts.size()) + " times)" : "");
}

std::vector<SuiteInstall> AddVendorInstalls(Scenario& scenario, int count) {
    std::vector<SuiteInstall> installs;
    for (int i = 0; i < count; ++i) {
        const std::wstring name = L"Suite" + std::to_wstring(i);
        const int revision = i % 2 == 0 ? 100 : 99;
        installs.push_back(scenario.AddSuite(name, {revision, 5, 5, true, true}));
        scenario.RegisterVendor(name, installs.back().app, i % 2 == 1);
    }
    return installs;
}

bool IsHandled(const SuiteInstall& install, size_t index) {
    const std::wstring& client = install.client;
    if (index % 2 == 0) {
        return IsReplaced(client + L"\\sslServer.tg", kSslServerTg) &&
               IsInstalled(client + L"\\server.key");
    }
    return IsReplaced(client + L"\\server.key", kServerKey) &&
           IsReplaced(client + L"\\server.pem", kServerPem) &&
           IsInstalled(client + L"\\sslServer.tg");
}

FileHolder::FileHolder(const std::wstring& path) {
    const std::wstring exe = ExeFolder() + L"\\qm_file_holder.exe";
    std::wstring commandLine = L"\"" + exe + L"\" \"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        problem_ = "the holder did not start: " + std::to_string(GetLastError());
        return;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    problem_ = "others could still write to the file";
    const std::wstring ready = L"qm_file_holder_" + std::to_wstring(info.dwProcessId);
    for (DWORD waited = 0; waited < kHolderStartMs; waited += 20) {
        if (UniqueEvent(OpenEventW(SYNCHRONIZE, FALSE, ready.c_str()))) {
            // Held: a writer is now refused as the suite's files would refuse the program.
            UniqueFile probe(CreateFileW(path.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            holding_ = !probe && GetLastError() == ERROR_SHARING_VIOLATION;
            if (holding_) {
                problem_.clear();
            }
            return;
        }
        if (WaitForSingleObject(process_.get(), 20) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process_.get(), &code);
            problem_ = "the holder ended with code " + std::to_string(code);
            return;
        }
    }
}

FileHolder::~FileHolder() {
    if (process_) {
        TerminateProcess(process_.get(), 0);
        WaitForSingleObject(process_.get(), 5000);
    }
}

DWORD CopyCode(const std::wstring& source, const std::wstring& target) {
    if (CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        return 0;
    }
    return GetLastError();
}

} // namespace qm::robustness
