#pragma once
// The run's JSON record as the tests read it back, and the example the usage guide shows.
#include <doctest/doctest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/e2e/harness/e2e_harness.h"

namespace qm::e2e {

using Json = nlohmann::ordered_json;

inline Json RecordAt(const std::wstring& path) {
    std::string bytes;
    REQUIRE(ReadBytes(path, bytes));
    // UTF-8 without a byte-order mark: every JSON reader takes it.
    CHECK(bytes.rfind("\xEF\xBB\xBF", 0) != 0);
    return Json::parse(bytes);
}

// Every key of a document, by where it stands ("targets[].path"); in containers, the paths of
// the objects and arrays that hold something.
inline void KeyPaths(const Json& value, const std::string& at, std::set<std::string>& paths,
                     std::set<std::string>& containers) {
    if (value.is_object() || value.is_array()) {
        if (!value.empty()) {
            containers.insert(at);
        }
    }
    if (value.is_object()) {
        for (const auto& [key, item] : value.items()) {
            paths.insert(at + "." + key);
            KeyPaths(item, at + "." + key, paths, containers);
        }
    } else if (value.is_array()) {
        for (const Json& item : value) {
            KeyPaths(item, at + "[]", paths, containers);
        }
    }
}

// The example record the usage guide shows.
inline Json DocumentedRecord() {
    std::ifstream file(QM_USAGE_DOC);
    std::stringstream text;
    text << file.rdbuf();
    const std::string doc = text.str();
    const size_t start = doc.find("```json\n", doc.find("## The record"));
    REQUIRE(start != std::string::npos);
    const size_t body = start + 8;
    return Json::parse(doc.substr(body, doc.find("```", body) - body));
}

// Every key the record has is in the example, and every key of the example is in the record
// wherever the record holds something there (a run without programs lists none).
inline void CheckDocumented(const Json& record) {
    std::set<std::string> documented;
    std::set<std::string> written;
    std::set<std::string> documentedContainers;
    std::set<std::string> containers;
    KeyPaths(DocumentedRecord(), "", documented, documentedContainers);
    KeyPaths(record, "", written, containers);
    for (const std::string& key : written) {
        CHECK_MESSAGE(documented.count(key) == 1, "not in the usage guide: " << key);
    }
    for (const std::string& key : documented) {
        const std::string parent = key.substr(0, key.find_last_of('.'));
        const std::string holder =
            parent.size() > 2 && parent.compare(parent.size() - 2, 2, "[]") == 0
                ? parent.substr(0, parent.size() - 2)
                : parent;
        if (containers.count(holder) == 1) {
            CHECK_MESSAGE(written.count(key) == 1, "not in the record: " << key);
        }
    }
}

} // namespace qm::e2e
