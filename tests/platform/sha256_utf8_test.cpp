// Tests of SHA-256 and the UTF-8 conversions.
#include "platform/sha256.h"
#include "platform/utf8.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("sha256_known_digests") {
    struct Row {
        std::string input;
        const char* digest;
    };
    const Row rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits in the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.input.size());
        CHECK(Sha256Hex(row.input) == row.digest);
    }
    SUBCASE("fed in pieces across block edges") {
        const std::string text(200, 'x');
        Sha256 pieces;
        for (size_t at = 0; at < text.size(); at += 7) {
            pieces.Update(text.data() + at, std::min<size_t>(7, text.size() - at));
        }
        CHECK(pieces.FinishHex() == Sha256Hex(text));
    }
}

TEST_CASE("utf8_conversion") {
    CHECK(ToUtf8(L"C:\\a") == "C:\\a");
    CHECK(ToUtf8(L"\u7B7E\u7AE0") == "\xE7\xAD\xBE\xE7\xAB\xA0"); // 签章
    // A pair of surrogates is one code point; a lone one becomes U+FFFD and the text goes on.
    std::wstring pair;
    pair += static_cast<wchar_t>(0xD83D);
    pair += static_cast<wchar_t>(0xDE00);
    if (sizeof(wchar_t) == 2) {
        CHECK(ToUtf8(pair) == "\xF0\x9F\x98\x80");
    }
    std::wstring lone = L"a";
    lone += static_cast<wchar_t>(0xDC00);
    lone += L"b";
    CHECK(ToUtf8(lone) == "a\xEF\xBF\xBD"
                          "b");
}
