// Whole runs of the real Quillmend.exe with real certificates and keys in LicenseFile (made
// once by tests/data/certs/make.sh): what is refused before anything is stopped, and what the
// log names.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "tests/e2e/record_checks.h"
#include "tests/e2e/run_checks.h"

using namespace qm::e2e;

namespace {

std::string Certs(const char* name) {
    const std::string path = std::string(QM_TEST_CERTS "/") + name; // ASCII alone
    return BytesOf(std::wstring(path.begin(), path.end()));
}

} // namespace

TEST_CASE("e2e_payload_refusals") {
    REQUIRE(Scenario::ProgramAvailable());
    REQUIRE(Certs("good.pem").find("BEGIN CERTIFICATE") != std::string::npos);
    struct Row {
        const char* what;
        const char* key; // nullptr: an empty file
        const char* pem;
        const char* installedPem; // nullptr: the suite's own opaque file
        const wchar_t* arguments;
        int exitCode;
        const char* logged; // the box's start, or a line the log must hold
    };
    const std::vector<Row> rows = {
        {"a matching pair (PKCS#8) replaces an older certificate", "rsa.key", "good.pem",
         "older.pem", L"", 0, "valid 2020-01-01 to 2080-01-01"},
        {"PKCS#1", "rsa-pkcs1.key", "good.pem", nullptr, L"", 0, "(signature verified)"},
        {"EC (SEC1)", "ec.key", "ec.pem", nullptr, L"", 0, "(signature verified)"},
        {"EC (PKCS#8)", "ec-pkcs8.key", "ec.pem", nullptr, L"", 0, "(signature verified)"},
        {"an encrypted key is not checked", "encrypted.key", "good.pem", nullptr, L"", 0,
         "private key: "},
        {"another certificate's key", "other.key", "good.pem", nullptr, L"", 1, "box [错误] 私钥["},
        {"an EC key beside an RSA certificate", "ec.key", "good.pem", nullptr, L"", 1,
         "box [错误] 私钥["},
        {"foreseen by a preview", "other.key", "good.pem", nullptr, L" /preview", 1,
         "实际运行的结果: 错误: 私钥["},
        {"a preview names the certificate it deploys and the one it replaces", "rsa.key",
         "good.pem", "older.pem", L" /preview", 0, "有效期至 2099-12-31, SHA-256 "},
        {"a check foresees the refusal", "other.key", "good.pem", nullptr, L" /check", 1,
         "box [检查] 检查: 运行将失败: 私钥["},
        {"expired", "rsa.key", "expired.pem", nullptr, L"", 1, "box [错误] 证书已过期["},
        {"not yet valid", "rsa.key", "future.pem", nullptr, L"", 1, "box [错误] 证书尚未生效["},
        {"older than the installed one", "rsa.key", "older.pem", "good.pem", L"", 1,
         "有效期至2080-01-01, 早于已安装证书["},
        {"older, allowed", "rsa.key", "older.pem", "good.pem", L" /allowolder", 0,
         "valid 2020-01-01 to 2099-12-31"},
        {"an empty key", nullptr, "good.pem", nullptr, L"", 1, "box [错误] 授权文件为空["},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.what));
        Scenario scenario(L"payload");
        scenario.PrepareTool({});
        const SuiteInstall suite = scenario.AddSuite(L"Suite", {99, 5, 5, true, true});
        scenario.RegisterVendor(L"Suite", suite.app, false);
        const std::wstring pem = suite.client + L"\\server.pem";
        REQUIRE(WriteBytes(scenario.licenseFolder() + L"\\server.key",
                           row.key ? Certs(row.key) : std::string()));
        REQUIRE(WriteBytes(scenario.licenseFolder() + L"\\server.pem", Certs(row.pem)));
        if (row.installedPem) {
            REQUIRE(WriteBytes(pem, Certs(row.installedPem)));
        }
        const std::string before = BytesOf(pem);
        RunOptions options;
        const std::wstring log = scenario.root() + L"\\qm.log";
        const std::wstring json = scenario.root() + L"\\run.json";
        options.arguments = L"/quiet /log:" + log + L" /json:" + json + row.arguments;
        const RunOutcome outcome = scenario.Run(options);
        REQUIRE(outcome.exited);
        const std::string logged = BytesOf(log);
        INFO("log: " << logged);
        CHECK(outcome.exitCode == row.exitCode);
        CHECK(logged.find(row.logged) != std::string::npos);
        if (row.exitCode != 0 || std::wstring(row.arguments).find(L"/preview") == 1) {
            CHECK(BytesOf(pem) == before);
            CHECK(logged.find("Z replaced: ") == std::string::npos);
        } else {
            CHECK(BytesOf(pem) == Certs(row.pem));
        }

        // The record says the same: the refusal, or the certificates before and after.
        const Json record = RecordAt(json);
        CHECK(record["exitCode"] == row.exitCode);
        CHECK(record["refusal"].is_null() == (row.exitCode == 0));
        if (&row == &rows.front()) {
            CHECK(record["keyPair"] == "matches");
            CheckDocumented(record);
        }
    }
}
