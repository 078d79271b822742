// The facts of this machine: the registry, the catalogue, versions, folders, files, processes.
#include "edges/machine_facts.h"

#include "backup/backup_files.h"
#include "discovery/catalogue_lookup.h"
#include "discovery/registry_lookup.h"
#include "fileops/deploy.h"
#include "fileops/deploy_targets.h"
#include "fileops/file_version.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"
#include "processes/terminate.h"
#include "run/run_plan.h"

#include <shlobj.h>

#include <exception>
#include <vector>

namespace qm {

namespace {

constexpr HWND kNoOwner = nullptr;
constexpr BOOL kDoNotCreate = FALSE;

void Found(Lookup& lookup, const InstallSource& install) {
    if (!install.appPath.empty()) {
        lookup.found.push_back(install);
    }
}

// False, with the run's failure, when the catalogue cannot be read.
bool ReadCatalogue(Facts& facts) {
    Lookup lookup{L"installer catalogue", {}, {}};
    try {
        std::wstring componentsFile;
        GetCatalogueAppPath(facts.cataloguePath, &componentsFile);
        Found(lookup, {facts.cataloguePath, L"installer catalogue " + componentsFile});
    } catch (const std::exception& error) {
        facts.failure = error.what();
        lookup.failure = ToWide(facts.failure);
    }
    facts.lookups.push_back(lookup);
    return facts.failure.empty();
}

void ReadVendorInstalls(Facts& facts) {
    Lookup lookup{L"vendor Uninstall keys", {}, {}};
    for (const InstallSource& install : ListVendorInstalls()) {
        if (!install.appPath.empty()) {
            facts.vendorFolders.push_back(install.appPath);
        }
        Found(lookup, install);
    }
    facts.lookups.push_back(lookup);
}

std::wstring RoamingAppDataFolder() {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    if (!SHGetSpecialFolderPathW(kNoOwner, buffer.data(), CSIDL_APPDATA, kDoNotCreate)) {
        return std::wstring();
    }
    return buffer.data();
}

bool FolderExists(const std::wstring& folder) {
    return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Both are needed later; asking now means a run that could not finish stops nothing.
bool ReadCurrentSuiteNeeds(Facts& facts) {
    uint32_t error = 0;
    if (!LoadVersionLibrary(error)) {
        facts.versionLibraryError = error;
        facts.failure =
            ToNarrow(FormatUserMessage(kVersionLibraryFailed, {static_cast<unsigned long>(error)}));
        return false;
    }
    facts.appDataAsked = true;
    // An empty folder would put the per-user copies under "\Marrowby" at the drive's root.
    facts.appDataFolder = RoamingAppDataFolder();
    if (facts.appDataFolder.empty()) {
        facts.failure = ToNarrow(kAppDataFolderFailed);
        return false;
    }
    return true;
}

void ReadProgramIfNewer(Facts& facts, const std::wstring& folder, const wchar_t* program) {
    if (!FolderExists(folder)) {
        return;
    }
    facts.folders.insert(folder);
    if (IsReplacementNewer(folder, program)) {
        facts.newer.insert(JoinPath(folder, program));
    }
}

void ReadInstallFolders(Facts& facts) {
    for (const std::wstring& folder : InstallFoldersToHandle(facts)) {
        const SiblingFolders siblings = SiblingFoldersOf(folder);
        const std::wstring client = JoinPath(siblings.client, kClientImage);
        FileVersionNumbers version;
        if (GetFileVersionNumbers(client, version)) {
            facts.revisions[client] = version.revision;
        }
        ReadProgramIfNewer(facts, siblings.centre, kUpdaterImage);
        ReadProgramIfNewer(facts, siblings.client, kServiceImage);
    }
}

void ReadOlderGeneration(Facts& facts, const wchar_t* name, const InstallSource& install,
                         std::wstring& folder) {
    Lookup lookup{name, {}, {}};
    Found(lookup, install);
    facts.lookups.push_back(lookup);
    folder = install.appPath;
    if (folder.empty()) {
        return;
    }
    const std::wstring trimmed = TrimTrailingBackslash(folder);
    for (const wchar_t* file : {kLegacyKeyFile, kLegacyCertificateFile}) {
        for (const DeployTarget& target : ReplacementTargetsAs(trimmed, file, file)) {
            if (IsOpenableForReading(target.path)) {
                facts.present.insert(target.path);
            }
        }
    }
}

void ReadLicenseFiles(Facts& facts) {
    WIN32_FIND_DATAW found{};
    const UniqueFind find(FindFirstFileW(JoinPath(facts.licenseFolder, L"*").c_str(), &found));
    if (!find) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            facts.licenseFiles.insert(found.cFileName);
        }
    } while (FindNextFileW(find.get(), &found));
}

} // namespace

Facts ReadFacts(bool forPreview) {
    Facts facts;
    facts.licenseFolder = LicenseFolderPath();
    if (forPreview) {
        ReadLicenseFiles(facts);
        for (const wchar_t* image : {kServiceImage, kClientImage, kUpdaterImage}) {
            facts.running[image] = FindProcessesByName(image);
        }
    }
    // Where the suite is installed: the catalogue first, then the vendor's keys.
    if (!ReadCatalogue(facts)) {
        return facts;
    }
    ReadVendorInstalls(facts);
    if (IsCurrentSuiteFound(facts)) {
        if (!ReadCurrentSuiteNeeds(facts)) {
            return facts;
        }
        ReadInstallFolders(facts);
    }
    ReadOlderGeneration(facts, L"\"penloom 9.0\" Uninstall keys", FindLegacyInstall(),
                        facts.penloom9Folder);
    ReadOlderGeneration(facts, L"\"Penloom 8.0\" Uninstall key", ReadLegacyInstall(),
                        facts.penloom8Folder);
    return facts;
}

} // namespace qm
