// Runs against the real registry of the test prefix: the scratch keys below are created under
// HKEY_LOCAL_MACHINE and removed again by the fixture, before and after each case.
#include "discovery/registry_lookup.h"

#include "platform/win_handles.h"
#include "tests/discovery/registry_views.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace qm;

namespace {

const std::wstring kUninstall64 = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kUninstall32 =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Every Uninstall sub-key a case may create, removed in both views.
const wchar_t* const kScratchSubKeys[] = {
    L"MARROWBY",   L"Penloom 8.0",  L"Penloom V9 Standard", L"PENLOOM 9.0",      L"Penloom 9.0 SP1",
    L"V9-Penloom", L"Penloom V9 A", L"Penloom V9 B",        L"Zeta Other Suite",
};

UniqueRegKey CreateKey(const std::wstring& path) {
    UniqueRegKey key;
    REQUIRE(test::CreateKeyInView(path, key) == ERROR_SUCCESS);
    return key;
}

// Stores exactly the given bytes, so that cases control terminators and sizes.
void SetValueBytes(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data,
                   size_t size) {
    const UniqueRegKey key = CreateKey(keyPath);
    REQUIRE(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size)) == ERROR_SUCCESS);
}

// A string value stored with its terminator, as installers write it.
void SetAppPath(const std::wstring& keyPath, const std::wstring& text) {
    SetValueBytes(keyPath, L"App Path", REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

class ScratchRegistry {
public:
    ScratchRegistry() { Clean(); }
    ~ScratchRegistry() { Clean(); }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

private:
    static void Clean() {
        for (const wchar_t* name : kScratchSubKeys) {
            test::DeleteTreeInView(kUninstall64 + L"\\" + name);
            test::DeleteTreeInView(kUninstall32 + L"\\" + name);
        }
    }
};

std::wstring Vendor64(const wchar_t* product) {
    return kUninstall64 + L"\\MARROWBY\\" + product;
}
std::wstring Vendor32(const wchar_t* product) {
    return kUninstall32 + L"\\MARROWBY\\" + product;
}

std::wstring Collect() {
    std::wstring output = L"left over";
    CHECK(CollectVendorAppPaths(output) == 1);
    return output;
}

std::wstring FindLegacy() {
    std::wstring output = L"left over";
    CHECK(FindLegacyAppPath(output) == 1);
    return output;
}

// Counts the registry key handles the process holds by asking every small handle value
// whether it is a key (GetProcessHandleCount is not available everywhere, Wine answers 0).
int CountOpenKeyHandles() {
    constexpr uintptr_t kHandleStep = 4;
    constexpr uintptr_t kHighestHandle = 0x10000;
    int count = 0;
    for (uintptr_t value = kHandleStep; value < kHighestHandle; value += kHandleStep) {
        DWORD subKeys = 0;
        if (RegQueryInfoKeyW(reinterpret_cast<HKEY>(value), nullptr, nullptr, nullptr, &subKeys,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr) == ERROR_SUCCESS) {
            ++count;
        }
    }
    return count;
}

} // namespace

TEST_CASE("registry_vendor_collect_views") {
    ScratchRegistry registry;

    SUBCASE("no MARROWBY key in either view gives an empty output") {
        CHECK(Collect() == L"");
    }
    SUBCASE("highest index first, each path followed by a comma") {
        SetAppPath(Vendor64(L"Product A"), L"C:\\A");
        SetAppPath(Vendor64(L"Product B"), L"C:\\B");
        CHECK(Collect() == L"C:\\B,C:\\A,");
    }
    SUBCASE("the 64-bit view comes first and a product in both views is listed twice") {
        SetAppPath(Vendor64(L"Product A"), L"C:\\A");
        SetAppPath(Vendor32(L"Product A"), L"C:\\A");
        SetAppPath(Vendor32(L"Product B"), L"D:\\32");
        CHECK(Collect() == L"C:\\A,D:\\32,C:\\A,");
    }
    SUBCASE("only the WOW6432Node view") {
        SetAppPath(Vendor32(L"Product A"), L"D:\\Only32\\");
        CHECK(Collect() == L"D:\\Only32\\,");
    }
}

TEST_CASE("registry_vendor_collect_values") {
    ScratchRegistry registry;

    SUBCASE("a product without App Path adds nothing, not even a comma") {
        CreateKey(Vendor64(L"Product A"));
        SetValueBytes(Vendor64(L"Product A"), L"DisplayName", REG_SZ, L"x", 4);
        SetAppPath(Vendor64(L"Product B"), L"C:\\B");
        CHECK(Collect() == L"C:\\B,");
    }
    SUBCASE("an empty App Path adds a lone comma") {
        SetAppPath(Vendor64(L"Product A"), L"");
        CHECK(Collect() == L",");
    }
    SUBCASE("whitespace in the value is kept") {
        SetAppPath(Vendor64(L"Product A"), L" C:\\A ");
        CHECK(Collect() == L" C:\\A ,");
    }
    SUBCASE("255 characters with the terminator (512 bytes) are read") {
        const std::wstring longest(255, L'x');
        SetAppPath(Vendor64(L"Product A"), longest);
        CHECK(Collect() == longest + L",");
    }
    SUBCASE("256 characters with the terminator are passed over") {
        SetAppPath(Vendor64(L"Product A"), std::wstring(256, L'x'));
        SetAppPath(Vendor64(L"Product B"), L"C:\\B");
        CHECK(Collect() == L"C:\\B,");
    }
    SUBCASE("512 bytes stored without a terminator still end in one") {
        const std::wstring text(256, L'y');
        SetValueBytes(Vendor64(L"Product A"), L"App Path", REG_BINARY, text.data(),
                      text.size() * sizeof(wchar_t));
        CHECK(Collect() == text + L",");
    }
    SUBCASE("a value of another type is read as UTF-16 text up to its first zero") {
        const wchar_t bytes[] = L"C:\\Bin\0tail";
        SetValueBytes(Vendor64(L"Product A"), L"App Path", REG_BINARY, bytes, sizeof(bytes));
        CHECK(Collect() == L"C:\\Bin,");
    }
    SUBCASE("the output is replaced, not appended to") {
        SetAppPath(Vendor64(L"Product A"), L"C:\\A");
        std::wstring output = L"C:\\Old,";
        CollectVendorAppPaths(output);
        CHECK(output == L"C:\\A,");
    }
}

TEST_CASE("registry_legacy_find_matching") {
    ScratchRegistry registry;

    SUBCASE("nothing registered gives an empty output") {
        CHECK(FindLegacy() == L"");
    }
    SUBCASE("names that match the rule") {
        for (const wchar_t* name : {L"Penloom V9 Standard", L"PENLOOM 9.0", L"V9-Penloom"}) {
            CAPTURE(name);
            SetAppPath(kUninstall64 + L"\\" + name, std::wstring(L"C:\\") + name);
            CHECK(FindLegacy() == std::wstring(L"C:\\") + name);
            test::DeleteTreeInView(kUninstall64 + L"\\" + name);
        }
    }
    SUBCASE("names that do not match, and the value is not looked at for them") {
        SetAppPath(kUninstall64 + L"\\Penloom 9.0 SP1", L"C:\\SP1");
        SetAppPath(kUninstall64 + L"\\Penloom 8.0", L"C:\\Eight");
        SetAppPath(kUninstall64 + L"\\Zeta Other Suite", L"C:\\Zeta");
        CHECK(FindLegacy() == L"");
    }
    SUBCASE("two matches in one view: the higher index wins") {
        SetAppPath(kUninstall64 + L"\\Penloom V9 A", L"C:\\A");
        SetAppPath(kUninstall64 + L"\\Penloom V9 B", L"C:\\B");
        CHECK(FindLegacy() == L"C:\\B");
    }
    SUBCASE("an unreadable higher match gives way to the lower one") {
        SetAppPath(kUninstall64 + L"\\Penloom V9 A", L"C:\\A");
        SetAppPath(kUninstall64 + L"\\Penloom V9 B", std::wstring(300, L'b'));
        CHECK(FindLegacy() == L"C:\\A");
    }
    SUBCASE("a match without App Path is passed over") {
        CreateKey(kUninstall64 + L"\\Penloom V9 B");
        SetAppPath(kUninstall64 + L"\\Penloom V9 A", L"C:\\A");
        CHECK(FindLegacy() == L"C:\\A");
    }
}

TEST_CASE("registry_legacy_find_views") {
    ScratchRegistry registry;

    SUBCASE("a hit in the 32-bit view replaces one in the 64-bit view") {
        SetAppPath(kUninstall64 + L"\\Penloom V9 Standard", L"C:\\Sixty-four");
        SetAppPath(kUninstall32 + L"\\PENLOOM 9.0", L"C:\\Thirty-two");
        CHECK(FindLegacy() == L"C:\\Thirty-two");
    }
    SUBCASE("an unreadable 32-bit hit leaves the 64-bit one") {
        SetAppPath(kUninstall64 + L"\\Penloom V9 Standard", L"C:\\Sixty-four");
        SetAppPath(kUninstall32 + L"\\PENLOOM 9.0", std::wstring(256, L'z'));
        CHECK(FindLegacy() == L"C:\\Sixty-four");
    }
    SUBCASE("only the 32-bit view") {
        SetAppPath(kUninstall32 + L"\\V9-Penloom", L"D:\\Legacy\\");
        CHECK(FindLegacy() == L"D:\\Legacy\\");
    }
}

TEST_CASE("registry_oldest_read_views") {
    ScratchRegistry registry;
    const std::wstring key64 = kUninstall64 + L"\\Penloom 8.0";
    const std::wstring key32 = kUninstall32 + L"\\Penloom 8.0";

    SUBCASE("no key in either view") {
        CHECK(ReadPenloom8AppPath() == L"");
    }
    SUBCASE("the 64-bit key") {
        SetAppPath(key64, L"C:\\Penloom8\\");
        CHECK(ReadPenloom8AppPath() == L"C:\\Penloom8\\");
    }
    SUBCASE("a key present only under WOW6432Node is found through the second open") {
        SetAppPath(key32, L"D:\\Penloom8");
        CHECK(ReadPenloom8AppPath() == L"D:\\Penloom8");
    }
    SUBCASE("a 64-bit key that opens hides the WOW6432Node one, even without a value") {
        CreateKey(key64);
        SetAppPath(key32, L"D:\\Penloom8");
        CHECK(ReadPenloom8AppPath() == L"");
    }
    SUBCASE("a value that needs more than 512 bytes counts as absent") {
        SetAppPath(key64, std::wstring(256, L'p'));
        CHECK(ReadPenloom8AppPath() == L"");
    }
    SUBCASE("255 characters are read") {
        SetAppPath(key64, std::wstring(255, L'p'));
        CHECK(ReadPenloom8AppPath() == std::wstring(255, L'p'));
    }
}

TEST_CASE("registry_lookup_keys_closed") {
    ScratchRegistry registry;
    SetAppPath(Vendor64(L"Product A"), L"C:\\A");
    CreateKey(Vendor64(L"Product B"));                           // opened, value missing
    SetAppPath(Vendor32(L"Product A"), std::wstring(300, L'x')); // opened, value too long
    SetAppPath(kUninstall64 + L"\\Penloom V9 A", L"C:\\A");
    CreateKey(kUninstall32 + L"\\Penloom V9 B");
    CreateKey(kUninstall64 + L"\\Penloom 8.0");

    // Warm up whatever the registry layer keeps open for itself.
    std::wstring output;
    CollectVendorAppPaths(output);
    FindLegacyAppPath(output);
    ReadPenloom8AppPath();

    const int before = CountOpenKeyHandles();
    {
        // The count itself must see a key that is held.
        const UniqueRegKey held = CreateKey(kUninstall64);
        REQUIRE(CountOpenKeyHandles() == before + 1);
    }
    for (int round = 0; round < 50; ++round) {
        CollectVendorAppPaths(output);
        FindLegacyAppPath(output);
        ReadPenloom8AppPath();
    }
    CHECK(CountOpenKeyHandles() == before);
}
