// The plan of a run's writes: which checks a deployment needs, in the order its copy would find
// a fault, with the message that copy would give; each write and check once.
#include "run/deploy_plan.h"

#include "fileops/deploy.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

using namespace qm;

namespace {

std::wstring Describe(const PlannedCheck& check) {
    const wchar_t* kinds[] = {L"writable", L"readable", L"folder", L"creatable", L"nolink"};
    const wchar_t* message = check.failure == kInstallCopyFailed          ? L"install"
                             : check.failure == kUserCopyFailed           ? L"user"
                             : check.failure == kUserFolderCreationFailed ? L"mkdir"
                                                                          : L"?";
    const std::wstring below = check.root.empty() ? L"" : L" below " + check.root;
    return std::wstring(kinds[static_cast<int>(check.kind)]) + L" " + check.path + below + L" " +
           message;
}

std::vector<std::wstring> Checks(const DeployPlan& plan) {
    std::vector<std::wstring> lines;
    for (const PlannedCheck& check : plan.checks) {
        lines.push_back(Describe(check));
    }
    return lines;
}

} // namespace

TEST_CASE("deploy_plan_checks_in_copy_order") {
    DeployPlan plan;
    PlanReplacement(L"L\\server.key", L"C:\\A\\MWClientServer", L"U\\Marrowby", L"server.key",
                    plan);
    PlanReplacement(L"L\\server.pem", L"C:\\A\\MWClientServer", L"U\\Marrowby", L"server.pem",
                    plan);
    PlanReplacementAs(
        L"L\\server.key", L"E:\\P9",
        {{L"server.key", L"E:\\P9\\ssl.key", true}, {L"server.key", L"E:\\ssl.key", true}}, plan);
    const std::vector<std::wstring> expected = {
        // No link where it writes, the obstacle, the source the copy opens, the file it creates.
        L"nolink C:\\A\\MWClientServer below C:\\A install",
        L"writable C:\\A\\MWClientServer\\server.key install",
        L"readable L\\server.key install",
        L"folder C:\\A\\MWClientServer\\server.key install",
        // Before a folder is made where a link may wait.
        L"nolink U\\Marrowby\\MWClientServer below U user",
        L"creatable U\\Marrowby mkdir",
        L"creatable U\\Marrowby\\MWClientServer mkdir",
        L"writable U\\Marrowby\\MWClientServer\\server.key user",
        L"folder U\\Marrowby\\MWClientServer\\server.key user",
        // The second file: the source already read and the folders made and looked at are not
        // asked again.
        L"writable C:\\A\\MWClientServer\\server.pem install",
        L"readable L\\server.pem install",
        L"folder C:\\A\\MWClientServer\\server.pem install",
        L"writable U\\Marrowby\\MWClientServer\\server.pem user",
        L"folder U\\Marrowby\\MWClientServer\\server.pem user",
        L"nolink E:\\P9 below E: install",
        L"writable E:\\P9\\ssl.key install",
        L"folder E:\\P9\\ssl.key install",
        L"writable E:\\ssl.key install",
        L"folder E:\\ssl.key install",
    };
    CHECK(Checks(plan) == expected);
    REQUIRE(plan.writes.size() == 6);
    CHECK(plan.writes[1].path == L"U\\Marrowby\\MWClientServer\\server.key");
    CHECK(plan.writes[1].copyFailure == kUserCopyFailed);
    CHECK(plan.writes[5].copyFailure == kInstallCopyFailed);
    CHECK(plan.folders ==
          std::vector<std::wstring>{L"U\\Marrowby", L"U\\Marrowby\\MWClientServer"});

    INFO("a second install's per-user copy is the same file: planned once");
    PlanReplacement(L"L\\server.key", L"C:\\B\\MWClientServer", L"U\\Marrowby", L"server.key",
                    plan);
    CHECK(plan.writes.size() == 7);
    CHECK(plan.checks.size() == expected.size() + 3);
}
