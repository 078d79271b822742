// Tests of the catalogue's path and name rules.
#include "discovery/catalogue_rules.h"

#include <doctest/doctest.h>

#include <string>

using namespace qm;

TEST_CASE("catalogue_component_name_cut") {
    CHECK(CatalogueComponentName(L"Suite;2.0") == L"Suite");
    CHECK(CatalogueComponentName(L"Suite;2.0;x") == L"Suite");
    // Without ";" no component is named: not the whole value.
    CHECK(CatalogueComponentName(L"Suite") == L"");
    CHECK(CatalogueComponentName(L";tail") == L"");
}

TEST_CASE("catalogue_components_path_joined_as_text") {
    CHECK(ComponentsFilePath(L"C:\\u\\MWInstall\\App", L"Suite") ==
          L"C:\\u\\MWInstall\\App\\Suite\\components.xml");
    CHECK(ComponentsFilePath(L"C:\\A", L"") == L"C:\\A\\\\components.xml");
    CHECK(ComponentsFilePath(L"C:\\A", L"S\\") == L"C:\\A\\S\\\\components.xml");
}

TEST_CASE("catalogue_folder_capacity") {
    CHECK(CatalogueFolderFits(std::wstring(259, L'a')));
    CHECK_FALSE(CatalogueFolderFits(std::wstring(260, L'a')));
}
