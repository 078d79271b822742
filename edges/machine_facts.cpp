// The facts of this machine: the registry, the catalogue, versions, folders, files, processes.
#include "edges/machine_facts.h"

#include "backup/backup_files.h"
#include "certs/pem_reader.h"
#include "discovery/catalogue_lookup.h"
#include "discovery/profile_rules.h"
#include "discovery/registry_lookup.h"
#include "discovery/user_profiles.h"
#include "fileops/deploy.h"
#include "fileops/deploy_targets.h"
#include "fileops/file_hash.h"
#include "fileops/file_version.h"
#include "fileops/link_check.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"
#include "processes/terminate.h"
#include "run/plan.h"
#include "run/run_plan.h"

#include <shlobj.h>

#include <exception>
#include <map>
#include <string>
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
        facts.failure = MessageOf(error);
        lookup.failure = facts.failure;
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

// Both are needed later; asking now means a run that could not finish stops nothing. A run for
// all users needs no AppData of its own.
bool ReadCurrentSuiteNeeds(Facts& facts) {
    uint32_t error = 0;
    if (!LoadVersionLibrary(error)) {
        facts.versionLibraryError = error;
        facts.failure =
            FormatUserMessage(kVersionLibraryFailed, {static_cast<unsigned long>(error)});
        return false;
    }
    if (facts.allUsers) {
        return true;
    }
    facts.appDataAsked = true;
    // An empty folder would put the per-user copies under "\Marrowby" at the drive's root.
    facts.appDataFolder = RoamingAppDataFolder();
    if (facts.appDataFolder.empty()) {
        facts.failure = kAppDataFolderFailed;
        return false;
    }
    return true;
}

void ReadProgramIfNewer(Facts& facts, const std::wstring& folder, const wchar_t* program,
                        const FileVersionNumbers& replacement) {
    if (!FolderExists(folder)) {
        return;
    }
    facts.folders.insert(folder);
    if (IsReplacementNewer(folder, program, replacement)) {
        facts.newer.insert(JoinPath(folder, program));
    }
}

void ReadInstallFolders(Facts& facts) {
    const FileVersionNumbers updater = ReplacementVersion(kUpdaterImage);
    const FileVersionNumbers service = ReplacementVersion(kServiceImage);
    for (const std::wstring& folder : InstallFoldersToHandle(facts)) {
        const SiblingFolders siblings = SiblingFoldersOf(folder);
        const std::wstring client = JoinPath(siblings.client, kClientImage);
        FileVersionNumbers version;
        if (GetFileVersionNumbers(client, version)) {
            facts.revisions[client] = version.revision;
        }
        ReadProgramIfNewer(facts, siblings.centre, kUpdaterImage, updater);
        ReadProgramIfNewer(facts, siblings.client, kServiceImage, service);
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

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = TrimTrailingBackslash(a);
    const std::wstring right = TrimTrailingBackslash(b);
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// The install a user's catalogue names is written as SYSTEM: only one inside that user's own
// profile (with no link below the profile folder), or one the Uninstall keys register too.
void ReadProfileCatalogue(const Facts& facts, ProfileFacts& profile, Lookup& lookup) {
    std::wstring componentsFile;
    try {
        GetCatalogueAppPathIn(profile.appData, profile.catalogueInstall, &componentsFile);
    } catch (const std::exception& error) {
        profile.catalogueReason = L"its catalogue cannot be read: " + MessageOf(error);
        lookup.failure = profile.catalogueReason;
        return;
    }
    if (profile.catalogueInstall.empty()) {
        return;
    }
    Found(lookup, {profile.catalogueInstall, L"installer catalogue " + componentsFile});
    for (const std::wstring& vendor : facts.vendorFolders) {
        if (SameFolder(vendor, profile.catalogueInstall)) {
            profile.catalogueTaken = true;
            return;
        }
    }
    const std::wstring client = CatalogueClientFolder(profile.catalogueInstall);
    const std::wstring finalProfile = FinalPathOf(profile.folder);
    const std::wstring finalClient = FinalPathOf(client);
    if (IsWithinFolder(client, profile.folder) &&
        CheckNoLinkBelow(profile.folder, JoinPath(client, kCombinedTlsFile)) == ERROR_SUCCESS &&
        !finalProfile.empty() &&
        (finalClient.empty() || IsWithinFolder(finalClient, finalProfile))) {
        profile.catalogueTaken = true;
        return;
    }
    profile.catalogueReason = L"its catalogue names " + profile.catalogueInstall +
                              L", which lies outside the user's profile and is not registered";
}

// 0 when nothing from the profile folder down to Marrowby (open as folder), the per-user folder
// in it or a file the run may write there is a link: each is compared with its folder's final
// path, which is known once the folder is checked.
DWORD CheckPerUserLinks(HANDLE folder, const std::wstring& profileFolder,
                        const std::wstring& base) {
    std::wstring baseFinal;
    DWORD error = CheckHeldFolderBelow(folder, profileFolder, base, baseFinal);
    const std::wstring client = PerUserClientFolder(base);
    std::wstring clientFinal;
    if (error == ERROR_SUCCESS) {
        error = CheckChildBelow(baseFinal, client, clientFinal);
    }
    for (const wchar_t* file : {kCombinedTlsFile, kKeyFile, kCertificateFile}) {
        if (error != ERROR_SUCCESS || clientFinal.empty()) {
            break;
        }
        std::wstring fileFinal;
        error = CheckChildBelow(clientFinal, JoinPath(client, file), fileFinal);
    }
    return error;
}

// Served where the suite has run for the user (Marrowby is there) and nothing below the profile
// folder on the way to the per-user copies is a link.
void JudgeProfileCopies(ProfileFacts& profile) {
    if (profile.appDataFromHive && !IsAppDataInProfile(profile.appData, profile.folder)) {
        profile.verdict = ProfileFacts::Verdict::LeftOut;
        profile.reason = L"its AppData (" + profile.appData + L") lies outside the profile folder";
        return;
    }
    const std::wstring base = PerUserBaseFolder(profile.appData);
    // Opened once, as itself, and for listing as a listing would ask without reading its
    // entries: whether the suite ran, where the folder lies, and whether it can be read.
    const UniqueFile folder(
        CreateFileW(base.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = folder ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        profile.verdict = ProfileFacts::Verdict::NoSuite;
        profile.reason = L"no Marrowby folder: the suite has not run for this user";
        return;
    }
    const DWORD linkError =
        folder ? CheckPerUserLinks(folder.get(), profile.folder, base) : ERROR_SUCCESS;
    if (linkError != ERROR_SUCCESS) {
        profile.verdict = ProfileFacts::Verdict::LeftOut;
        profile.reason = L"a link below the profile folder, or a folder that cannot be read, "
                         L"Errcode " +
                         std::to_wstring(static_cast<int32_t>(linkError));
        return;
    }
    if (folder) {
        FILE_BASIC_INFO information{};
        if (!GetFileInformationByHandleEx(folder.get(), FileBasicInfo, &information,
                                          sizeof information)) {
            error = GetLastError();
        } else if (!(information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = ERROR_DIRECTORY; // a file of that name is no folder
        }
    }
    // A folder that cannot be opened is left out as one that cannot be read.
    if (error != ERROR_SUCCESS) {
        profile.verdict = ProfileFacts::Verdict::LeftOut;
        profile.reason = L"its Marrowby folder cannot be read, Errcode " +
                         std::to_wstring(static_cast<int32_t>(error));
        return;
    }
    profile.verdict = ProfileFacts::Verdict::Served;
}

// Every profile of the machine: who counts, where each one's AppData is, whether the suite ran
// there, and what each one's catalogue names.
void ReadProfiles(Facts& facts) {
    const std::vector<UserProfile> users = ListUserProfiles();
    for (const UserProfile& user : users) {
        ProfileFacts profile;
        profile.sid = user.sid;
        profile.account = user.account;
        profile.folder = user.folder;
        profile.appData = user.appData;
        profile.appDataFromHive = user.source == AppDataSource::Hive;
        profile.reason = user.notServed;
        if (!user.folderFinal.empty()) {
            RememberRootFinal(user.folder, user.folderFinal);
        }
        if (user.notServed.empty()) {
            Lookup lookup{L"installer catalogue of " + user.sid, {}, {}};
            ReadProfileCatalogue(facts, profile, lookup);
            facts.lookups.push_back(lookup);
            JudgeProfileCopies(profile);
        }
        facts.profiles.push_back(profile);
    }
}

// A PEM file is a few KiB: a larger one is not read, and counts as opaque.
constexpr LONGLONG kLargestTlsFile = 1024 * 1024;

// Reads path into bytes and records what it holds: a PEM file's facts, an empty file. What
// cannot be read is left to the copy, which reports it.
void ReadTlsFile(Facts& facts, const std::wstring& path, std::string& bytes) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        return;
    }
    if (size.QuadPart == 0) {
        facts.emptyFiles.insert(path);
        return;
    }
    if (size.QuadPart > kLargestTlsFile) {
        return;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        bytes.clear();
        return;
    }
    bytes.resize(read);
    const PemFacts pem = ReadPemFacts(bytes);
    if (pem.kind != PemKind::Opaque) {
        facts.pem[path] = pem;
    }
}

} // namespace

Facts ReadFacts(const FactOptions& options) {
    Facts facts;
    facts.allUsers = options.allUsers;
    facts.licenseFolder = LicenseFolderPath();
    const bool forPreview = options.forPreview;
    if (forPreview) {
        ReadLicenseFiles(facts);
        for (const wchar_t* image : {kServiceImage, kClientImage, kUpdaterImage}) {
            facts.running[image] = FindProcessesByName(image);
        }
    }
    // Where the suite is installed: the catalogue first, then the vendor's keys; for all users,
    // every user's catalogue instead of the running account's.
    if (!facts.allUsers && !ReadCatalogue(facts)) {
        return facts;
    }
    ReadVendorInstalls(facts);
    if (facts.allUsers) {
        ReadProfiles(facts);
    }
    if (IsCurrentSuiteFound(facts)) {
        if (!ReadCurrentSuiteNeeds(facts)) {
            return facts;
        }
        ReadInstallFolders(facts);
    }
    ReadOlderGeneration(facts, L"\"penloom 9.0\" Uninstall keys", FindPenloom9Install(),
                        facts.penloom9Folder);
    ReadOlderGeneration(facts, L"\"Penloom 8.0\" Uninstall key", ReadPenloom8Install(),
                        facts.penloom8Folder);
    return facts;
}

void ReadTargets(Facts& facts, const Plan& plan) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    facts.now = UnixSeconds(now);
    // LicenseFile's files, each read once whatever the number of targets.
    std::map<std::wstring, std::string> sources;
    for (const Step& step : plan.steps) {
        if (step.kind != StepKind::Copy) {
            continue;
        }
        const auto [source, fresh] = sources.try_emplace(step.source);
        if (fresh) {
            ReadTlsFile(facts, step.source, source->second);
        }
        // A source read whole is compared from memory: the target is opened once.
        bool same = false;
        if (!source->second.empty()) {
            if (!ReadableAndHolds(step.target, source->second, same)) {
                continue;
            }
        } else if (facts.present.count(step.target) == 0 && !IsOpenableForReading(step.target)) {
            continue;
        } else {
            same = HoldSameBytes(step.source, step.target);
        }
        facts.present.insert(step.target);
        if (same) {
            facts.current.insert(step.target);
        }
        // What the copy replaces is named only where what it deploys is a TLS file.
        if (facts.pem.count(step.source) != 0 && facts.pem.count(step.target) == 0) {
            std::string replaced;
            ReadTlsFile(facts, step.target, replaced);
            SecureZeroMemory(replaced.data(), replaced.size()); // an installed key's bytes
        }
    }
    const auto key = sources.find(JoinPath(facts.licenseFolder, kKeyFile));
    const auto certificate = sources.find(JoinPath(facts.licenseFolder, kCertificateFile));
    if (key != sources.end() && certificate != sources.end()) {
        facts.keyPair = CheckKeyPair(key->second, certificate->second);
    }
    for (auto& [path, bytes] : sources) {
        // The key's bytes go no further than this run's memory, and not even there for long.
        SecureZeroMemory(bytes.data(), bytes.size());
    }
}

std::vector<std::wstring> ReadUserRoots() {
    std::vector<std::wstring> roots;
    for (const UserProfile& user : ListUserProfiles()) {
        if (!user.folder.empty()) {
            roots.push_back(user.folder);
        }
    }
    const std::wstring appData = RoamingAppDataFolder();
    if (!appData.empty()) {
        roots.push_back(appData);
    }
    return roots;
}

} // namespace qm
