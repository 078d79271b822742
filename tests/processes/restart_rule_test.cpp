// Tests of the restart decision.
#include "processes/restart_rule.h"

#include <doctest/doctest.h>

#include <string>

using namespace qm;

namespace {

constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";
constexpr wchar_t kAdmin[] = L"S-1-5-21-1-2-3-500";

ProcessRights Rights(const wchar_t* user, ElevationType type, bool elevated, uint32_t integrity,
                     uint32_t session = 1) {
    return {true, user, type, elevated, integrity, session};
}

const ProcessRights kLimited = Rights(kUser, ElevationType::Limited, false, kIntegrityMedium);
const ProcessRights kFull = Rights(kUser, ElevationType::Full, true, kIntegrityHigh);
const ProcessRights kUnknown{};

RestartParent Parent(const ProcessRights& rights, bool alive = true, bool createdBefore = true) {
    return {true, alive, createdBefore, rights};
}
const RestartParent kNone{};

} // namespace

TEST_CASE("restart_rule_route_table") {
    struct Row {
        const char* what;
        ProcessRights recorded;
        RestartParent parent;
        RestartParent session;
        RestartRoute route;
    };
    const Row rows[] = {
        {"full token: the tool starts it", kFull, kNone, kNone, RestartRoute::FromTool},
        {"full token, limited parent alive", kFull, Parent(kLimited), kNone,
         RestartRoute::FromTool},
        {"a service at System integrity",
         Rights(L"S-1-5-18", ElevationType::Default, false, kIntegritySystem), kNone, kNone,
         RestartRoute::FromTool},
        {"an administrator without a split token",
         Rights(kAdmin, ElevationType::Default, true, kIntegrityHigh), kNone, kNone,
         RestartRoute::FromTool},
        {"limited, its parent alive", kLimited, Parent(kLimited), Parent(kLimited),
         RestartRoute::OriginalParent},
        {"limited, its parent gone, the session's shell", kLimited, Parent(kLimited, false),
         Parent(kLimited), RestartRoute::SessionProcess},
        {"limited, parent id reused by a later process", kLimited, Parent(kLimited, true, false),
         Parent(kLimited), RestartRoute::SessionProcess},
        {"limited, parent elevated (the tool's own kind)", kLimited, Parent(kFull), kNone,
         RestartRoute::NotStarted},
        {"limited, parent of another user", kLimited,
         Parent(Rights(kAdmin, ElevationType::Limited, false, kIntegrityMedium)), kNone,
         RestartRoute::NotStarted},
        {"limited, parent in another session", kLimited,
         Parent(Rights(kUser, ElevationType::Limited, false, kIntegrityMedium, 2)), kNone,
         RestartRoute::NotStarted},
        {"limited, parent at High integrity", kLimited,
         Parent(Rights(kUser, ElevationType::Limited, false, kIntegrityHigh)), kNone,
         RestartRoute::NotStarted},
        {"limited, parent gone, no shell of its own", kLimited, Parent(kLimited, false), kNone,
         RestartRoute::NotStarted},
        {"limited, parent could not be opened", kLimited,
         RestartParent{false, true, true, kLimited}, kNone, RestartRoute::NotStarted},
        {"limited, candidates' tokens unknown", kLimited, Parent(kUnknown), Parent(kUnknown),
         RestartRoute::NotStarted},
        {"standard user, its parent alive",
         Rights(kUser, ElevationType::Default, false, kIntegrityMedium),
         Parent(Rights(kUser, ElevationType::Default, false, kIntegrityMedium)), kNone,
         RestartRoute::OriginalParent},
        {"rights unknown, even with a parent", kUnknown, Parent(kLimited), Parent(kLimited),
         RestartRoute::NotStarted},
    };
    for (const Row& row : rows) {
        INFO(row.what);
        CHECK(DecideRestart(row.recorded, row.parent, row.session) == row.route);
    }
}

TEST_CASE("restart_rule_started_no_higher") {
    struct Row {
        const char* what;
        ProcessRights started;
        bool allowed;
    };
    const Row rows[] = {
        {"the same rights", kLimited, true},
        {"a full token for a limited program", kFull, false},
        {"the tool's token without a linked half",
         Rights(kUser, ElevationType::Default, true, kIntegrityHigh), false},
        {"a higher integrity", Rights(kUser, ElevationType::Limited, false, kIntegrityHigh), false},
        {"a lower integrity", Rights(kUser, ElevationType::Limited, false, kIntegrityLow), true},
        {"another user", Rights(kAdmin, ElevationType::Limited, false, kIntegrityMedium), false},
        {"another session", Rights(kUser, ElevationType::Limited, false, kIntegrityMedium, 0),
         false},
        {"a token that cannot be read", kUnknown, false},
    };
    for (const Row& row : rows) {
        INFO(row.what);
        CHECK(NoHigherRights(row.started, kLimited) == row.allowed);
    }
}

TEST_CASE("restart_rule_rights_text") {
    CHECK(DescribeRights(kLimited) ==
          L"user S-1-5-21-1-2-3-1001, elevation limited, integrity Medium, session 1");
    CHECK(DescribeRights(Rights(L"S-1-5-18", ElevationType::Default, false, kIntegritySystem, 0)) ==
          L"user S-1-5-18, elevation default, integrity System, session 0");
    CHECK(DescribeRights(kUnknown) == L"rights unknown");
}

TEST_CASE("restart_rule_from_tool_as_the_shell_did") {
    CHECK(ToolCommandLine(L"C:\\S\\MWSealService.exe", L" -i") ==
          L"\"C:\\S\\MWSealService.exe\"  -i");
    CHECK(ToolCommandLine(L"C:\\S\\MWClientServer.exe", L"") == L"\"C:\\S\\MWClientServer.exe\"");
    struct Row {
        uint32_t error;
        long shown;
    };
    const Row rows[] = {
        {2, 2}, {3, 3}, {5, 5}, {31, 31}, {32, 11}, {193, 11}, {740, 11},
    };
    for (const Row& row : rows) {
        CAPTURE(row.error);
        CHECK(ShellStyleStartError(row.error) == row.shown);
    }
}
