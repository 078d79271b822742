// The backup's pure rules: the manifest written and read back, what a damaged manifest gives,
// set names, and which sets a finished run removes.
#include "backup/backup_manifest.h"
#include "backup/backup_sets.h"

#include <doctest/doctest.h>

#include <cwchar>
#include <string>
#include <vector>

using namespace qm;

namespace {

const std::string kDigest(64, 'a');

BackupManifest SampleManifest() {
    BackupManifest manifest;
    // A path beyond the Chinese code page and one beyond the basic plane must come back whole.
    manifest.entries.push_back({BackupKind::Overwritten, L"C:\\签章\\MWClientServer\\server.key",
                                1234, kDigest, StoredNameFor(0, L"C:\\签章\\server.key")});
    manifest.entries.push_back({BackupKind::Created,
                                L"C:\\Users\\\u00e9\U0001F600\\MWClientServer\\server.pem", 0, "",
                                L""});
    BackupEntry linked{BackupKind::Overwritten, L"C:\\签章\\MWClientServer\\server.pem", 99,
                       std::string(64, 'b'), StoredNameFor(2, L"server.pem")};
    linked.linked = true;
    manifest.entries.push_back(linked);
    return manifest;
}

} // namespace

TEST_CASE("backup_manifest_round_trip") {
    for (const bool finished : {false, true}) {
        BackupManifest manifest = SampleManifest();
        manifest.finished = finished;
        const std::string text = ManifestText(manifest);
        CHECK(text.compare(0, 3, "\xEF\xBB\xBF") == 0);
        BackupManifest read;
        REQUIRE(ParseManifest(text, read));
        CHECK(read.finished == finished);
        REQUIRE(read.entries.size() == 3);
        for (size_t i = 0; i < 3; ++i) {
            CHECK(read.entries[i].linked == manifest.entries[i].linked);
            CHECK(read.entries[i].kind == manifest.entries[i].kind);
            CHECK(read.entries[i].originalPath == manifest.entries[i].originalPath);
            CHECK(read.entries[i].size == manifest.entries[i].size);
            CHECK(read.entries[i].sha256 == manifest.entries[i].sha256);
            CHECK(read.entries[i].storedName == manifest.entries[i].storedName);
        }
    }
    CHECK(StoredNameFor(0, L"C:\\签章\\server.key") == L"0001 server.key");
    CHECK(StoredNameFor(41, L"key.pem") == L"0042 key.pem");
}

TEST_CASE("backup_manifest_damaged_refused") {
    const std::string good = ManifestText(SampleManifest());
    const std::string header = "Quillmend backup set 1\r\n";
    const std::string path = "\tC:\\a\\server.key\r\n";
    struct Row {
        const char* what;
        std::string text;
        bool accepted;
    };
    const std::vector<Row> rows = {
        {"written by this program", good, true},
        {"LF line ends, no byte-order mark", "Quillmend backup set 1\ncreated\t-\t-\t-\tC:\\a\n",
         true},
        {"empty", "", false},
        {"cut off in its last line", good.substr(0, good.size() - 3), false},
        {"another header", "Quillmend backup set 2\r\n", false},
        {"unknown kind", header + "moved\t1\t" + kDigest + "\t0001 a" + path, false},
        {"a saved second name", header + "linked\t1\t" + kDigest + "\t0001 a" + path, true},
        {"a second name outside the set", header + "linked\t1\t" + kDigest + "\t..\\x" + path,
         false},
        {"size not a number", header + "overwritten\t1x\t" + kDigest + "\t0001 a" + path, false},
        {"digest too short", header + "overwritten\t1\t" + kDigest.substr(1) + "\t0001 a" + path,
         false},
        {"digest upper case",
         header + "overwritten\t1\t" + std::string(64, 'A') + "\t0001 a" + path, false},
        {"stored name leaves the set", header + "overwritten\t1\t" + kDigest + "\t..\\x" + path,
         false},
        {"stored name is the parent", header + "overwritten\t1\t" + kDigest + "\t.." + path, false},
        {"created with a digest", header + "created\t-\t" + kDigest + "\t-" + path, false},
        {"a field missing", header + "created\t-\t-" + path, false},
        {"no original path", header + "created\t-\t-\t-\t\r\n", false},
        {"path not UTF-8", header + "created\t-\t-\t-\tC:\\\xC0\xAF\r\n", false},
        {"path with an encoded surrogate", header + "created\t-\t-\t-\tC:\\\xED\xA0\x80\r\n",
         false},
        {"finished before the last line", header + "finished\r\ncreated\t-\t-\t-\tC:\\a\r\n",
         false},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.what));
        BackupManifest manifest;
        CHECK(ParseManifest(row.text, manifest) == row.accepted);
    }
}

TEST_CASE("backup_sets_names") {
    CHECK(SetStamp({2026, 12, 9, 7, 5, 3}) == L"20261209T070503Z");
    CHECK(SetName(L"20261209T070503Z", 1) == L"20261209T070503Z");
    CHECK(SetName(L"20261209T070503Z", 12) == L"20261209T070503Z-12");
    for (const wchar_t* name :
         {L"20261209T070503Z", L"20261209T070503Z-2", L"20261209T070503Z-999"}) {
        CHECK(IsSetName(name));
    }
    for (const wchar_t* name : {L"", L"20261209T070503", L"20261209 070503Z", L"20261209T07050aZ",
                                L"20261209T070503Z-", L"20261209T070503Z-1", L"20261209T070503Z-02",
                                L"20261209T070503Z-1000", L"20261209T070503Z.old", L"notes"}) {
        INFO(std::string(name, name + std::wcslen(name)));
        CHECK_FALSE(IsSetName(name));
    }
    // "-10" comes after "-9" although it sorts before it as text.
    CHECK(NewestSet({L"20261209T070503Z-9", L"20261209T070503Z-10", L"20261208T235959Z", L"zzz"}) ==
          L"20261209T070503Z-10");
    CHECK(NewestSet({L"20261208T235959Z", L"20261209T070503Z"}) == L"20261209T070503Z");
    CHECK(NewestSet({L"notes"}).empty());
}

TEST_CASE("backup_sets_pruning") {
    // Oldest first: 'F' finished, 'x' failed, 'u' failed with a rollback left unfinished; the
    // expected column marks what is removed.
    struct Row {
        const char* sets;
        const char* removed;
    };
    const std::vector<Row> rows = {
        {"FFFFF", "....."},       {"FFFFFF", "R....."},     {"FFFFFFFF", "RRR....."},
        {"xFFFFF", "R....."},     // five newer finished sets: the failed one goes too
        {"xFFFxF", "......"},     // only four newer finished: kept beyond the five newest
        {"xxxxxxxF", "........"}, // failures never push each other out
        {"FxxxxxF", "R......"},   // a finished set beyond the five newest goes at once
        {"xFFFFFFF", "RRR....."}, {"uFFFFFFF", ".RR....."}, // what a restore still needs is never
                                                            // removed
    };
    for (const Row& row : rows) {
        INFO(std::string(row.sets));
        std::vector<BackupSetInfo> sets;
        std::vector<std::wstring> expected;
        const std::string marks = row.sets;
        for (size_t i = 0; i < marks.size(); ++i) {
            // Stamps a second apart; given newest first so that the order given does not matter.
            const std::wstring name =
                SetName(SetStamp({2026, 12, 9, 8, 0, static_cast<int>(i)}), 1);
            sets.insert(sets.begin(), {name, marks[i] == 'F', marks[i] == 'u'});
            if (row.removed[i] == 'R') {
                expected.insert(expected.begin(), name);
            }
        }
        sets.push_back({L"notes", true}); // not a set: never removed
        CHECK(SetsToRemove(sets) == expected);
    }
}
