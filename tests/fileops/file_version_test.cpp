// Tests of the version read from fixture programs.
#include "fileops/file_version.h"

#include "test_support.h"

#include <doctest/doctest.h>

#include <cstring>
#include <vector>

using namespace qm;
using namespace qm::test;

namespace {

bool SameNumbers(const FileVersionNumbers& a, const FileVersionNumbers& b) {
    return a.major == b.major && a.minor == b.minor && a.build == b.build &&
           a.revision == b.revision;
}

std::wstring ParentOf(const std::wstring& path) {
    return path.substr(0, path.rfind(L'\\'));
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& ch : text) {
        ch = static_cast<wchar_t>(towlower(ch));
    }
    return text;
}

} // namespace

TEST_CASE("file_version_unpack_words") {
    struct Row {
        uint32_t ms, ls;
        FileVersionNumbers expected;
    };
    const Row rows[] = {
        {0x00010002u, 0x00030004u, {1, 2, 3, 4}},
        {0x000A0000u, 0x00C80001u, {10, 0, 200, 1}},
        // Each part is unsigned 16-bit: 65535, never -1.
        {0xFFFFFFFFu, 0xFFFFFFFFu, {65535, 65535, 65535, 65535}},
        {0u, 0u, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        CAPTURE(row.ms);
        CAPTURE(row.ls);
        CHECK(SameNumbers(UnpackFileVersion(row.ms, row.ls), row.expected));
    }
}

TEST_CASE("file_version_library_system_folder") {
    uint32_t error = 0;
    REQUIRE(LoadVersionLibrary(error));
    CHECK(LoadVersionLibrary(error)); // the second call reuses the first load
    const HMODULE loaded = GetModuleHandleW(L"version.dll");
    REQUIRE(loaded != nullptr);
    std::vector<wchar_t> modulePath(MAX_PATH + 1);
    REQUIRE(GetModuleFileNameW(loaded, modulePath.data(), MAX_PATH) > 0);
    std::vector<wchar_t> systemFolder(MAX_PATH + 1);
    REQUIRE(GetSystemDirectoryW(systemFolder.data(), MAX_PATH) > 0);
    CHECK(Lower(ParentOf(modulePath.data())) == Lower(systemFolder.data()));
}

TEST_CASE("file_version_library_search_fallback") {
    // Each attempt's answer in turn (0 loads); the flags asked for, the result and the code.
    struct Row {
        std::vector<uint32_t> answers;
        std::vector<uint32_t> flagsAsked;
        bool loaded;
        uint32_t error;
    };
    const Row rows[] = {
        {{0}, {LOAD_LIBRARY_SEARCH_SYSTEM32}, true, 0},
        // Windows 7 without KB2533623 refuses the flag: the full path again, without flags.
        {{ERROR_INVALID_PARAMETER, 0}, {LOAD_LIBRARY_SEARCH_SYSTEM32, 0}, true, 0},
        {{ERROR_INVALID_PARAMETER, ERROR_MOD_NOT_FOUND},
         {LOAD_LIBRARY_SEARCH_SYSTEM32, 0},
         false,
         ERROR_INVALID_PARAMETER},
        {{ERROR_MOD_NOT_FOUND}, {LOAD_LIBRARY_SEARCH_SYSTEM32}, false, ERROR_MOD_NOT_FOUND},
    };
    for (const Row& row : rows) {
        const uint32_t firstAnswer = row.answers.front();
        CAPTURE(firstAnswer);
        CAPTURE(row.answers.size());
        std::vector<uint32_t> flagsAsked;
        const LibraryLoadAttempt attempt = [&](uint32_t flags, uint32_t& errorCode) {
            const uint32_t answer = row.answers.at(flagsAsked.size());
            flagsAsked.push_back(flags);
            errorCode = answer;
            return answer == 0;
        };
        uint32_t error = 0;
        CHECK(LoadWithSearchFallback(attempt, error) == row.loaded);
        CHECK(flagsAsked == row.flagsAsked);
        if (!row.loaded) {
            CHECK(error == row.error);
        }
    }
}

TEST_CASE("file_version_read_fixtures") {
    struct Row {
        const wchar_t* program;
        FileVersionNumbers expected;
    };
    const Row rows[] = {
        {L"version_1_2_3_4.exe", {1, 2, 3, 4}},
        {L"version_65535.exe", {65535, 0, 65535, 65535}},
        // The product version (9.8.7.6) is not the file version.
        {L"version_file_not_product.exe", {10, 0, 200, 1}},
    };
    int line = 0;
    for (const Row& row : rows) {
        CAPTURE(line++);
        FileVersionNumbers numbers;
        CHECK(GetFileVersionNumbers(FixtureProgram(row.program), numbers));
        CHECK(SameNumbers(numbers, row.expected));
    }
}

TEST_CASE("file_version_absent_leaves_record") {
    TempFolder temp;
    WriteTextFile(temp / L"notes.txt", "no version here");
    const std::wstring paths[] = {
        FixtureProgram(L"sleeper.exe"), // a program without a version resource
        temp / L"notes.txt",
        temp / L"missing.exe",
        L"",
    };
    int line = 0;
    for (const std::wstring& path : paths) {
        CAPTURE(line++);
        FileVersionNumbers numbers{7, 7, 7, 7};
        CHECK_FALSE(GetFileVersionNumbers(path, numbers));
        CHECK(SameNumbers(numbers, {7, 7, 7, 7}));
    }
}

// A version resource whose directory claims more than the file holds is not read past it.
TEST_CASE("file_version_damaged_resource") {
    const std::wstring fixture = FixtureProgram(L"version_1_2_3_4.exe");
    std::string bytes = ReadTextFile(fixture);
    // FindResourceW gives the resource's data entry, in a data file's view at its file offset.
    size_t entry = 0;
    {
        const UniqueModule module(
            LoadLibraryExW(fixture.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        REQUIRE(module);
        const auto resource = reinterpret_cast<uintptr_t>(
            FindResourceW(module.get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION));
        entry = resource - (reinterpret_cast<uintptr_t>(module.get()) & ~uintptr_t{3});
    }
    const uint32_t huge = 0x7FFFFFF0;
    REQUIRE(entry + 2 * sizeof huge <= bytes.size());
    std::memcpy(&bytes[entry + sizeof huge], &huge, sizeof huge);
    TempFolder temp;
    WriteTextFile(temp / L"damaged.exe", bytes);
    FileVersionNumbers numbers;
    GetFileVersionNumbers(temp / L"damaged.exe", numbers);
    CHECK((SameNumbers(numbers, {}) || SameNumbers(numbers, {1, 2, 3, 4})));
}
