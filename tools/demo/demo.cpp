// Demo of one Quillmend run on a sample installation: two vendor installs (one needing the
// combined TLS file, one the key pair, in a Chinese-named folder), a "penloom 9.0" install,
// the suite's programs running, and a LicenseFile with a newer service. Writes report.md and
// a screenshot of the message box (BMP) into the folder given as the only argument.
#include <cstdio>
#include <string>
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

    Scenario scenario(L"demo");
    LicenseSet set;
    set.serviceRevision = 200;
    set.updaterRevision = 5;
    scenario.PrepareTool(set);
    const SuiteInstall a = scenario.AddSuite(L"SuiteA", {100, 5, 5, true, true});
    const SuiteInstall b = scenario.AddSuite(L"签章套件B", {99, 200, 5, true, true});
    const LegacyInstall legacy = scenario.AddLegacy(L"Penloom9", {true, true});
    scenario.RegisterVendor(L"SealSuite", a.app, false);
    scenario.RegisterVendor(L"SealSuiteB", b.app, true);
    scenario.RegisterUninstall(L"penloom 9.0", legacy.folder, false);

    std::vector<TrackedFile> files;
    const auto track = [&](const std::wstring& label, const std::wstring& path) {
        files.push_back({label, path, Describe(path)});
    };
    for (const SuiteInstall* suite : {&a, &b}) {
        for (const wchar_t* name :
             {kSslServerTg, kServerKey, kServerPem, kServiceExe, kServiceConfig}) {
            track(L"", suite->client + L"\\" + name);
        }
        track(L"", suite->centre + L"\\" + kUpdaterExe);
        track(L"", suite->app + L"\\" + kSslServerTg);
    }
    for (const std::wstring& folder : {legacy.folder, legacy.root}) {
        track(L"", folder + L"\\" + kLegacyKey);
        track(L"", folder + L"\\" + kLegacyPem);
    }
    for (const wchar_t* name : {kSslServerTg, kServerKey, kServerPem}) {
        track(L"per-user ", scenario.userClient() + L"\\" + name);
    }

    const std::vector<std::wstring> programs = {a.client + L"\\" + kServiceExe,
                                                a.client + L"\\" + kClientExe,
                                                a.centre + L"\\" + kUpdaterExe};
    std::vector<DWORD> pids;
    for (const std::wstring& program : programs) {
        pids.push_back(scenario.StartProgram(program));
    }
    const size_t before = scenario.StartsSoFar();

    bool captured = false;
    RunOptions options;
    options.onBox = [&](const BoxInfo& box) {
        Sleep(300); // let the box paint before it is photographed
        captured = CaptureWindow(box.window, output + L"\\messagebox.bmp");
    };
    const RunOutcome outcome = scenario.Run(options);
    Sleep(1000); // restarted programs log their start a moment after it

    const int waits = 2; // the current suite's and the "penloom 9.0" branch's
    std::string report = "# Quillmend demo run\n\n";
    report += "Sample installation under `" + Utf8(scenario.root()) +
              "` (Wine prefix, code page 936): two vendor installs (`SuiteA`, client server "
              "revision 100, registered in the 64-bit path; `签章套件B`, revision 99, under "
              "WOW6432Node), a \"penloom 9.0\" install, the suite's three programs running from "
              "`SuiteA`, and a LicenseFile with a newer `MWSealService.exe` (revision 200).\n\n";
    report += "## Message box\n\n";
    if (outcome.boxes.size() == 1) {
        report += "| caption | text |\n|---|---|\n| " + Utf8(outcome.boxes[0].caption) + " | " +
                  Utf8(outcome.boxes[0].text) + " |\n\n";
        report +=
            "Screenshot: " + std::string(captured ? "`messagebox.png`" : "(not captured)") + "\n\n";
        report += "Exit code " + std::to_string(outcome.exitCode) + ". Box shown after " +
                  Fixed(outcome.boxes[0].seconds) + " s, of which " + std::to_string(waits) +
                  " s are the program's fixed one-second waits: " +
                  Fixed(outcome.boxes[0].seconds - waits) +
                  " s of work beyond them (Wine start-up included). Process ended " +
                  Fixed(outcome.seconds) +
                  " s after start (Wine waits about 2 s for a window manager, which Xvfb lacks, "
                  "to hide the box).\n\n";
    } else {
        report += "Unexpected: " + std::to_string(outcome.boxes.size()) + " message boxes; " +
                  Utf8(outcome.problem) + "\n\n";
    }
    report += "## Files\n\n| file | before | after |\n|---|---|---|\n";
    for (const TrackedFile& file : files) {
        report += "| " + Utf8(file.label) + "`" + Relative(scenario, file.path) + "` | " +
                  file.before + " | " + Describe(file.path) + " |\n";
    }
    report += "\n## Programs\n\n| program | before | after the run | started again as |\n"
              "|---|---|---|---|\n";
    for (size_t i = 0; i < programs.size(); ++i) {
        const auto restarts = scenario.standIns().StartsOf(programs[i], before);
        std::string again = "not started again";
        if (!restarts.empty()) {
            again = "`" + Relative(scenario, restarts[0].commandLine) + "` (id " +
                    std::to_string(restarts[0].pid) + ")";
        }
        report += "| `" + Relative(scenario, programs[i]) + "` | running (id " +
                  std::to_string(pids[i]) + ") | " +
                  (scenario.standIns().HasEnded(pids[i], 2000) ? "ended" : "still running") +
                  " | " + again + " |\n";
    }
    WriteBytes(output + L"\\report.md", report);
    return outcome.exited && outcome.boxes.size() == 1 ? 0 : 1;
}
