// Tests of the user error's message and code.
#include "platform/user_error.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("user_error_format_placeholders") {
    CHECK(FormatUserMessage(L"[%s], Errcode: %d", {L"C:\\u", 5}) == L"[C:\\u], Errcode: 5");
    // DWORD error codes print as signed 32-bit numbers, as "%d" would.
    CHECK(FormatUserMessage(L"%d", {0xFFFFFFFFul}) == L"-1");
    CHECK(FormatUserMessage(L"100%% %s", {L"x"}) == L"100% x");
    // Missing arguments leave the placeholder as text rather than reading garbage.
    CHECK(FormatUserMessage(L"a %s b", {}) == L"a %s b");
}

TEST_CASE("user_error_throws_narrow_text") {
    try {
        ThrowUserError(L"Errcode: %d", {32});
        FAIL("no exception");
    } catch (const std::exception& e) {
        CHECK(std::string(e.what()) == "Errcode: 32");
    }
}
