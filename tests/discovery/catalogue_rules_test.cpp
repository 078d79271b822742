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

TEST_CASE("catalogue_nesting_guard") {
    SUBCASE("counts only open elements") {
        CHECK(ElementNestingWithin("<a><b><c/></b><b/></a>", 2));
        CHECK_FALSE(ElementNestingWithin("<a><b><c></c></b></a>", 2));
        CHECK(ElementNestingWithin("", 0));
    }
    SUBCASE("markup that opens nothing") {
        CHECK(ElementNestingWithin("<?xml version='1.0'?><!-- <a><b> --><r><![CDATA[<x><y>]]></r>",
                                   1));
        CHECK(ElementNestingWithin("<!DOCTYPE r [<!ELEMENT r ANY>]><r/>", 1));
        // A '>' inside a quoted value does not end the tag; "/>" inside quotes is not empty.
        CHECK(ElementNestingWithin("<r a='>'><s b=\"/>\"/></r>", 2));
        CHECK_FALSE(ElementNestingWithin("<r a='>'><s b=\"/>\"></s></r>", 1));
    }
    SUBCASE("hostile depth") {
        std::string deep;
        for (int i = 0; i < 100000; ++i) {
            deep += "<a>";
        }
        CHECK_FALSE(ElementNestingWithin(deep.c_str(), 1000));
        CHECK(ElementNestingWithin(deep.c_str(), 100000));
    }
    SUBCASE("unterminated constructs end the scan") {
        CHECK(ElementNestingWithin("<!-- never closed <a><b><c>", 1));
        // The tags inside the unclosed quote are not counted.
        CHECK(ElementNestingWithin("<a x='never closed <b><c>", 1));
    }
}
