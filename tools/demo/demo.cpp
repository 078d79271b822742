// Demo of Quillmend on a sample installation, in two runs. The first: two vendor installs (one
// needing the combined TLS file, one the key pair, in a Chinese-named folder), a "penloom 9.0"
// install, the suite's programs running, and a LicenseFile with a newer service. The second: an
// install that only the installer's catalogue records. Writes report.md and a screenshot of
// each run's message box (BMP) into the folder given as the only argument.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness/scenario.h"

using namespace qm::e2e;

namespace {

constexpr int kStandInRevisions[] = {5, 99, 100, 200};

struct TrackedFile {
    std::wstring label;
    std::wstring path;
    std::string before;
};

std::string Describe(const std::wstring& path) {
    std::string bytes;
    if (!ReadBytes(path, bytes)) {
        return "—";
    }
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
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
std::string Relative(const Scenario& scenario, std::wstring text) {
    for (size_t at = text.find(scenario.root()); at != std::wstring::npos;
         at = text.find(scenario.root(), at + 1)) {
        text.replace(at, scenario.root().size(), L"…");
    }
    return Utf8(text);
}

std::string Fixed(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
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

// An install of the sample and how it is registered; `marker` is a file the run replaces in it.
struct DemoInstall {
    std::string name;
    std::string registration;
    std::wstring marker;
    ULONGLONG changedBefore = 0;
};

struct DemoRun {
    std::string title;
    std::string description;
    std::wstring screenshot;
    int waits = 0;
    std::vector<TrackedFile> files;
    std::vector<std::wstring> programs;
    std::vector<DemoInstall> installs;
};

void Track(DemoRun& run, const std::wstring& label, const std::wstring& path) {
    run.files.push_back({label, path, Describe(path)});
}

void TrackSuite(DemoRun& run, const SuiteInstall& suite) {
    for (const wchar_t* name :
         {kSslServerTg, kServerKey, kServerPem, kServiceExe, kServiceConfig}) {
        Track(run, L"", suite.client + L"\\" + name);
    }
    Track(run, L"", suite.centre + L"\\" + kUpdaterExe);
    Track(run, L"", suite.app + L"\\" + kSslServerTg);
}

void TrackUserCopy(DemoRun& run, const Scenario& scenario) {
    for (const wchar_t* name : {kSslServerTg, kServerKey, kServerPem}) {
        Track(run, L"per-user ", scenario.userClient() + L"\\" + name);
    }
}

std::vector<std::wstring> SuitePrograms(const SuiteInstall& suite) {
    return {suite.client + L"\\" + kServiceExe, suite.client + L"\\" + kClientExe,
            suite.centre + L"\\" + kUpdaterExe};
}

// The installs in the order the run wrote into them, read from when each one's marker file
// changed.
void ReportInstallOrder(const DemoRun& run, std::string& report) {
    std::vector<std::pair<ULONGLONG, const DemoInstall*>> handled;
    std::vector<const DemoInstall*> untouched;
    for (const DemoInstall& install : run.installs) {
        const ULONGLONG changed = ChangeTimeOf(install.marker);
        if (changed != 0 && changed != install.changedBefore) {
            handled.emplace_back(changed, &install);
        } else {
            untouched.push_back(&install);
        }
    }
    std::sort(handled.begin(), handled.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    report += "### Installs, in the order the run handled them\n\n"
              "| # | install | registered |\n|---:|---|---|\n";
    int position = 0;
    for (const auto& entry : handled) {
        report += "| " + std::to_string(++position) + " | " + entry.second->name + " | " +
                  entry.second->registration + " |\n";
    }
    for (const DemoInstall* install : untouched) {
        report += "| – | " + install->name + " (not written) | " + install->registration + " |\n";
    }
    report += "\n";
}

// Starts the programs, runs Quillmend.exe, photographs its box and reports what changed.
// False when the run did not end with exactly one box.
bool RunAndReport(Scenario& scenario, DemoRun& run, const std::wstring& output,
                  std::string& report) {
    std::vector<DWORD> pids;
    for (const std::wstring& program : run.programs) {
        pids.push_back(scenario.StartProgram(program));
    }
    const size_t before = scenario.StartsSoFar();
    for (DemoInstall& install : run.installs) {
        install.changedBefore = ChangeTimeOf(install.marker);
    }

    bool captured = false;
    RunOptions options;
    options.onBox = [&](const BoxInfo& box) {
        Sleep(300); // let the box paint before it is photographed
        captured = CaptureWindow(box.window, output + L"\\" + run.screenshot + L".bmp");
    };
    const RunOutcome outcome = scenario.Run(options);
    Sleep(1000); // restarted programs log their start a moment after it

    report += "## " + run.title + "\n\n" + run.description + "\n\n### Message box\n\n";
    const bool oneBox = outcome.boxes.size() == 1;
    if (oneBox) {
        report += "| caption | text |\n|---|---|\n| " + Utf8(outcome.boxes[0].caption) + " | " +
                  Utf8(outcome.boxes[0].text) + " |\n\n";
        report +=
            "Screenshot: " +
            (captured ? "`" + Utf8(run.screenshot) + ".png`" : std::string("(not captured)")) +
            "\n\n";
        report += "Exit code " + std::to_string(outcome.exitCode) + ". Box shown after " +
                  Fixed(outcome.boxes[0].seconds) + " s, of which " + std::to_string(run.waits) +
                  " s are the program's fixed one-second waits: " +
                  Fixed(outcome.boxes[0].seconds - run.waits) +
                  " s of work beyond them (Wine start-up included). Process ended " +
                  Fixed(outcome.seconds) +
                  " s after start (Wine waits about 2 s for a window manager, which Xvfb lacks, "
                  "to hide the box).\n\n";
    } else {
        report += "Unexpected: " + std::to_string(outcome.boxes.size()) + " message boxes; " +
                  Utf8(outcome.problem) + "\n\n";
    }
    ReportInstallOrder(run, report);
    report += "### Files\n\n| file | before | after |\n|---|---|---|\n";
    for (const TrackedFile& file : run.files) {
        report += "| " + Utf8(file.label) + "`" + Relative(scenario, file.path) + "` | " +
                  file.before + " | " + Describe(file.path) + " |\n";
    }
    report += "\n### Programs\n\n| program | before | after the run | started again as |\n"
              "|---|---|---|---|\n";
    for (size_t i = 0; i < run.programs.size(); ++i) {
        const auto restarts = scenario.standIns().StartsOf(run.programs[i], before);
        std::string again = "not started again";
        if (!restarts.empty()) {
            again = "`" + Relative(scenario, restarts[0].commandLine) + "` (id " +
                    std::to_string(restarts[0].pid) + ")";
        }
        report += "| `" + Relative(scenario, run.programs[i]) + "` | running (id " +
                  std::to_string(pids[i]) + ") | " +
                  (scenario.standIns().HasEnded(pids[i], 2000) ? "ended" : "still running") +
                  " | " + again + " |\n";
    }
    report += "\n";
    return outcome.exited && oneBox;
}

bool RegistryRun(const std::wstring& output, std::string& report) {
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
    DemoRun run;
    run.title = "Run 1: installs registered in the registry";
    run.description =
        "Sample installation under `" + Utf8(scenario.root()) +
        "` (Wine prefix, code page 936): two vendor installs (`SuiteA`, client server "
        "revision 100, registered by a 64-bit installer; `签章套件B`, revision 99, by a 32-bit "
        "one), a \"penloom 9.0\" install (32-bit installer), the suite's three programs running "
        "from `SuiteA`, and a LicenseFile with a newer `MWSealService.exe` (revision 200).";
    run.screenshot = L"messagebox";
    run.waits = 2; // the current suite's and the "penloom 9.0" branch's
    TrackSuite(run, a);
    TrackSuite(run, b);
    for (const std::wstring& folder : {legacy.folder, legacy.root}) {
        Track(run, L"", folder + L"\\" + kLegacyKey);
        Track(run, L"", folder + L"\\" + kLegacyPem);
    }
    TrackUserCopy(run, scenario);
    run.programs = SuitePrograms(a);
    run.installs = {{"`SuiteA`", registered("64-bit", keyA), a.client + L"\\" + kSslServerTg},
                    {"`签章套件B`", registered("32-bit", keyB), b.client + L"\\" + kServerKey},
                    {"`Penloom9` (\"penloom 9.0\")", registered("32-bit", keyLegacy),
                     legacy.folder + L"\\" + kLegacyKey}};
    return RunAndReport(scenario, run, output, report);
}

// An install that only the installer's catalogue (AppData\MWInstall\App) records.
bool CatalogueRun(const std::wstring& output, std::string& report) {
    Scenario scenario(L"demo-catalogue");
    scenario.PrepareTool({});
    const SuiteInstall suite = scenario.AddSuite(L"CatSuite", {5, 5, 5, true, true});
    const std::wstring catalogue = RoamingAppData() + L"\\MWInstall\\App";
    if (!MakeFolders(catalogue + L"\\SealComponent") ||
        !WriteBytes(catalogue + L"\\common_ref.xml",
                    "<ref>\r\n  <Component ref=\"SealComponent;1.0\"/>\r\n</ref>\r\n") ||
        !WriteBytes(catalogue + L"\\SealComponent\\components.xml",
                    "<Setup>\r\n  <AppPath>" + Utf8(suite.app) + "</AppPath>\r\n</Setup>\r\n")) {
        report += "## Run 2: could not write the catalogue\n\n";
        return false;
    }

    DemoRun run;
    run.title = "Run 2: an install recorded only in the installer's catalogue";
    run.description = "`AppData\\MWInstall\\App\\common_ref.xml` names the component "
                      "`SealComponent`, whose `components.xml` gives the install folder `" +
                      Utf8(suite.app) +
                      "`. Its client server has revision 5, yet a catalogue install always "
                      "receives the combined file `sslServer.tg`.";
    run.screenshot = L"messagebox-catalogue";
    run.waits = 1;
    TrackSuite(run, suite);
    TrackUserCopy(run, scenario);
    run.programs = SuitePrograms(suite);
    run.installs = {{"`CatSuite`", "installer catalogue under roaming AppData",
                     suite.client + L"\\" + kSslServerTg}};
    return RunAndReport(scenario, run, output, report);
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
    const bool registryOk = RegistryRun(output, report);
    const bool catalogueOk = CatalogueRun(output, report);
    WriteBytes(output + L"\\report.md", report);
    return registryOk && catalogueOk ? 0 : 1;
}
