// Tests of the components.xml reader.
#include "discovery/catalogue_lookup.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

using namespace qm;
namespace fs = std::filesystem;

namespace {

// A components.xml in a scratch folder that is removed afterwards.
class ComponentsFile {
public:
    explicit ComponentsFile(const std::string& bytes) {
        folder_ = fs::temp_directory_path() / "qm-components-test";
        fs::create_directories(folder_);
        path_ = folder_ / "components.xml";
        std::ofstream out(path_, std::ios::binary);
        out << bytes;
    }
    ~ComponentsFile() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    fs::path folder_;
    fs::path path_;
};

std::wstring Read(const std::string& bytes) {
    ComponentsFile file(bytes);
    return ReadComponentsAppPath(file.path().c_str());
}

std::string ErrorOf(const std::string& bytes) {
    try {
        Read(bytes);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST_CASE("components_reader_finds_app_path") {
    CHECK(Read("<Setup><AppPath>D:\\Suite\\App</AppPath></Setup>") == L"D:\\Suite\\App");
    SUBCASE("first child whose name holds AppPath wins") {
        CHECK(Read("<Setup><Version>1</Version><AppPathX>X</AppPathX><AppPath>P</AppPath>"
                   "</Setup>") == L"X");
        CHECK(Read("<Setup><DefaultAppPath>D</DefaultAppPath></Setup>") == L"D");
        CHECK(Read("<Setup><apppath>x</apppath></Setup>") == L"");
    }
    SUBCASE("only the first top-level Setup, letter case significant") {
        CHECK(Read("<Setup><Version/></Setup><Setup><AppPath>P</AppPath></Setup>") == L"");
        CHECK(Read("<Other/><Setup><AppPath>P</AppPath></Setup>") == L"P");
        CHECK(Read("<setup><AppPath>P</AppPath></setup>") == L"");
    }
    SUBCASE("value as the parser gives it") {
        CHECK(Read("<Setup><AppPath>D:\\A&amp;B</AppPath></Setup>") == L"D:\\A&B");
        CHECK(Read("<Setup><AppPath> D:\\S </AppPath></Setup>") == L" D:\\S ");
        CHECK(Read("<Setup><AppPath></AppPath></Setup>") == L"");
        // The closing tag's name is not compared.
        CHECK(Read("<Setup><AppPath>D:\\Suite\\App</Path></Setup>") == L"D:\\Suite\\App");
    }
    SUBCASE("byte-order mark and empty file") {
        CHECK(Read("\xEF\xBB\xBF<Setup><AppPath>D:\\B</AppPath></Setup>") == L"D:\\B");
        CHECK(Read("") == L"");
        CHECK(Read("<?xml version='1.0'?>\r\n<!-- c -->\r\n<Setup>\r\n <AppPath>E</AppPath>"
                   "\r\n</Setup>\r\n") == L"E");
    }
}

TEST_CASE("components_reader_reports_errors") {
    CHECK(ErrorOf("x<Setup/>") == "expected <");
    CHECK(ErrorOf("<Setup><AppPath>x</AppPath>") == "unexpected end of data");
    SUBCASE("missing file names the path") {
        const std::string missing =
            (fs::temp_directory_path() / "qm-no-such-folder" / "components.xml").string();
        CHECK(ErrorOf("") == "(no error)");
        try {
            ReadComponentsAppPath(missing.c_str());
            FAIL("no exception");
        } catch (const std::runtime_error& e) {
            CHECK(std::string(e.what()) == "cannot open file " + missing);
        }
    }
    SUBCASE("deep nesting is refused, not a stack overflow") {
        std::string deep;
        for (int i = 0; i < 100000; ++i) {
            deep += "<Setup>";
        }
        // Markup that the parser reads differently from a naive scan comes first.
        for (const std::string lead : {"", "<Setup\">", "<Setup a\"b='1'>", "<!ENTITY x [>"}) {
            CAPTURE(lead);
            CHECK(ErrorOf(lead + deep) == "elements nested too deeply");
        }
        std::string fine = "<Setup><AppPath>P</AppPath>";
        for (int i = 0; i < 900; ++i) {
            fine += "<d>";
        }
        for (int i = 0; i < 900; ++i) {
            fine += "</d>";
        }
        CHECK(Read(fine + "</Setup>") == L"P");
    }
}
