// Tests of the file query.
#include "xml/xml_file_query.h"

#include <doctest/doctest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/codepage.h"

using namespace qm;

namespace {

std::wstring WidePath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return ToWide(path.string());
#endif
}

// A scratch folder that is removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("qm_xml_query_" + std::to_string(counter++) + "_" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::wstring Write(const std::string& name, const std::string& bytes) const {
        std::ofstream file(path_ / name, std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return WidePath(path_ / name);
    }
    std::filesystem::path Path(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

const char kCatalogue[] = "<ref><Component ref='Comp1;x'/></ref>";

} // namespace

TEST_CASE("split_string_parts") {
    struct Row {
        const wchar_t* text;
        const wchar_t* separator;
        std::vector<std::wstring> parts;
    };
    const Row rows[] = {
        {L"ref/Component", L"/", {L"ref", L"Component"}},
        {L"a//b", L"/", {L"a", L"", L"b"}},
        {L"a/", L"/", {L"a", L""}},
        {L"a/b/c", L"/", {L"a", L"b", L"c"}},
        {L"ref", L"/", {}},
        {L"/ref", L"/", {}},
        {L"/ref/Component", L"/", {}},
        {L"", L"/", {}},
        {L"a/b", L"", {}},
        {L"a::b::", L"::", {L"a", L"b", L""}},
    };
    for (const Row& row : rows) {
        CAPTURE(ToNarrow(row.text));
        std::vector<std::wstring> parts{L"stale"};
        CHECK(SplitString(row.text, row.separator, parts) == static_cast<int>(row.parts.size()));
        CHECK(parts == row.parts);
    }
}

TEST_CASE("query_attribute_and_data") {
    TempFolder folder;
    SUBCASE("the whole attribute value") {
        const std::wstring path = folder.Write("common_ref.xml", kCatalogue);
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"Comp1;x");
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"Ref").empty());
        CHECK(QueryXmlFileValue(path, L"ref", L"ref").empty());
        CHECK(QueryXmlFileValue(path, L"/ref/Component", L"ref").empty());
        CHECK(QueryXmlFileValue(path, L"", L"ref").empty());
        CHECK(QueryXmlFileValue(path, L"ref/Missing", L"ref").empty());
        CHECK(QueryXmlFileValue(path, L"ref/Component/x", L"ref").empty());
        // An empty part matches the first element whatever its name.
        CHECK(QueryXmlFileValue(path, L"/", L"ref").empty());
        CHECK(QueryXmlFileValue(path, L"ref/", L"ref") == L"Comp1;x");
    }
    SUBCASE("the root must come first in the path") {
        const std::wstring path =
            folder.Write("other.xml", "<cat><ref><Component ref='a'/></ref></cat>");
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref").empty());
        CHECK(QueryXmlFileValue(path, L"cat/ref/Component", L"ref") == L"a");
    }
    SUBCASE("the first of two matching children") {
        const std::wstring path =
            folder.Write("two.xml", "<ref><Component ref='first'/><Component ref='second'/></ref>");
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"first");
    }
    SUBCASE("character data when no attribute is named") {
        const std::wstring path =
            folder.Write("data.xml", "<ref><Component>a&amp;bc</Component></ref>");
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"") == L"a&bc");
    }
    SUBCASE("a document that is not well formed gives nothing") {
        const std::wstring path =
            folder.Write("broken.xml", "<ref><Component ref='x'/><open></ref>");
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref").empty());
        const std::wstring two =
            folder.Write("siblings.xml", "<ref><Component ref='x'/></ref><b/>");
        CHECK(QueryXmlFileValue(two, L"ref/Component", L"ref").empty());
    }
    SUBCASE("a missing file or folder gives nothing") {
        CHECK(QueryXmlFileValue(WidePath(folder.Path("missing.xml")), L"ref/Component", L"ref")
                  .empty());
        CHECK(QueryXmlFileValue(WidePath(folder.Path("")), L"ref/Component", L"ref").empty());
    }
}

TEST_CASE("query_file_bytes_as_characters") {
    TempFolder folder;
    SUBCASE("a UTF-8 byte-order mark is text before the root") {
        const std::wstring path = folder.Write("bom.xml", std::string("\xEF\xBB\xBF") + kCatalogue);
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"Comp1;x");
    }
    SUBCASE("CRLF line ends: CRs are whitespace, LFs are left out") {
        const std::wstring path = folder.Write(
            "crlf.xml",
            "<?xml version=\"1.0\"?>\r\n<ref>\r\n  <Component ref='a\nb'/>\r\n</ref>\r\n");
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"ab");
    }
    SUBCASE("the text ends at the first zero byte") {
        const std::wstring path =
            folder.Write("zero.xml", std::string("<ref><Component ref='x'/></ref>\0<b/>", 36));
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"x");
        const std::wstring cut =
            folder.Write("cut.xml", std::string("<ref><Component ref='x'/>\0</ref>", 32));
        CHECK(QueryXmlFileValue(cut, L"ref/Component", L"ref").empty());
    }
    SUBCASE("bytes above 0x7F come back through the narrow code page") {
        // Each byte is a character of the same value: 'A' with acute (0xC1) is not taken
        // as the lead byte of a UTF-8 sequence.
        const std::wstring path = folder.Write("latin.xml", "<ref><Component ref='\xC1x'/></ref>");
        const std::wstring value = QueryXmlFileValue(path, L"ref/Component", L"ref");
        REQUIRE(value.size() == 2);
        CHECK(value[1] == L'x');
        std::string narrow;
        REQUIRE(WideToNarrow(std::wstring(1, wchar_t(0xC1)), narrow));
        std::wstring expected;
        REQUIRE(NarrowToWide(narrow + "x", expected));
        CHECK(value == expected);
    }
    SUBCASE("a file open for writing elsewhere can still be read") {
        const std::wstring path = folder.Write("open.xml", kCatalogue);
        std::ofstream writer(folder.Path("open.xml"), std::ios::binary | std::ios::app);
        REQUIRE(writer.is_open());
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"Comp1;x");
    }
    SUBCASE("a catalogue saved by the installer") {
        const std::wstring path = folder.Write("installer.xml", [] {
            std::ifstream data(QM_XML_TEST_DATA "/common_ref.xml", std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(data), {});
        }());
        CHECK(QueryXmlFileValue(path, L"ref/Component", L"ref") == L"MWClientServer;1.0.0.112");
    }
}
