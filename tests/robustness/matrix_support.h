#pragma once
// What the robustness matrix and the run-time measurement share: one report row per run,
// checks that count towards that row's verdict, readable descriptions of files and programs,
// and machine states that need more than the end-to-end harness offers.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/run_checks.h"

namespace qm::robustness {

using e2e::IsInstalled;
using e2e::IsReplaced;
using e2e::Narrow;
using e2e::RunningSuite;
using e2e::RunOutcome;
using e2e::Scenario;
using e2e::StartsAfter;
using e2e::StartSuitePrograms;
using e2e::SuiteInstall;

// One row of the matrix. When QM_ROBUSTNESS_REPORT names a file, the row is appended to it
// as a Markdown table row when the scenario ends, with its verdict.
class MatrixRow {
public:
    MatrixRow(std::string scenario, std::string expected);
    ~MatrixRow();
    MatrixRow(const MatrixRow&) = delete;
    MatrixRow& operator=(const MatrixRow&) = delete;

    void Observe(const RunOutcome& outcome);
    void Files(const std::string& observed) { files_ = observed; }
    void Processes(const std::string& observed) { processes_ = observed; }
    void Record(bool held, const char* what);

private:
    std::string scenario_;
    std::string expected_;
    std::string box_ = "(not run)";
    std::string files_;
    std::string processes_;
    std::string duration_;
    std::vector<std::string> failed_;
};

// A CHECK that also decides the row's verdict.
#define MATRIX_CHECK(row, condition)                                                               \
    do {                                                                                           \
        const bool matrixHeld = static_cast<bool>(condition);                                      \
        CHECK_MESSAGE(matrixHeld, #condition);                                                     \
        (row).Record(matrixHeld, #condition);                                                      \
    } while (false)

// "replaced", "installed", "missing" or "changed": what the file holds after a run.
std::string FileState(const std::wstring& path, const wchar_t* sourceName);

// "ended, restarted", "ended, restarted with \" -i\"", "ended, not restarted", "running"...
std::string ProgramFate(Scenario& scenario, DWORD pid, const std::wstring& image, size_t skip);

// `count` installs of the current suite, alternately in the 64-bit path and the WOW6432Node
// path, with client servers of revision 100 (even) and 99 (odd).
std::vector<SuiteInstall> AddVendorInstalls(Scenario& scenario, int count);
// Whether the install at `index` of AddVendorInstalls received what its client server's
// revision asks for.
bool IsHandled(const SuiteInstall& install, size_t index);

// A program other than the suite's that holds `path` open for reading, sharing reads only.
class FileHolder {
public:
    explicit FileHolder(const std::wstring& path);
    ~FileHolder();
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    // True once nobody else can open the file for writing.
    bool holding() const { return holding_; }
    const std::string& problem() const { return problem_; }

private:
    UniqueProcess process_;
    bool holding_ = false;
    std::string problem_;
};

// The code Windows (or Wine) gives for copying `source` over `target`; 0 when it succeeds.
DWORD CopyCode(const std::wstring& source, const std::wstring& target);

} // namespace qm::robustness
