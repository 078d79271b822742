// Reads the install folder from the installer's components.xml with rapidxml.
#include "discovery/catalogue_lookup.h"
#include "discovery/element_nesting.h"
#include "platform/codepage.h"

#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_utils.hpp>

#include <cstring>
#include <stdexcept>

namespace qm {

namespace {

// Far beyond any real catalogue (a few levels), and shallow enough for the parser's recursion
// to stay well inside the main thread's stack. Deeper files are refused before parsing.
constexpr std::size_t kMaxElementNesting = 1000;
constexpr int kDefaultParseFlags = 0;

bool NameIs(const rapidxml::xml_node<char>& node, const char* name) {
    const std::size_t length = std::strlen(name);
    return node.name_size() == length && std::memcmp(node.name(), name, length) == 0;
}

bool NameContains(const rapidxml::xml_node<char>& node, const char* part) {
    const std::size_t length = std::strlen(part);
    if (node.name_size() < length) {
        return false;
    }
    const char* name = node.name();
    for (std::size_t at = 0; at + length <= node.name_size(); ++at) {
        if (std::memcmp(name + at, part, length) == 0) {
            return true;
        }
    }
    return false;
}

// The text of the first child of the first top-level "Setup" whose name holds "AppPath".
const char* FindAppPathValue(rapidxml::xml_document<char>& document) {
    rapidxml::xml_node<char>* setup = document.first_node();
    while (setup && !NameIs(*setup, "Setup")) {
        setup = setup->next_sibling();
    }
    if (!setup) {
        return nullptr;
    }
    for (auto* child = setup->first_node(); child; child = child->next_sibling()) {
        if (NameContains(*child, "AppPath")) {
            return child->value();
        }
    }
    return nullptr;
}

} // namespace

std::wstring ReadComponentsAppPath(const char* narrowPath) {
    rapidxml::file<char> loaded(narrowPath); // throws "cannot open file " + path
    if (DeepestElementNesting(loaded.data()) > kMaxElementNesting) {
        throw std::runtime_error("elements nested too deeply");
    }
    rapidxml::xml_document<char> document;
    document.parse<kDefaultParseFlags>(loaded.data());

    const char* value = FindAppPathValue(document);
    std::wstring result;
    if (value == nullptr || !NarrowToWide(value, result)) {
        result.clear();
    }
    return result;
}

} // namespace qm
