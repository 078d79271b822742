#pragma once
// A complete machine state for one end-to-end run: a copy of Quillmend.exe with its
// LicenseFile folder, suite installs on disk, their registry entries, stand-ins running under
// the suite's image names, and a clean per-user folder. Everything is undone at the end.
#include <string>
#include <vector>

#include "tests/e2e/harness/e2e_harness.h"

namespace qm::e2e {

inline constexpr wchar_t kServiceExe[] = L"MWSealService.exe";
inline constexpr wchar_t kClientExe[] = L"MWClientServer.exe";
inline constexpr wchar_t kUpdaterExe[] = L"MWSealCenterUpdate.exe";
inline constexpr wchar_t kServiceConfig[] = L"MWSealService_config.ini";
inline constexpr wchar_t kUpdaterConfig[] = L"MWSealCenterUpdate.xml";
inline constexpr wchar_t kSslServerTg[] = L"sslServer.tg";
inline constexpr wchar_t kServerKey[] = L"server.key";
inline constexpr wchar_t kServerPem[] = L"server.pem";
inline constexpr wchar_t kLegacyKey[] = L"ssl.key";
inline constexpr wchar_t kLegacyPem[] = L"key.pem";

inline constexpr wchar_t kSuccessCaption[] = L"提示";
inline constexpr wchar_t kSuccessText[] = L"组件服务修复成功!";
inline constexpr wchar_t kErrorCaption[] = L"错误";
inline constexpr wchar_t kInstallCopyFailed[] = L"授权文件替换到安装目录失败，Errcode: ";

// Contents that tell an installed file from its replacement at a glance.
std::string InstalledContent(const std::wstring& name);
std::string ReplacementContent(const std::wstring& name);

// What the LicenseFile folder beside the program holds. A revision of 0 leaves the program
// out; kUnrunnable puts a DLL there under the program's name (revision 200).
inline constexpr int kUnrunnable = -1;
struct LicenseSet {
    bool sslServerTg = true;
    bool serverKey = true;
    bool serverPem = true;
    int serviceRevision = 0;
    int updaterRevision = 0;
    bool configFiles = true;
};

// One install of the current suite: <root>\App is the registered folder, its siblings
// <root>\MWClientServer and <root>\MWSealCenter hold the files. A revision of kAbsent leaves
// that program out; 0 installs it without version information.
inline constexpr int kAbsent = -1;
struct SuiteOptions {
    int clientRevision = 100;
    int serviceRevision = 5;
    int updaterRevision = 5;
    bool clientFolder = true;
    bool centreFolder = true;
};
struct SuiteInstall {
    std::wstring root;
    std::wstring app;
    std::wstring client;
    std::wstring centre;
};

// A legacy install: <root>\Bin is the registered folder; the key and certificate (under the
// legacy names) lie in the folder and/or in <root>.
struct LegacyOptions {
    bool filesInFolder = true;
    bool filesInParent = true;
};
struct LegacyInstall {
    std::wstring root;
    std::wstring folder;
};

class Scenario {
public:
    explicit Scenario(const std::wstring& tag);
    ~Scenario();
    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    // False when Quillmend.exe is not built beside the running executable.
    static bool ProgramAvailable();

    const std::wstring& root() const { return scratch_.path(); }
    const std::wstring& toolFolder() const { return toolFolder_; }
    const std::wstring& licenseFolder() const { return licenseFolder_; }
    const std::wstring& program() const { return program_; }
    // Roaming AppData + "\Marrowby" and its "\MWClientServer".
    const std::wstring& userBase() const { return userBase_; }
    std::wstring userClient() const { return userBase_ + L"\\MWClientServer"; }

    // Copies the program (by default the one built beside the running executable) into the
    // tool folder and fills its LicenseFile folder.
    void PrepareTool(const LicenseSet& set, const std::wstring& program = {});
    SuiteInstall AddSuite(const std::wstring& name, const SuiteOptions& options);
    LegacyInstall AddLegacy(const std::wstring& name, const LegacyOptions& options);
    // Product sub-key under the vendor key "MARROWBY", in the 64-bit view or in the 32-bit
    // view (WOW6432Node), where installers of that bitness put it.
    void RegisterVendor(const std::wstring& product, const std::wstring& appPath, bool wow6432);
    // Any sub-key of the Uninstall key ("penloom 9.0", "Penloom 8.0", ...).
    void RegisterUninstall(const std::wstring& keyName, const std::wstring& appPath, bool wow6432);
    // A sub-key of the Uninstall key written as an installer of that bitness (32 or 64) writes
    // it: at the plain path, so that 64-bit Windows redirects a 32-bit installer's key into
    // WOW6432Node. Returns the path where the key is stored, "WOW6432Node" included.
    std::wstring RegisterAsInstaller(const std::wstring& keyName, const std::wstring& appPath,
                                     int installerBits);

    // Starts a stand-in under the suite's image name found at `path`; returns its id.
    DWORD StartProgram(const std::wstring& path);
    StandIns& standIns() { return standIns_; }
    // Starts logged so far; runs report only what came after.
    size_t StartsSoFar() const { return standIns_.Starts().size(); }

    RunOutcome Run(RunOptions options = {});

private:
    ScratchFolder scratch_;
    ScratchRegistry registry_;
    std::wstring toolFolder_;
    std::wstring licenseFolder_;
    std::wstring program_;
    std::wstring userBase_;
    std::wstring catalogue_;
    StandIns standIns_;
};

} // namespace qm::e2e
