// Tests of the run's decisions.
#include "run/run_plan.h"

#include "platform/user_error.h"

#include <doctest/doctest.h>

using namespace qm;

using Folders = std::vector<std::wstring>;

TEST_CASE("run_plan_sibling_folders_paths") {
    struct Row {
        const wchar_t* install;
        const wchar_t* client;
        const wchar_t* centre;
    };
    const Row rows[] = {
        {L"C:\\A\\X", L"C:\\A\\MWClientServer", L"C:\\A\\MWSealCenter"},
        // One trailing backslash is trimmed before the parent is taken.
        {L"C:\\A\\X\\", L"C:\\A\\MWClientServer", L"C:\\A\\MWSealCenter"},
        // Only one: the second one makes the folder its own parent.
        {L"C:\\A\\X\\\\", L"C:\\A\\X\\MWClientServer", L"C:\\A\\X\\MWSealCenter"},
        // No backslash: the parent is empty.
        {L"Suite", L"\\MWClientServer", L"\\MWSealCenter"},
        {L"C:\\", L"\\MWClientServer", L"\\MWSealCenter"},
        {L"\\\\server\\share\\App", L"\\\\server\\share\\MWClientServer",
         L"\\\\server\\share\\MWSealCenter"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.install);
        const SiblingFolders siblings = SiblingFoldersOf(row.install);
        CHECK(siblings.client == row.client);
        CHECK(siblings.centre == row.centre);
    }
}

TEST_CASE("run_plan_tls_files_revision") {
    const Folders combined{L"sslServer.tg"};
    const Folders pair{L"server.key", L"server.pem"};
    CHECK(TlsFilesForClient(true, 100) == combined);
    CHECK(TlsFilesForClient(true, 65535) == combined);
    CHECK(TlsFilesForClient(true, 99) == pair);
    CHECK(TlsFilesForClient(true, 0) == pair);
    // Without version information the revision is not looked at.
    CHECK(TlsFilesForClient(false, 100) == pair);
}

TEST_CASE("run_plan_catalogue_folders_paths") {
    SUBCASE("the catalogue client folder is not trimmed first") {
        CHECK(CatalogueClientFolder(L"D:\\Suite\\App") == L"D:\\Suite\\MWClientServer");
        CHECK(CatalogueClientFolder(L"D:\\Suite\\App\\") == L"D:\\Suite\\App\\MWClientServer");
        CHECK(CatalogueClientFolder(L"Suite") == L"\\MWClientServer");
    }
    SUBCASE("per-user folders") {
        const std::wstring base = PerUserBaseFolder(L"C:\\Users\\u\\AppData\\Roaming");
        CHECK(base == L"C:\\Users\\u\\AppData\\Roaming\\Marrowby");
        CHECK(PerUserClientFolder(base) ==
              L"C:\\Users\\u\\AppData\\Roaming\\Marrowby\\MWClientServer");
    }
}

TEST_CASE("run_plan_restart_decisions") {
    SUBCASE("only a program that was running is started again") {
        CHECK_FALSE(NeedsRestart(L""));
        CHECK(NeedsRestart(L"C:\\A\\MWClientServer\\MWClientServer.exe"));
    }
    SUBCASE("ShellExecute answers of 32 or less are failures") {
        CHECK(IsStartFailure(0));
        CHECK(IsStartFailure(2));
        CHECK(IsStartFailure(32));
        CHECK_FALSE(IsStartFailure(33));
        CHECK_FALSE(IsStartFailure(0x400000));
    }
}

TEST_CASE("run_plan_end_failure_message") {
    std::vector<EndFailure> failures;
    StoppedProcess gone;
    StoppedProcess refused;
    refused.imagePath = L"C:\\S\\MWSealService.exe";
    refused.endError = 5;
    StoppedProcess unreadable;
    unreadable.endError = 0xFFFFFFFF;
    CollectEndFailures({gone, refused, unreadable}, L"MWSealService.exe", failures);
    CHECK(EndFailureMessage(failures) == L"程序结束失败[C:\\S\\MWSealService.exe], Errcode: 5\n"
                                         L"程序结束失败[MWSealService.exe], Errcode: -1");
    CHECK(EndFailureMessage({}).empty());
}

TEST_CASE("run_plan_restart_failure_message") {
    SUBCASE("no failure, no message") {
        CHECK(RestartFailureMessage({}).empty());
    }
    SUBCASE("one failure names the program and the code") {
        CHECK(RestartFailureMessage({{L"C:\\S\\MWSealService.exe", 2}}) ==
              L"程序重新启动失败[C:\\S\\MWSealService.exe], Errcode: 2");
    }
    SUBCASE("two failures, one line each, in order") {
        CHECK(RestartFailureMessage(
                  {{L"C:\\S\\MWSealService.exe", 2}, {L"C:\\C\\MWClientServer.exe", 5}}) ==
              L"程序重新启动失败[C:\\S\\MWSealService.exe], Errcode: 2\n"
              L"程序重新启动失败[C:\\C\\MWClientServer.exe], Errcode: 5");
    }
    SUBCASE("a path holding a percent sign is shown as it is") {
        CHECK(RestartFailureMessage({{L"C:\\100%s\\x.exe", 31}}) ==
              L"程序重新启动失败[C:\\100%s\\x.exe], Errcode: 31");
    }
}
