// Tests of stopping processes by image name.
#include "processes/terminate.h"

#include "tests/fileops/test_support.h"
#include "tests/processes/unendable_program.h"

#include <doctest/doctest.h>

#include <vector>

using namespace qm;
using namespace qm::test;

namespace {

constexpr DWORD kEndWait = 10000;
// Long enough for a wrongly requested termination to have taken effect.
constexpr DWORD kStaysRunningWait = 500;

// A copy of the sleeper under the given name in its own subfolder of temp, started.
RunningProgram StartCopy(const TempFolder& temp, const std::wstring& folder,
                         const std::wstring& fileName, std::wstring& path) {
    MakeFolder(temp / folder);
    path = temp / folder + L"\\" + fileName;
    CopyFixture(L"sleeper.exe", path);
    return RunningProgram(path);
}

} // namespace

TEST_CASE("terminate_match_whole_name") {
    struct Row {
        const wchar_t* exeFile;
        bool matches;
    };
    const Row rows[] = {
        {L"MWClientServer.exe", true},  {L"MWClient", false}, // a leading part is another program
        {L"MWClientServer.ex", false},  {L"MWClientServer.exe2", false}, // longer
        {L"mwclientserver.exe", false},                                  // case differs
        {L"MWCLIENTSERVER.EXE", false}, {L"", false},
    };
    int line = 0;
    for (const Row& row : rows) {
        CAPTURE(line++);
        CHECK(IsWantedImage(row.exeFile, L"MWClientServer.exe") == row.matches);
    }
    CHECK_FALSE(IsWantedImage(L"MWClientServer.exe", L""));
}

TEST_CASE("terminate_processes_running") {
    TempFolder temp;

    SUBCASE("none running: empty result") {
        CHECK(TerminateProcessesByName(L"QmNoSuchProgram.exe").empty());
    }
    SUBCASE("two of one name: both end, the later one's path is returned") {
        std::wstring firstPath;
        std::wstring secondPath;
        RunningProgram first = StartCopy(temp, L"a", L"MWClientServer.exe", firstPath);
        RunningProgram second = StartCopy(temp, L"b", L"MWClientServer.exe", secondPath);
        const int firstPosition = SnapshotPosition(first.id());
        const int secondPosition = SnapshotPosition(second.id());
        REQUIRE(firstPosition >= 0);
        REQUIRE(secondPosition >= 0);
        const std::wstring later = firstPosition > secondPosition ? firstPath : secondPath;

        CHECK(TerminateProcessesByName(L"MWClientServer.exe") == later);
        CHECK(first.EndsWithin(kEndWait));
        CHECK(second.EndsWithin(kEndWait));
        CHECK(first.ExitCode() == 0);
        CHECK(second.ExitCode() == 0);
    }
    SUBCASE("other names stay running") {
        std::wstring wantedPath;
        std::wstring path;
        RunningProgram wanted = StartCopy(temp, L"w", L"MWClientServer.exe", wantedPath);
        RunningProgram prefix = StartCopy(temp, L"p", L"MWClient", path);
        RunningProgram lower = StartCopy(temp, L"l", L"mwclientserver.exe", path);
        RunningProgram longer = StartCopy(temp, L"x", L"MWClientServer.exe2", path);

        CHECK(TerminateProcessesByName(L"MWClientServer.exe") == wantedPath);
        CHECK(wanted.EndsWithin(kEndWait));
        CHECK_FALSE(prefix.EndsWithin(kStaysRunningWait));
        CHECK_FALSE(lower.EndsWithin(0));
        CHECK_FALSE(longer.EndsWithin(0));
    }
    SUBCASE("each stopped process carries the rights it ran with, in words") {
        std::wstring path;
        RunningProgram program = StartCopy(temp, L"r", L"MWClientServer.exe", path);
        const std::vector<StoppedProcess> stopped = StopProcessesByName(L"MWClientServer.exe");
        REQUIRE(stopped.size() == 1);
        CHECK(stopped[0].ended);
        INFO("rights: " << std::string(stopped[0].rights.begin(), stopped[0].rights.end()));
        CHECK(stopped[0].rights.rfind(L"user S-1-5-", 0) == 0);
        CHECK(stopped[0].rights.find(L", elevation full, integrity High, session ") !=
              std::wstring::npos);
    }
    SUBCASE("a process that refuses to be ended is left running, with the code") {
        MakeFolder(temp / L"g");
        const std::wstring path = temp / L"g" + L"\\MWClientServer.exe";
        CopyFixture(L"sleeper.exe", path);
        const UnendableProgram guarded(path);
        const std::vector<StoppedProcess> stopped = StopProcessesByName(L"MWClientServer.exe");
        REQUIRE(stopped.size() == 1);
        CHECK_FALSE(stopped[0].ended);
        CHECK(stopped[0].endError == ERROR_ACCESS_DENIED);
        CHECK(stopped[0].imagePath == path);
        CHECK_FALSE(guarded.EndsWithin(kStaysRunningWait));
    }
    SUBCASE("only a lower-case copy runs: not matched, empty result") {
        std::wstring path;
        RunningProgram lower = StartCopy(temp, L"l", L"mwclientserver.exe", path);
        CHECK(TerminateProcessesByName(L"MWClientServer.exe").empty());
        CHECK_FALSE(lower.EndsWithin(kStaysRunningWait));
    }
    SUBCASE("an image path of more than 255 units is returned whole") {
        // 258 units: too long for a 256-unit buffer, short enough for CreateProcessW.
        const std::wstring fileName = L"MWSealService.exe";
        const size_t padding = 258 - temp.path().size() - 2 - fileName.size();
        const std::wstring path = temp / std::wstring(padding, L'p') + L"\\" + fileName;
        REQUIRE(path.size() == 258);
        MakeFolder(temp / std::wstring(padding, L'p'));
        CopyFixture(L"sleeper.exe", path);
        RunningProgram service(path);
        CHECK(TerminateProcessesByName(fileName) == path);
        CHECK(service.EndsWithin(kEndWait));
    }
}
