// Scenarios of whole runs: installs, catalogue, LicenseFile, processes and expected outcome.
#include "tests/e2e/harness/scenario.h"

#include "tests/discovery/registry_views.h"

namespace qm::e2e {

namespace {

constexpr wchar_t kVendorKeyName[] = L"\\MARROWBY";

std::wstring VendorKey(bool wow6432) {
    return std::wstring(wow6432 ? kUninstallKey32 : kUninstallKey) + kVendorKeyName;
}

std::wstring ProgramImage(int revision) {
    return revision == kUnrunnable ? UnrunnableImage() : StandInImage(revision);
}

} // namespace

std::string InstalledContent(const std::wstring& name) {
    return "installed " + Utf8(name) + "\r\n";
}

std::string ReplacementContent(const std::wstring& name) {
    return "replacement " + Utf8(name) + "\r\n";
}

Scenario::Scenario(const std::wstring& tag)
    : scratch_(tag), toolFolder_(scratch_.path() + L"\\tool"),
      licenseFolder_(toolFolder_ + L"\\LicenseFile"), program_(toolFolder_ + L"\\Quillmend.exe"),
      userBase_(RoamingAppData() + L"\\Marrowby"), catalogue_(RoamingAppData() + L"\\MWInstall"),
      standIns_(scratch_.path() + L"\\standin.log") {
    // The prefix belongs to the tests: whatever an earlier run left behind is cleared so that
    // only this scenario's installs exist.
    DeleteTree(userBase_);
    DeleteTree(catalogue_);
    registry_.Claim(VendorKey(false));
    registry_.Claim(VendorKey(true));
    registry_.Claim(std::wstring(kUninstallKey) + L"\\Penloom 8.0");
    registry_.Claim(std::wstring(kUninstallKey32) + L"\\Penloom 8.0");
}

Scenario::~Scenario() {
    standIns_.EndAll();
    DeleteTree(userBase_);
    DeleteTree(catalogue_);
}

bool Scenario::ProgramAvailable() {
    return PathExists(ExeFolder() + L"\\Quillmend.exe");
}

void Scenario::PrepareTool(const LicenseSet& set, const std::wstring& program) {
    MakeFolders(licenseFolder_);
    CopyOver(program.empty() ? ExeFolder() + L"\\Quillmend.exe" : program, program_);
    const auto put = [&](bool wanted, const wchar_t* name) {
        if (wanted) {
            WriteBytes(licenseFolder_ + L"\\" + name, ReplacementContent(name));
        }
    };
    put(set.sslServerTg, kSslServerTg);
    put(set.serverKey, kServerKey);
    put(set.serverPem, kServerPem);
    put(set.configFiles, kServiceConfig);
    put(set.configFiles, kUpdaterConfig);
    if (set.serviceRevision != 0) {
        CopyOver(ProgramImage(set.serviceRevision), licenseFolder_ + L"\\" + kServiceExe);
    }
    if (set.updaterRevision != 0) {
        CopyOver(ProgramImage(set.updaterRevision), licenseFolder_ + L"\\" + kUpdaterExe);
    }
}

SuiteInstall Scenario::AddSuite(const std::wstring& name, const SuiteOptions& options) {
    SuiteInstall suite;
    suite.root = root() + L"\\" + name;
    suite.app = suite.root + L"\\App";
    suite.client = suite.root + L"\\MWClientServer";
    suite.centre = suite.root + L"\\MWSealCenter";
    MakeFolders(suite.app);
    WriteBytes(suite.app + L"\\" + kSslServerTg, InstalledContent(kSslServerTg));
    if (options.clientFolder) {
        MakeFolders(suite.client);
        for (const wchar_t* file : {kSslServerTg, kServerKey, kServerPem, kServiceConfig}) {
            WriteBytes(suite.client + L"\\" + file, InstalledContent(file));
        }
        if (options.clientRevision != kAbsent) {
            CopyOver(StandInImage(options.clientRevision), suite.client + L"\\" + kClientExe);
        }
        if (options.serviceRevision != kAbsent) {
            CopyOver(StandInImage(options.serviceRevision), suite.client + L"\\" + kServiceExe);
        }
    }
    if (options.centreFolder) {
        MakeFolders(suite.centre);
        WriteBytes(suite.centre + L"\\" + kUpdaterConfig, InstalledContent(kUpdaterConfig));
        if (options.updaterRevision != kAbsent) {
            CopyOver(StandInImage(options.updaterRevision), suite.centre + L"\\" + kUpdaterExe);
        }
    }
    return suite;
}

LegacyInstall Scenario::AddLegacy(const std::wstring& name, const LegacyOptions& options) {
    LegacyInstall legacy;
    legacy.root = root() + L"\\" + name;
    legacy.folder = legacy.root + L"\\Bin";
    MakeFolders(legacy.folder);
    for (const wchar_t* file : {kLegacyKey, kLegacyPem}) {
        if (options.filesInFolder) {
            WriteBytes(legacy.folder + L"\\" + file, InstalledContent(file));
        }
        if (options.filesInParent) {
            WriteBytes(legacy.root + L"\\" + file, InstalledContent(file));
        }
    }
    return legacy;
}

void Scenario::RegisterVendor(const std::wstring& product, const std::wstring& appPath,
                              bool wow6432) {
    registry_.SetAppPath(VendorKey(wow6432) + L"\\" + product, appPath);
}

void Scenario::RegisterUninstall(const std::wstring& keyName, const std::wstring& appPath,
                                 bool wow6432) {
    const std::wstring key =
        std::wstring(wow6432 ? kUninstallKey32 : kUninstallKey) + L"\\" + keyName;
    registry_.Claim(key);
    registry_.SetAppPath(key, appPath);
}

std::wstring Scenario::RegisterAsInstaller(const std::wstring& keyName, const std::wstring& appPath,
                                           int installerBits) {
    const std::wstring plain = std::wstring(kUninstallKey) + L"\\" + keyName;
    const std::wstring redirected = std::wstring(kUninstallKey32) + L"\\" + keyName;
    registry_.Claim(plain);
    registry_.Claim(redirected);
    // A process of the installer's own bitness needs no flag: the redirection does it.
    const int ownBits = sizeof(void*) == 8 ? 64 : 32;
    const REGSAM view = installerBits == ownBits ? 0
                        : installerBits == 64    ? KEY_WOW64_64KEY
                                                 : KEY_WOW64_32KEY;
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, plain.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) != ERROR_SUCCESS ||
        test::WriteAppPath(key.get(), appPath) != ERROR_SUCCESS) {
        return std::wstring();
    }
    // Where the key ended up, as a 64-bit reader of the literal paths sees it.
    UniqueRegKey found;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, redirected.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                         found.put()) == ERROR_SUCCESS
               ? redirected
               : plain;
}

DWORD Scenario::StartProgram(const std::wstring& path) {
    return standIns_.Start(path);
}

RunOutcome Scenario::Run(RunOptions options) {
    if (options.exe.empty()) {
        options.exe = program_;
    }
    if (options.workingFolder.empty()) {
        options.workingFolder = root();
    }
    return RunProgram(options);
}

} // namespace qm::e2e
