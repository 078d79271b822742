// Demo of Quillmend on a sample installation, as an administrator would try it on a pilot
// machine: /preview, the run (with /log), the last lines of the log, the backup set's manifest,
// and /restore. The sample: two vendor installs (one needing the combined TLS file, one the key
// pair, in a Chinese-named folder), a "penloom 9.0" install, the suite's programs running, and a
// LicenseFile with a newer service. Writes report.md and a screenshot of each message box (BMP)
// into the folder given as the only argument.
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness/scenario.h"

using namespace qm::e2e;

namespace {

constexpr int kStandInRevisions[] = {5, 99, 100, 200};
constexpr size_t kLogLinesShown = 14;

// What a file holds, told by its content; `name` is the installed file's name (a saved copy in
// a backup set has a stored name of its own).
std::string Describe(const std::wstring& path, std::wstring name = {}) {
    std::string bytes;
    if (!ReadBytes(path, bytes)) {
        return "—";
    }
    if (name.empty()) {
        name = path.substr(path.find_last_of(L'\\') + 1);
    }
    if (bytes == InstalledContent(name)) {
        return "installed copy";
    }
    for (const wchar_t* source :
         {kSslServerTg, kServerKey, kServerPem, kServiceConfig, kUpdaterConfig}) {
        if (bytes == ReplacementContent(source)) {
            return "**new** (LicenseFile\\" + Utf8(source) + ")";
        }
    }
    for (int revision : kStandInRevisions) {
        if (bytes == BytesOf(StandInImage(revision))) {
            return "program, revision " + std::to_string(revision);
        }
    }
    return "other (" + std::to_string(bytes.size()) + " bytes)";
}

// Paths inside the sample installation, shortened to what follows its scratch folder.
std::string Relative(const Scenario& scenario, std::string text) {
    const std::string root = Utf8(scenario.root());
    for (size_t at = text.find(root); at != std::string::npos; at = text.find(root, at + 1)) {
        text.replace(at, root.size(), "…");
    }
    return text;
}

std::string Fixed(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

std::vector<std::string> LinesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::wstring Wide(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                        length);
    return text;
}

// %ProgramData%\Quillmend of the demo's own prefix: its log and its backup sets.
std::wstring OwnDataFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        return {};
    }
    return std::wstring(buffer) + L"\\Quillmend";
}

// The newest backup set (set names sort by time), or an empty string.
std::wstring NewestSet(const std::wstring& backups) {
    std::wstring newest;
    WIN32_FIND_DATAW found{};
    const qm::UniqueFind find(FindFirstFileW((backups + L"\\*").c_str(), &found));
    if (find) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L".." && name > newest) {
                newest = name;
            }
        } while (FindNextFileW(find.get(), &found));
    }
    return newest;
}

// The time the file's metadata last changed (a copy over it changes it); 0 when unknown.
ULONGLONG ChangeTimeOf(const std::wstring& path) {
    const qm::UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILE_BASIC_INFO info{};
    if (!file || !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &info, sizeof info)) {
        return 0;
    }
    return static_cast<ULONGLONG>(info.ChangeTime.QuadPart);
}

// The restarted programs are not the demo's children, so their end is read by id.
bool HasEnded(DWORD pid, DWORD waitMs) {
    const qm::UniqueProcess process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return !process || WaitForSingleObject(process.get(), waitMs) == WAIT_OBJECT_0;
}

// An install of the sample and how it is registered; `marker` is a file the run replaces in it.
struct DemoInstall {
    std::string name;
    std::string registration;
    std::wstring marker;
    ULONGLONG changedBefore = 0;
};

struct Program {
    std::wstring path;
    DWORD pid = 0; // 0: not running
};

// The sample installation and what the demo watches in it, across all its steps.
struct Pilot {
    explicit Pilot(Scenario& s) : scenario(s) {}
    Scenario& scenario;
    std::wstring output;
    std::vector<std::pair<std::wstring, std::wstring>> files; // label, path
    std::vector<Program> programs;
    std::vector<DemoInstall> installs;
    std::string report;
    bool ok = true;
};

void Track(Pilot& pilot, const std::wstring& label, const std::wstring& path) {
    pilot.files.emplace_back(label, path);
}

void TrackSuite(Pilot& pilot, const SuiteInstall& suite) {
    for (const wchar_t* name :
         {kSslServerTg, kServerKey, kServerPem, kServiceExe, kServiceConfig}) {
        Track(pilot, L"", suite.client + L"\\" + name);
    }
    Track(pilot, L"", suite.centre + L"\\" + kUpdaterExe);
    Track(pilot, L"", suite.app + L"\\" + kSslServerTg);
}

// The installs in the order the run wrote into them, read from when each one's marker file
// changed.
void ReportInstallOrder(Pilot& pilot) {
    std::vector<std::pair<ULONGLONG, const DemoInstall*>> handled;
    std::vector<const DemoInstall*> untouched;
    for (const DemoInstall& install : pilot.installs) {
        const ULONGLONG changed = ChangeTimeOf(install.marker);
        if (changed != 0 && changed != install.changedBefore) {
            handled.emplace_back(changed, &install);
        } else {
            untouched.push_back(&install);
        }
    }
    std::sort(handled.begin(), handled.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    pilot.report += "Installs, in the order the run handled them:\n\n"
                    "| # | install | registered |\n|---:|---|---|\n";
    int position = 0;
    for (const auto& entry : handled) {
        pilot.report += "| " + std::to_string(++position) + " | " + entry.second->name + " | " +
                        entry.second->registration + " |\n";
    }
    for (const DemoInstall* install : untouched) {
        pilot.report +=
            "| – | " + install->name + " (not written) | " + install->registration + " |\n";
    }
    pilot.report += "\n";
}

// Runs Quillmend.exe with `arguments`, photographs its box and reports the box and what changed
// in the files and programs. Marks the demo failed unless the run ended with exactly one box
// and the expected exit code.
void RunStep(Pilot& pilot, const std::string& title, const std::wstring& arguments,
             const std::wstring& screenshot, DWORD expectedCode, bool orderOfInstalls) {
    std::vector<std::string> before;
    for (const auto& file : pilot.files) {
        before.push_back(Describe(file.second));
    }
    for (DemoInstall& install : pilot.installs) {
        install.changedBefore = ChangeTimeOf(install.marker);
    }
    const size_t startsBefore = pilot.scenario.StartsSoFar();

    bool captured = false;
    RunOptions options;
    options.arguments = arguments;
    options.onBox = [&](const BoxInfo& box) {
        Sleep(300); // let the box paint before it is photographed
        captured = CaptureWindow(box.window, pilot.output + L"\\" + screenshot + L".bmp");
    };
    const RunOutcome outcome = pilot.scenario.Run(options);
    Sleep(1000); // restarted programs log their start a moment after it

    std::string& report = pilot.report;
    report += "## " + title + "\n\n`Quillmend.exe " + Utf8(arguments) + "`: ";
    const bool oneBox = outcome.boxes.size() == 1;
    if (oneBox) {
        report += "exit code " + std::to_string(outcome.exitCode) + ", box shown after " +
                  Fixed(outcome.boxes[0].seconds) + " s (Wine start-up included), screenshot " +
                  (captured ? "`" + Utf8(screenshot) + ".png`" : std::string("not captured")) +
                  ".\n\n```\n" + Utf8(outcome.boxes[0].caption) + "\n\n" +
                  Relative(pilot.scenario, Utf8(outcome.boxes[0].text)) + "\n```\n\n";
    } else {
        report += "unexpected: " + std::to_string(outcome.boxes.size()) + " message boxes; " +
                  Utf8(outcome.problem) + "\n\n";
    }
    if (!outcome.exited || !oneBox || outcome.exitCode != expectedCode) {
        pilot.ok = false;
    }
    if (orderOfInstalls) {
        ReportInstallOrder(pilot);
    }

    report += "| file | before | after |\n|---|---|---|\n";
    for (size_t i = 0; i < pilot.files.size(); ++i) {
        const std::string after = Describe(pilot.files[i].second);
        report += "| " + Utf8(pilot.files[i].first) + "`" +
                  Relative(pilot.scenario, Utf8(pilot.files[i].second)) + "` | " + before[i] +
                  " | " + (after == before[i] ? "unchanged" : after) + " |\n";
    }
    report += "\n| program | before | after |\n|---|---|---|\n";
    for (Program& program : pilot.programs) {
        const DWORD pidBefore = program.pid;
        const std::string was =
            program.pid ? "running (id " + std::to_string(program.pid) + ")" : "not running";
        std::string now = "not running";
        if (program.pid && !HasEnded(program.pid, 2000)) {
            now = "still running (id " + std::to_string(program.pid) + ")";
        } else {
            const auto restarts = pilot.scenario.standIns().StartsOf(program.path, startsBefore);
            program.pid = restarts.empty() ? 0 : restarts.back().pid;
            if (program.pid) {
                now = "ended, started again as `" +
                      Relative(pilot.scenario, Utf8(restarts.back().commandLine)) + "` (id " +
                      std::to_string(program.pid) + ")";
            } else if (pidBefore) {
                now = "ended, not started again";
            }
        }
        report += "| `" + Relative(pilot.scenario, Utf8(program.path)) + "` | " + was + " | " +
                  now + " |\n";
    }
    report += "\n";
}

// The last lines of the log the run wrote, beside the log's size before and after the run.
void ReportLog(Pilot& pilot, const std::wstring& log, size_t linesBefore) {
    std::string bytes;
    ReadBytes(log, bytes);
    const std::vector<std::string> lines = LinesOf(bytes);
    std::string& report = pilot.report;
    report += "## 3. The log\n\n`%ProgramData%\\Quillmend\\Quillmend.log`:\n\n"
              "| log | before the run | after the run |\n|---|---:|---:|\n| lines | " +
              std::to_string(linesBefore) + " | " + std::to_string(lines.size()) +
              " |\n\nIts last " + std::to_string(std::min(kLogLinesShown, lines.size())) +
              " lines:\n\n```\n";
    for (size_t i = lines.size() > kLogLinesShown ? lines.size() - kLogLinesShown : 0;
         i < lines.size(); ++i) {
        report += Relative(pilot.scenario, lines[i]) + "\n";
    }
    report += "```\n\n";
    if (lines.size() <= linesBefore) {
        pilot.ok = false;
    }
}

// The run's backup set: its manifest as written, and each line's saved copy (what the file
// held before the run) beside what the installation holds now.
void ReportManifest(Pilot& pilot, const std::wstring& backups) {
    std::string& report = pilot.report;
    const std::wstring set = NewestSet(backups);
    std::string bytes;
    if (set.empty() || !ReadBytes(backups + L"\\" + set + L"\\manifest.txt", bytes)) {
        report += "## 4. The backup set\n\nNo backup set with a manifest was found.\n\n";
        pilot.ok = false;
        return;
    }
    const std::vector<std::string> lines = LinesOf(bytes);
    report += "## 4. The backup set\n\n`%ProgramData%\\Quillmend\\Backups\\" + Utf8(set) +
              "\\manifest.txt`:\n\n```\n";
    for (const std::string& line : lines) {
        report += Relative(pilot.scenario, line) + "\n";
    }
    report += "```\n\n| file | the manifest says | saved copy (before) | installed now (after) "
              "|\n|---|---|---|---|\n";
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() != 5) {
            continue;
        }
        const std::wstring path = Wide(fields[4]);
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        const bool overwritten = fields[0] == "overwritten";
        report += "| `" + Relative(pilot.scenario, fields[4]) + "` | " +
                  (overwritten ? "overwritten, " + fields[1] + " bytes" : fields[0]) + " | " +
                  (overwritten ? Describe(backups + L"\\" + set + L"\\" + Wide(fields[3]), name)
                               : std::string("— (not there before)")) +
                  " | " + Describe(path) + " |\n";
    }
    report += "\n";
    if (lines.empty() || lines.back() != "finished") {
        pilot.ok = false;
    }
}

bool PilotDemo(const std::wstring& output, std::string& report) {
    // The demo's prefix is its own: start without an earlier demo's log and sets.
    const std::wstring ownData = OwnDataFolder();
    DeleteTree(ownData);
    const std::wstring log = ownData + L"\\Quillmend.log";

    Scenario scenario(L"demo");
    LicenseSet set;
    set.serviceRevision = 200;
    set.updaterRevision = 5;
    scenario.PrepareTool(set);
    const SuiteInstall a = scenario.AddSuite(L"SuiteA", {100, 5, 5, true, true});
    const SuiteInstall b = scenario.AddSuite(L"签章套件B", {99, 200, 5, true, true});
    const LegacyInstall legacy = scenario.AddLegacy(L"Penloom9", {true, true});
    // Each key as its installer writes it: the current suite's 64-bit installer, an older
    // 32-bit one (64-bit Windows redirects its key into WOW6432Node), the 32-bit legacy one.
    const std::wstring keyA = scenario.RegisterAsInstaller(L"MARROWBY\\SealSuite", a.app, 64);
    const std::wstring keyB = scenario.RegisterAsInstaller(L"MARROWBY\\SealSuiteB", b.app, 32);
    const std::wstring keyLegacy = scenario.RegisterAsInstaller(L"penloom 9.0", legacy.folder, 32);
    const auto registered = [](const char* installer, const std::wstring& key) {
        return std::string(installer) + " installer; key stored at `HKLM\\" + Utf8(key) + "`";
    };

    Pilot pilot(scenario);
    pilot.output = output;
    TrackSuite(pilot, a);
    TrackSuite(pilot, b);
    for (const std::wstring& folder : {legacy.folder, legacy.root}) {
        Track(pilot, L"", folder + L"\\" + kLegacyKey);
        Track(pilot, L"", folder + L"\\" + kLegacyPem);
    }
    for (const wchar_t* name : {kSslServerTg, kServerKey, kServerPem}) {
        Track(pilot, L"per-user ", scenario.userClient() + L"\\" + name);
    }
    for (const std::wstring& program :
         {a.client + L"\\" + kServiceExe, a.client + L"\\" + kClientExe,
          a.centre + L"\\" + kUpdaterExe}) {
        pilot.programs.push_back({program, scenario.StartProgram(program)});
    }
    pilot.installs = {{"`SuiteA`", registered("64-bit", keyA), a.client + L"\\" + kSslServerTg},
                      {"`签章套件B`", registered("32-bit", keyB), b.client + L"\\" + kServerKey},
                      {"`Penloom9` (\"penloom 9.0\")", registered("32-bit", keyLegacy),
                       legacy.folder + L"\\" + kLegacyKey}};

    pilot.report +=
        "Sample installation under `" + Utf8(scenario.root()) +
        "` (shown as `…`; Wine prefix, code page 936): two vendor installs (`SuiteA`, client "
        "server revision 100, registered by a 64-bit installer; `签章套件B`, revision 99, by a "
        "32-bit one), a \"penloom 9.0\" install (32-bit installer), the suite's three programs "
        "running from `SuiteA`, and a LicenseFile with a newer `MWSealService.exe` (revision "
        "200). The steps are those of a pilot machine: look first, run, read the log, check the "
        "backup, put it back.\n\n";
    RunStep(pilot, "1. Look first", L"/preview", L"messagebox-preview", 0, false);
    std::string logBefore;
    ReadBytes(log, logBefore);
    const size_t linesBefore = LinesOf(logBefore).size();
    RunStep(pilot, "2. The run", L"/log", L"messagebox", 0, true);
    ReportLog(pilot, log, linesBefore);
    ReportManifest(pilot, ownData + L"\\Backups");
    RunStep(pilot, "5. Put it back", L"/restore", L"messagebox-restore", 0, false);
    report += pilot.report;
    return pilot.ok;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmend_demo OUTPUT-FOLDER\n");
        return 2;
    }
    const std::wstring output = argv[1];
    MakeFolders(output);
    if (!Scenario::ProgramAvailable()) {
        std::fprintf(stderr, "Quillmend.exe is not built beside the demo\n");
        return 1;
    }
    std::string report = "# Quillmend demo\n\n";
    const bool ok = PilotDemo(output, report);
    WriteBytes(output + L"\\report.md", report);
    return ok ? 0 : 1;
}
