// The catalogue lookup on real files in the prefix's roaming AppData folder.
#include "discovery/catalogue_lookup.h"

#include <doctest/doctest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

using namespace qm;
namespace fs = std::filesystem;

namespace {

fs::path RoamingAppData() {
    wchar_t buffer[MAX_PATH] = {};
    REQUIRE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, FALSE));
    return fs::path(buffer);
}

// Creates AppData\MWInstall\App for one case and removes the whole MWInstall folder after.
class Catalogue {
public:
    Catalogue() : root_(RoamingAppData() / L"MWInstall") {
        REQUIRE_FALSE(fs::exists(root_)); // never delete a catalogue the test did not make
        fs::create_directories(root_ / L"App");
    }
    ~Catalogue() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void Write(const fs::path& relative, const std::string& bytes) const {
        const fs::path path = root_ / L"App" / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void WriteRef(const std::string& refValue) const {
        Write(L"common_ref.xml", "<ref>\r\n  <Component ref='" + refValue + "'/>\r\n</ref>\r\n");
    }

private:
    fs::path root_;
};

const std::string kSetup = "<Setup><AppPath>D:\\Suite\\App</AppPath></Setup>";

} // namespace

TEST_CASE("catalogue_lookup_missing_parts_leave_output") {
    std::wstring output = L"kept";
    SUBCASE("no catalogue folder") {
        CHECK_FALSE(GetCatalogueAppPath(output));
    }
    SUBCASE("no common_ref.xml") {
        Catalogue catalogue;
        catalogue.Write(L"Suite\\components.xml", kSetup);
        CHECK_FALSE(GetCatalogueAppPath(output));
    }
    SUBCASE("common_ref.xml without the attribute") {
        Catalogue catalogue;
        catalogue.Write(L"common_ref.xml", "<ref><Component name='Suite;1'/></ref>");
        catalogue.Write(L"Suite\\components.xml", kSetup);
        CHECK_FALSE(GetCatalogueAppPath(output));
    }
    SUBCASE("components.xml missing in the component's folder") {
        Catalogue catalogue;
        catalogue.WriteRef("Suite;2.0");
        CHECK_FALSE(GetCatalogueAppPath(output));
    }
    CHECK(output == L"kept");
}

TEST_CASE("catalogue_lookup_component_folder") {
    Catalogue catalogue;
    catalogue.Write(L"Suite\\components.xml", kSetup);
    catalogue.Write(L"components.xml", "<Setup><AppPath>E:\\Own</AppPath></Setup>");
    std::wstring output;
    SUBCASE("name cut at the first semicolon") {
        catalogue.WriteRef("Suite;2.0");
        CHECK(GetCatalogueAppPath(output));
        CHECK(output == L"D:\\Suite\\App");
    }
    SUBCASE("no semicolon: the catalogue folder's own components.xml") {
        catalogue.WriteRef("Suite");
        CHECK(GetCatalogueAppPath(output));
        CHECK(output == L"E:\\Own");
    }
}

TEST_CASE("catalogue_lookup_code_page") {
    // The tests run with the Chinese ANSI code page (936): the AppPath bytes are GBK and are
    // decoded as such, even after a UTF-8 byte-order mark.
    REQUIRE(GetACP() == 936);
    Catalogue catalogue;
    catalogue.WriteRef("Suite;1");
    catalogue.Write(L"Suite\\components.xml",
                    "\xEF\xBB\xBF<Setup><AppPath>D:\\\xD6\xD0\xCE\xC4</AppPath></Setup>");
    std::wstring output;
    CHECK(GetCatalogueAppPath(output));
    CHECK(output == L"D:\\\u4E2D\u6587"); // D:\中文
}

TEST_CASE("catalogue_lookup_errors_reach_the_caller") {
    Catalogue catalogue;
    catalogue.WriteRef("Suite;1");
    std::wstring output;
    SUBCASE("text before the root element") {
        catalogue.Write(L"Suite\\components.xml", "oops" + kSetup);
        CHECK_THROWS_WITH(GetCatalogueAppPath(output), "expected <");
    }
    SUBCASE("empty components.xml is no error") {
        catalogue.Write(L"Suite\\components.xml", "");
        CHECK_FALSE(GetCatalogueAppPath(output));
        CHECK(output.empty());
    }
}
