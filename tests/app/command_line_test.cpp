// Tests of the command line's parsing and of where boxes are shown.
#include "app/command_line.h"

#include <doctest/doctest.h>

using namespace qm;

namespace {
using Args = std::vector<std::wstring>;

// What a row expects; "!" before a text marks the argument that must be refused.
struct Row {
    Args arguments;
    const wchar_t* expected; // flags: q quiet, p preview, h help, l log, r restore, a allusers,
                             // o allowolder, c check, j json
    const wchar_t* logPath;
    const wchar_t* restoreStamp;
    const wchar_t* offending;
};

std::wstring Flags(const Options& options) {
    std::wstring flags;
    flags += options.quiet ? L"q" : L"";
    flags += options.preview ? L"p" : L"";
    flags += options.help ? L"h" : L"";
    flags += options.log ? L"l" : L"";
    flags += options.restore ? L"r" : L"";
    flags += options.allUsers ? L"a" : L"";
    flags += options.allowOlder ? L"o" : L"";
    flags += options.check ? L"c" : L"";
    flags += options.json ? L"j" : L"";
    return flags;
}
} // namespace

TEST_CASE("command_line_parse_table") {
    const Row rows[] = {
        {{}, L"", L"", L"", L""},
        {{L"/quiet"}, L"q", L"", L"", L""},
        {{L"-QUIET"}, L"q", L"", L"", L""},
        {{L"/Preview", L"/quiet"}, L"qp", L"", L"", L""},
        {{L"/?"}, L"h", L"", L"", L""},
        {{L"-help"}, L"h", L"", L"", L""},
        {{L"/log"}, L"l", L"", L"", L""},
        {{L"/log:C:\\logs\\qm.log"}, L"l", L"C:\\logs\\qm.log", L"", L""},
        // Only the first colon separates: the drive's colon stays in the path.
        {{L"/LOG:D:\\a:b"}, L"l", L"D:\\a:b", L"", L""},
        {{L"/log", L"C:\\x y\\qm.log", L"/quiet"}, L"ql", L"C:\\x y\\qm.log", L"", L""},
        // A switch after /log is not its path.
        {{L"/log", L"/quiet"}, L"ql", L"", L"", L""},
        {{L"/restore"}, L"r", L"", L"", L""},
        {{L"/AllUsers", L"/preview"}, L"pa", L"", L"", L""},
        {{L"/restore:20261209T102425Z", L"/preview"}, L"pr", L"", L"20261209T102425Z", L""},
        // Refused: unknown switches, bare words, empty values, values where none belong,
        // a second log or restore.
        {{L"/quit"}, L"", L"", L"", L"/quit"},
        {{L"quiet"}, L"", L"", L"", L"quiet"},
        {{L"/"}, L"", L"", L"", L"/"},
        {{L"/log:"}, L"", L"", L"", L"/log:"},
        {{L"/restore:"}, L"", L"", L"", L"/restore:"},
        {{L"/quiet:yes"}, L"", L"", L"", L"/quiet:yes"},
        {{L"/allusers:no"}, L"", L"", L"", L"/allusers:no"},
        {{L"/AllowOlder", L"/quiet"}, L"qo", L"", L"", L""},
        {{L"/allowolder:yes"}, L"", L"", L"", L"/allowolder:yes"},
        {{L"/Check", L"/allusers"}, L"ac", L"", L"", L""},
        // A restore has no "current" to check against.
        {{L"/check", L"/restore"}, L"rc", L"", L"", L"/check"},
        {{L"/log:a", L"/log:b"}, L"l", L"a", L"", L"/log:b"},
        {{L"/restore", L"/restore:x"}, L"r", L"", L"", L"/restore:x"},
        // The first offender is named; a /quiet after it still counts.
        {{L"/x", L"/y", L"/quiet"}, L"q", L"", L"", L"/x"},
        {{L"/log", L"a", L"b"}, L"l", L"a", L"", L"b"},
        {{L"/JSON", L"/log"}, L"lj", L"", L"", L""},
        {{L"/json:"}, L"", L"", L"", L"/json:"},
        {{L"/json:a", L"/json"}, L"j", L"", L"", L"/json"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.offending);
        CAPTURE(row.arguments.size());
        const ParsedCommandLine parsed = ParseCommandLine(row.arguments);
        CHECK(parsed.options.hasArguments == !row.arguments.empty());
        CHECK(Flags(parsed.options) == row.expected);
        CHECK(parsed.options.logPath == row.logPath);
        CHECK(parsed.options.restoreStamp == row.restoreStamp);
        CHECK(parsed.understood == (row.offending[0] == L'\0'));
        CHECK(parsed.offending == row.offending);
    }
}

TEST_CASE("command_line_json_path_is_its_own") {
    const Options options = ParseCommandLine({L"/json", L"C:\\r.json", L"/log:C:\\q.log"}).options;
    CHECK(options.jsonPath == L"C:\\r.json");
    CHECK(options.logPath == L"C:\\q.log");
}

TEST_CASE("command_line_usage_names_offender") {
    CHECK(UsageText(L"").find(L"/quiet") != std::wstring::npos);
    CHECK(UsageText(L"/bogus").find(L"/bogus") != std::wstring::npos);
    CHECK(UsageText(L"").find(L"/bogus") == std::wstring::npos);
}

TEST_CASE("command_line_boxes_only_where_seen") {
    CHECK(ShouldShowBoxes(false, true));
    CHECK_FALSE(ShouldShowBoxes(true, true));
    CHECK_FALSE(ShouldShowBoxes(false, false)); // session 0: as if /quiet
    CHECK_FALSE(ShouldShowBoxes(true, false));
}

TEST_CASE("command_line_desktop_visible_table") {
    struct Row {
        const char* what;
        DesktopFacts facts;
        bool visible;
    };
    const Row rows[] = {
        {"a user's session", {true, true, true, 1}, true},
        {"a second user's session on a terminal server", {true, true, true, 2}, true},
        {"SYSTEM in session 0: its station is flagged visible", {true, true, true, 0}, false},
        {"a service's station", {true, false, true, 0}, false},
        {"an invisible station outside session 0", {true, false, true, 1}, false},
        {"the station unreadable, session 0", {false, false, true, 0}, false},
        {"the station unreadable, a user's session", {false, false, true, 1}, true},
        {"the session unreadable, a visible station", {true, true, false, 0}, true},
        {"nothing readable: boxes as always", {false, false, false, 0}, true},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.what));
        CHECK(IsDesktopVisible(row.facts) == row.visible);
    }
}
