// Tests of the log file as other runs and readers meet it.
#include "log/run_log.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

using namespace qm;

namespace {

std::string ReadAll(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    std::vector<char> buffer(4096);
    DWORD read = 0;
    while (file && ReadFile(file.get(), buffer.data(), 4096, &read, nullptr) && read > 0) {
        bytes.append(buffer.data(), read);
    }
    return bytes;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

TEST_CASE("run_log_shared_with_another_run") {
    std::vector<wchar_t> temp(MAX_PATH + 1);
    REQUIRE(GetTempPathW(MAX_PATH + 1, temp.data()) > 0);
    const std::wstring path =
        std::wstring(temp.data()) + L"qm-log-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(path.c_str());
    {
        // Two runs at once (a scheduled one and one by hand) append to the same file.
        RunLog first;
        RunLog second;
        std::wstring problem;
        REQUIRE(first.Open(path, problem));
        CHECK_MESSAGE(second.Open(path, problem), problem);
        for (int i = 0; i < 3; ++i) {
            first.Write(L"first " + std::to_wstring(i));
            second.Write(L"second " + std::to_wstring(i));
        }
    }
    const std::string text = ReadAll(path);
    CHECK(text.rfind("\xEF\xBB\xBF", 0) == 0);
    CHECK(Count(text, "first ") == 3);
    CHECK(Count(text, "second ") == 3);
    // Each line whole: as many line ends as lines, none written over another.
    CHECK(Count(text, "\r\n") == 6);
    CHECK(text.find("second 2\r\n") != std::string::npos);
    DeleteFileW(path.c_str());
}
