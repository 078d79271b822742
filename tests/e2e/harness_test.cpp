// The pieces the end-to-end scenarios stand on: if a stand-in did not record its start, or a
// variant carried the wrong revision, every scenario built on it would prove nothing.
#include <doctest/doctest.h>

#include "tests/e2e/harness/scenario.h"

#include <shellapi.h>

using namespace qm::e2e;

namespace {

// Revision of the file version, or -1 when the file has no version block.
int RevisionOf(const std::wstring& path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) {
        return -1;
    }
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, &block[0]) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        return -1;
    }
    return static_cast<int>(LOWORD(fixed->dwFileVersionLS));
}

} // namespace

TEST_CASE("e2e_standin_start_record") {
    ScratchFolder scratch(L"standin");
    const std::wstring folder = scratch.path() + L"\\签章 套件\\MWClientServer";
    REQUIRE(MakeFolders(folder));
    const std::wstring image = folder + L"\\MWClientServer.exe";
    REQUIRE(CopyOver(StandInImage(100), image));

    StandIns standIns(scratch.path() + L"\\standin.log");

    SUBCASE("a start is logged with its id, full path and command line") {
        const DWORD pid = standIns.Start(image);
        REQUIRE(pid != 0);
        const auto starts = standIns.StartsOf(image, 0);
        REQUIRE(starts.size() == 1);
        CHECK(starts[0].pid == pid);
        CHECK(starts[0].path == image);
        CHECK(starts[0].commandLine == L"\"" + image + L"\"");
        CHECK_FALSE(standIns.HasEnded(pid, 0));
    }

    SUBCASE("a program started through the shell logs its parameters too") {
        const HINSTANCE result =
            ShellExecuteW(nullptr, L"open", image.c_str(), L" -i", nullptr, SW_HIDE);
        REQUIRE(reinterpret_cast<INT_PTR>(result) > 32);
        std::vector<StandInStart> starts;
        for (int waited = 0; waited < 10000 && starts.empty(); waited += 20) {
            Sleep(20);
            starts = standIns.StartsOf(image, 0);
        }
        REQUIRE(starts.size() == 1);
        CHECK(starts[0].commandLine.find(L" -i") != std::wstring::npos);
    }

    SUBCASE("ending them all leaves no stand-in running, shell-started ones included") {
        const DWORD pid = standIns.Start(image);
        REQUIRE(pid != 0);
        ShellExecuteW(nullptr, L"open", image.c_str(), nullptr, nullptr, SW_HIDE);
        for (int waited = 0; waited < 10000 && standIns.Starts().size() < 2; waited += 20) {
            Sleep(20);
        }
        const auto starts = standIns.Starts();
        REQUIRE(starts.size() == 2);
        standIns.EndAll();
        for (const StandInStart& start : starts) {
            qm::UniqueProcess process(OpenProcess(SYNCHRONIZE, FALSE, start.pid));
            if (process) {
                CHECK(WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0);
            }
        }
    }
    standIns.EndAll();
}

TEST_CASE("e2e_standin_variants_revisions") {
    const struct {
        int built;
        int expected;
    } variants[] = {{5, 5}, {99, 99}, {100, 100}, {200, 200}, {0, -1}};
    for (const auto& variant : variants) {
        CAPTURE(variant.built);
        CHECK(RevisionOf(StandInImage(variant.built)) == variant.expected);
    }
}

TEST_CASE("e2e_unrunnable_program_start") {
    ScratchFolder scratch(L"unrunnable");
    const std::wstring image = scratch.path() + L"\\MWSealService.exe";
    REQUIRE(CopyOver(UnrunnableImage(), image));

    SUBCASE("it reads as a newer program") {
        CHECK(RevisionOf(image) == 200);
    }

    SUBCASE("the shell cannot start it") {
        const INT_PTR result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, L"open", image.c_str(), L" -i", nullptr, SW_HIDE));
        CHECK(result <= 32);
    }
}

TEST_CASE("e2e_scratch_registry_views") {
    // The 32-bit product is proven where administrators run it, as a WoW64 process; the
    // 64-bit build stands in only where the machine runs no 32-bit code.
    BOOL wow64 = FALSE;
    REQUIRE(IsWow64Process(GetCurrentProcess(), &wow64));
    CHECK((wow64 != FALSE) == (sizeof(void*) == 4));

    // The App Path at a literal path of the 64-bit view, where 64-bit Windows keeps both views.
    const auto appPathAt = [](const std::wstring& path) {
        qm::UniqueRegKey key;
        wchar_t value[64] = {};
        DWORD bytes = sizeof value;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                          key.put()) != ERROR_SUCCESS ||
            RegGetValueW(key.get(), nullptr, L"App Path", RRF_RT_REG_SZ, nullptr, value, &bytes) !=
                ERROR_SUCCESS) {
            return std::wstring(L"<none>");
        }
        return std::wstring(value);
    };
    const std::wstring key64 = std::wstring(kUninstallKey) + L"\\qm-e2e-scratch-check";
    const std::wstring key32 = std::wstring(kUninstallKey32) + L"\\qm-e2e-scratch-check";
    {
        ScratchRegistry registry;
        registry.Claim(key64);
        registry.Claim(key32);
        REQUIRE(registry.SetAppPath(key64 + L"\\Product", L"C:\\Sixty-four"));
        REQUIRE(registry.SetAppPath(key32 + L"\\Product", L"C:\\Thirty-two"));
        CHECK(appPathAt(key64 + L"\\Product") == L"C:\\Sixty-four");
        CHECK(appPathAt(key32 + L"\\Product") == L"C:\\Thirty-two");
    }
    CHECK(appPathAt(key64 + L"\\Product") == L"<none>");
    CHECK(appPathAt(key32 + L"\\Product") == L"<none>");
}
