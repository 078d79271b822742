#pragma once
// Fixtures shared by the file-operation tests: scratch folders, the LicenseFile folder beside
// the test exe, fixture programs and stand-in processes that are always ended.
#include "platform/codepage.h"
#include "platform/win_handles.h"

#include <doctest/doctest.h>

#include <string>

// Failed checks show wide paths and messages as text in the console's code page.
namespace doctest {
template <> struct StringMaker<std::wstring> {
    static String convert(const std::wstring& value) { return String(qm::ToNarrow(value).c_str()); }
};
} // namespace doctest

namespace qm::test {

// A fresh folder under the temp folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// LicenseFile beside the running test exe, created empty and always removed.
class LicenseFolder {
public:
    LicenseFolder();
    ~LicenseFolder();
    LicenseFolder(const LicenseFolder&) = delete;
    LicenseFolder& operator=(const LicenseFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A program of the fixtures folder built next to the tests.
std::wstring FixtureProgram(const std::wstring& fileName);

void WriteTextFile(const std::wstring& path, const std::string& content);
std::string ReadTextFile(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool IsReadOnly(const std::wstring& path);
void SetReadOnly(const std::wstring& path, bool readOnly);
void CopyFixture(const std::wstring& fileName, const std::wstring& target);
void MakeFolder(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// The message of a UserError as wide text, converted back from the thread's code page.
std::wstring WideMessage(const std::exception& error);

using UniqueThread = UniqueHandle<KernelHandleTraits>;

// A started program, ended (and waited for) at the end unless it has ended already.
class RunningProgram {
public:
    explicit RunningProgram(const std::wstring& executable);
    ~RunningProgram();
    RunningProgram(RunningProgram&&) = default;
    RunningProgram& operator=(RunningProgram&&) = default;

    DWORD id() const { return id_; }
    // True when the process ended within the time given.
    bool EndsWithin(DWORD milliseconds) const;
    DWORD ExitCode() const;

private:
    UniqueProcess process_;
    DWORD id_ = 0;
};

// Index of the process in a fresh snapshot, or -1 when it is not listed.
int SnapshotPosition(DWORD processId);

} // namespace qm::test
