// The signed Quillmend.exe that signing_test.sh makes, named by QM_SIGNED_PROGRAM: Windows must
// still read its version block and manifest, and a run must go as the unsigned program's does.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "tests/e2e/run_checks.h"

using namespace qm;
using namespace qm::e2e;

namespace {

constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kManifestId = 1;

std::wstring SignedProgram() {
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"QM_SIGNED_PROGRAM", path.data(), static_cast<DWORD>(path.size()));
    return length > 0 && length < path.size() ? std::wstring(path.data(), length) : L"";
}

std::string VersionBlock(const std::wstring& program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, block.data())) {
        return {};
    }
    return block;
}

std::string Manifest(const std::wstring& program) {
    const UniqueModule module(LoadLibraryExW(
        program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE(module.valid());
    const HRSRC found = FindResourceExW(module.get(), MAKEINTRESOURCEW(24),
                                        MAKEINTRESOURCEW(kManifestId), kEnglish);
    if (!found) {
        return {};
    }
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module.get(), found)));
    return data ? std::string(data, SizeofResource(module.get(), found)) : std::string();
}

} // namespace

TEST_CASE("release_signed_program") {
    const std::wstring program = SignedProgram();
    INFO("QM_SIGNED_PROGRAM: " << Utf8(program));
    REQUIRE(PathExists(program));
    REQUIRE(Scenario::ProgramAvailable());
    const std::wstring unsignedProgram = ExeFolder() + L"\\Quillmend.exe";
    REQUIRE(BytesOf(program) != BytesOf(unsignedProgram));

    SUBCASE("version block and manifest read as the unsigned program's") {
        const std::string version = VersionBlock(program);
        CHECK_FALSE(version.empty());
        CHECK(version == VersionBlock(unsignedProgram));
        const std::string manifest = Manifest(program);
        CHECK(manifest.find("requireAdministrator") != std::string::npos);
        CHECK(manifest == Manifest(unsignedProgram));
    }
    SUBCASE("a run replaces the installed file and ends with the success box") {
        Scenario scenario(L"signed");
        scenario.PrepareTool({}, program);
        REQUIRE(SameBytes(scenario.program(), program));
        const SuiteInstall suite = scenario.AddSuite(L"Suite", {100, 5, 5, true, true});
        scenario.RegisterVendor(L"Suite", suite.app, false);
        const RunningSuite running = StartSuitePrograms(scenario, suite);

        const RunOutcome outcome = scenario.Run();
        CheckSuccessBox(outcome);
        CHECK(IsReplaced(suite.client + L"\\sslServer.tg", kSslServerTg));
        CHECK(IsReplaced(scenario.userClient() + L"\\sslServer.tg", kSslServerTg));
        CHECK(scenario.standIns().HasEnded(running.service, 5000));
    }
}
