// Fixtures shared by the file and process tests.
#include "test_support.h"

#include "fileops/deploy.h"
#include "platform/codepage.h"

#include <doctest/doctest.h>

#include <vector>

namespace qm::test {

namespace {

constexpr DWORD kStillRunningWait = 10000;

std::wstring TempRoot() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    REQUIRE(length > 0);
    std::wstring root(buffer.data(), length);
    if (!root.empty() && root.back() == L'\\') {
        root.pop_back();
    }
    return root;
}

} // namespace

TempFolder::TempFolder() {
    static unsigned counter = 0;
    const std::wstring root = TempRoot();
    for (;;) {
        path_ = root + L"\\qm-fileops-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            return;
        }
        REQUIRE(GetLastError() == ERROR_ALREADY_EXISTS);
    }
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

LicenseFolder::LicenseFolder() : path_(ProgramFolder() + L"\\LicenseFile") {
    RemoveTree(path_); // left over from an interrupted run
    MakeFolder(path_);
}

LicenseFolder::~LicenseFolder() {
    RemoveTree(path_);
}

std::wstring FixtureProgram(const std::wstring& fileName) {
    return ProgramFolder() + L"\\fixtures\\" + fileName;
}

void WriteTextFile(const std::wstring& path, const std::string& content) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    REQUIRE(file.valid());
    DWORD written = 0;
    REQUIRE(WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                      nullptr));
    REQUIRE(written == content.size());
}

std::string ReadTextFile(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    REQUIRE(file.valid());
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return content;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    REQUIRE(attributes != INVALID_FILE_ATTRIBUTES);
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void SetReadOnly(const std::wstring& path, bool readOnly) {
    REQUIRE(SetFileAttributesW(path.c_str(),
                               readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
}

void CopyFixture(const std::wstring& fileName, const std::wstring& target) {
    REQUIRE(CopyFileW(FixtureProgram(fileName).c_str(), target.c_str(), FALSE));
}

void MakeFolder(const std::wstring& path) {
    REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found{};
    {
        const UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &found));
        if (find) {
            do {
                const std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") {
                    RemoveTree(path + L"\\" + name);
                }
            } while (FindNextFileW(find.get(), &found));
        }
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring WideMessage(const std::exception& error) {
    return ToWide(error.what());
}

RunningProgram::RunningProgram(const std::wstring& executable) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + executable + L"\"";
    const BOOL started = CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr,
                                        FALSE, 0, nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    CAPTURE(error);
    REQUIRE(started);
    process_.reset(info.hProcess);
    const UniqueThread thread(info.hThread);
    id_ = info.dwProcessId;
}

RunningProgram::~RunningProgram() {
    if (process_ && !EndsWithin(0)) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), kStillRunningWait);
    }
}

bool RunningProgram::EndsWithin(DWORD milliseconds) const {
    return WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
}

DWORD RunningProgram::ExitCode() const {
    DWORD code = 0;
    REQUIRE(GetExitCodeProcess(process_.get(), &code));
    return code;
}

int SnapshotPosition(DWORD processId) {
    const UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    REQUIRE(snapshot.valid());
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int position = 0;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry), ++position) {
        if (entry.th32ProcessID == processId) {
            return position;
        }
    }
    return -1;
}

} // namespace qm::test
