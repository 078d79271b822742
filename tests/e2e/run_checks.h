#pragma once
// Checks shared by the end-to-end scenarios: the box that ends a run, replaced and untouched
// files, and the programs the run started again.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"

namespace qm::e2e {

inline std::string Narrow(const std::wstring& text) {
    return Utf8(text);
}

// A successful run shows exactly one box, no window of its own, and exits with 0.
inline void CheckEnded(const RunOutcome& outcome) {
    INFO("harness: " << Narrow(outcome.problem));
    REQUIRE(outcome.exited);
    CHECK(outcome.exitCode == 0);
    CHECK(outcome.otherVisibleWindows == 0);
    REQUIRE(outcome.boxes.size() == 1);
}

inline void CheckSuccessBox(const RunOutcome& outcome) {
    CheckEnded(outcome);
    INFO("box text: " << Narrow(outcome.boxes[0].text));
    CHECK(outcome.boxes[0].caption == kSuccessCaption);
    CHECK(outcome.boxes[0].text == kSuccessText);
}

// What the program renamed aside from path, as "<path>.untrusted-<time>"; empty when nothing.
inline std::wstring MovedAsideFrom(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    const qm::UniqueFind find(FindFirstFileW((path + L".untrusted-*").c_str(), &found));
    return find ? path.substr(0, path.find_last_of(L'\\') + 1) + found.cFileName : std::wstring();
}

// The time of one run beyond its fixed one-second waits, for the record.
inline void ReportFigures(const char* scenario, const RunOutcome& outcome, int waits) {
    if (outcome.boxes.empty()) {
        return;
    }
    MESSAGE(std::string(scenario) << ": box after " << outcome.boxes[0].seconds << " s, exit after "
                                  << outcome.seconds << " s (box gone after "
                                  << outcome.boxes[0].closedSeconds << " s); " << waits
                                  << " one-second wait(s); beyond them "
                                  << (outcome.boxes[0].seconds - waits) << " s to the box");
}

inline bool IsReplaced(const std::wstring& path, const wchar_t* sourceName) {
    return BytesOf(path) == ReplacementContent(sourceName);
}

inline bool IsInstalled(const std::wstring& path) {
    return BytesOf(path) == InstalledContent(path.substr(path.find_last_of(L'\\') + 1));
}

inline bool SameBytes(const std::wstring& path, const std::wstring& image) {
    return BytesOf(path) == BytesOf(image);
}

// Restarts are logged by the restarted stand-ins themselves, a moment after they start.
inline std::vector<StandInStart> StartsAfter(Scenario& scenario, const std::wstring& image,
                                             size_t skip, size_t expected) {
    std::vector<StandInStart> starts;
    // Generous: a stand-in on a loaded machine can take seconds to log its start.
    for (int waited = 0; waited <= 10000; waited += 50) {
        starts = scenario.standIns().StartsOf(image, skip);
        if (starts.size() >= expected && (expected > 0 || waited >= 500)) {
            break;
        }
        Sleep(50);
    }
    return starts;
}

// What follows the program's own (quoted) path on its command line.
inline std::wstring ParametersOf(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        return close == std::wstring::npos ? std::wstring() : commandLine.substr(close + 1);
    }
    const size_t blank = commandLine.find(L' ');
    return blank == std::wstring::npos ? std::wstring() : commandLine.substr(blank);
}

inline bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A stand-in of `revision` started as `image` from `folder` (made when missing). A folder
// that no install names is reached by the run only through the stop by image name.
inline DWORD StartStandInFrom(Scenario& scenario, const std::wstring& folder, const wchar_t* image,
                              int revision) {
    MakeFolders(folder);
    CopyOver(StandInImage(revision), folder + L"\\" + image);
    const DWORD pid = scenario.StartProgram(folder + L"\\" + image);
    REQUIRE(pid != 0);
    return pid;
}

struct RunningSuite {
    DWORD service = 0;
    DWORD client = 0;
    DWORD updater = 0;
};

inline RunningSuite StartSuitePrograms(Scenario& scenario, const SuiteInstall& suite) {
    RunningSuite running;
    running.service = scenario.StartProgram(suite.client + L"\\" + kServiceExe);
    running.client = scenario.StartProgram(suite.client + L"\\" + kClientExe);
    running.updater = scenario.StartProgram(suite.centre + L"\\" + kUpdaterExe);
    REQUIRE(running.service != 0);
    REQUIRE(running.client != 0);
    REQUIRE(running.updater != 0);
    return running;
}

// Writes common_ref.xml naming `component` and that component's components.xml under a roaming
// AppData folder (by default the running account's, which the scenario cleans at its end).
inline void WriteCatalogue(const std::wstring& component, const std::string& componentsXml,
                           const std::wstring& appData = RoamingAppData()) {
    const std::wstring folder = appData + L"\\MWInstall\\App";
    REQUIRE(MakeFolders(folder + L"\\" + component));
    REQUIRE(WriteBytes(folder + L"\\common_ref.xml",
                       "<?xml version=\"1.0\"?>\r\n<ref>\r\n  <Component ref=\"" + Utf8(component) +
                           ";1.0.0\"/>\r\n</ref>\r\n"));
    REQUIRE(WriteBytes(folder + L"\\" + component + L"\\components.xml", componentsXml));
}

inline std::string SetupWithAppPath(const std::wstring& appPath) {
    return "<Setup>\r\n  <Version>3.1</Version>\r\n  <AppPath>" + Utf8(appPath) +
           "</AppPath>\r\n</Setup>\r\n";
}

} // namespace qm::e2e
