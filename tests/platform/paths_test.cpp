// Tests of the path rules.
#include "platform/paths.h"

#include <doctest/doctest.h>

using namespace qm;

TEST_CASE("paths_join_separator") {
    CHECK(JoinPath(L"C:\\A", L"x.txt") == L"C:\\A\\x.txt");
    // A name that brings its own backslash is appended unchanged.
    CHECK(JoinPath(L"C:\\A", L"\\MWClientServer") == L"C:\\A\\MWClientServer");
    // Nothing is normalised: a folder ending in a backslash gives a doubled one.
    CHECK(JoinPath(L"C:\\A\\", L"x") == L"C:\\A\\\\x");
    CHECK(JoinPath(L"", L"LicenseFile") == L"\\LicenseFile");
}

TEST_CASE("paths_parent_and_trim") {
    CHECK(ParentFolder(L"C:\\A\\X") == L"C:\\A");
    CHECK(ParentFolder(L"C:\\A\\X\\") == L"C:\\A\\X");
    CHECK(ParentFolder(L"Suite") == L"");
    CHECK(ParentFolder(L"\\x") == L"");
    CHECK(TrimTrailingBackslash(L"C:\\A\\X\\") == L"C:\\A\\X");
    // Only one backslash goes.
    CHECK(TrimTrailingBackslash(L"C:\\A\\\\") == L"C:\\A\\");
    CHECK(TrimTrailingBackslash(L"") == L"");
    CHECK(TrimTrailingBackslash(L"\\") == L"");
}
