// The log decorator: each edge call passes through and is written to the run's log.
#include "edges/log_edges.h"

#include "fileops/deploy.h"
#include "fileops/deploy_targets.h"
#include "fileops/file_hash.h"
#include "fileops/file_version.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/win_handles.h"

#include "log/log_lines.h"

#include <exception>
#include <vector>

namespace qm {

namespace {

constexpr wchar_t kLicenseFolderName[] = L"LicenseFile";
constexpr wchar_t kAbsentHash[] = L"(none)";
constexpr DWORD kLongestPath = 32768;

std::wstring HashOrAbsent(const std::wstring& path) {
    std::string hex;
    return HashFile(path, hex) ? ToWide(hex) : std::wstring(kAbsentHash);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(kLongestPath);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), kLongestPath);
    return std::wstring(buffer.data(), length < kLongestPath ? length : 0);
}

std::wstring ToolVersion() {
    uint32_t error = 0;
    FileVersionNumbers version;
    if (!LoadVersionLibrary(error) || !GetFileVersionNumbers(ModulePath(), version)) {
        return L"unknown";
    }
    return std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) + L"." +
           std::to_wstring(version.build) + L"." + std::to_wstring(version.revision);
}

std::wstring ComputerName() {
    std::vector<wchar_t> name(MAX_COMPUTERNAME_LENGTH + 1);
    DWORD size = static_cast<DWORD>(name.size());
    return GetComputerNameW(name.data(), &size) ? std::wstring(name.data(), size) : L"unknown";
}

// DOMAIN\name and SID of the process's user, and whether its token is elevated.
std::wstring AccountDescription() {
    UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return L"unknown";
    }
    std::vector<BYTE> buffer(256);
    DWORD needed = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        buffer.resize(needed);
        if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &needed)) {
            return L"unknown";
        }
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    std::wstring account = L"unknown";
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        account = std::wstring(domain) + L"\\" + name;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated;
    return account + (elevated ? L", elevated" : L", not elevated");
}

void LogLicenseFolder(RunLog& log) {
    const std::wstring folder = JoinPath(ProgramFolder(), kLicenseFolderName);
    log.Write(L"LicenseFile folder: " + folder);
    WIN32_FIND_DATAW found{};
    const UniqueFind find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &found));
    if (!find) {
        log.Write(L"LicenseFile folder cannot be read");
        return;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            continue;
        }
        const std::wstring path = JoinPath(folder, found.cFileName);
        log.Write(L"LicenseFile\\" + std::wstring(found.cFileName) + L" sha256 " +
                  HashOrAbsent(path));
    } while (FindNextFileW(find.get(), &found));
}

} // namespace

void WriteRunStart(RunLog& log) {
    log.Write(L"Quillmend " + ToolVersion() + L" started on " + ComputerName() + L" as " +
              AccountDescription());
    log.Write(L"command line: " + std::wstring(GetCommandLineW()));
    LogLicenseFolder(log);
}

void LogEdges::ShowMessage(const std::string& text, const std::string& caption) {
    for (const std::wstring& line : BoxLines(ToWide(caption), ToWide(text))) {
        log_.Write(line);
    }
    ForwardingEdges::ShowMessage(text, caption);
}

StartResult LogEdges::StartProgram(const std::wstring& imagePath, const std::wstring& parameters) {
    const StartResult result = ForwardingEdges::StartProgram(imagePath, parameters);
    const std::wstring program = L"\"" + imagePath + L"\"" + parameters;
    if (preview_) {
        log_.Write(L"would start again: " + program);
    } else if (result.started) {
        log_.Write(L"started again: " + program);
    } else {
        std::wstring codes = std::to_wstring(result.errorCode);
        for (const long code : result.furtherErrorCodes) {
            codes += L", " + std::to_wstring(code);
        }
        log_.Write(L"not started again: " + program + L", Errcode " + codes);
    }
    return result;
}

bool LogEdges::GetRoamingAppDataFolder(std::wstring& folder) {
    const bool found = ForwardingEdges::GetRoamingAppDataFolder(folder);
    log_.Write(found ? L"roaming AppData folder: " + folder
                     : std::wstring(L"roaming AppData folder cannot be had"));
    return found;
}

bool LogEdges::LoadVersionLibrary(uint32_t& errorCode) {
    const bool loaded = ForwardingEdges::LoadVersionLibrary(errorCode);
    if (!loaded) {
        log_.Write(L"version.dll cannot be loaded, Errcode " + std::to_wstring(errorCode));
    }
    return loaded;
}

void LogEdges::LogNewSources(const wchar_t* lookup) {
    const std::vector<InstallSource> sources = ForwardingEdges::FoundInstallSources();
    if (sources.size() <= sourcesLogged_) {
        log_.Write(std::wstring(lookup) + L": no install");
    }
    for (; sourcesLogged_ < sources.size(); ++sourcesLogged_) {
        const InstallSource& source = sources[sourcesLogged_];
        log_.Write(L"install found: " + source.appPath + L" (" + source.where + L")");
    }
}

std::wstring LogEdges::GetCatalogueAppPath() {
    try {
        const std::wstring path = ForwardingEdges::GetCatalogueAppPath();
        LogNewSources(L"installer catalogue");
        return path;
    } catch (const std::exception& error) {
        log_.Write(L"installer catalogue cannot be read: " + ToWide(error.what()));
        throw;
    }
}

std::wstring LogEdges::CollectVendorAppPaths() {
    const std::wstring paths = ForwardingEdges::CollectVendorAppPaths();
    LogNewSources(L"vendor Uninstall keys");
    return paths;
}

std::wstring LogEdges::FindLegacyAppPath() {
    const std::wstring path = ForwardingEdges::FindLegacyAppPath();
    LogNewSources(L"\"penloom 9.0\" Uninstall keys");
    return path;
}

std::wstring LogEdges::ReadLegacyAppPath() {
    const std::wstring path = ForwardingEdges::ReadLegacyAppPath();
    LogNewSources(L"\"Penloom 8.0\" Uninstall key");
    return path;
}

std::vector<StoppedProcess> LogEdges::StopProcessesByName(const std::wstring& imageName) {
    const std::vector<StoppedProcess> stopped = ForwardingEdges::StopProcessesByName(imageName);
    if (stopped.empty()) {
        log_.Write(imageName + L" is not running");
    }
    for (const StoppedProcess& process : stopped) {
        std::wstring line = imageName + L" running, process id " +
                            std::to_wstring(process.processId) + L", " +
                            (process.imagePath.empty() ? L"path unreadable" : process.imagePath);
        if (!process.rights.empty()) {
            line += L", " + process.rights;
        }
        line += preview_ ? L": would be ended" : process.ended ? L": ended" : L": not ended";
        if (process.endError != 0) {
            line += L", Errcode " + std::to_wstring(static_cast<int32_t>(process.endError));
        }
        log_.Write(line);
    }
    return stopped;
}

bool LogEdges::IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) {
    const bool newer = ForwardingEdges::IsReplacementNewer(folder, fileName);
    const std::wstring target = JoinPath(folder, fileName);
    log_.Write(newer ? L"LicenseFile\\" + fileName + L" is newer: " + target +
                           (preview_ ? L" would be replaced" : L" is replaced")
                     : L"not newer, not replaced: " + target);
    return newer;
}

template <typename Deploy>
void LogEdges::LogDeployment(const std::vector<DeployTarget>& targets, Deploy deploy) {
    std::vector<std::wstring> before;
    std::vector<bool> existed;
    for (const DeployTarget& target : targets) {
        existed.push_back(Exists(target.path));
        before.push_back(HashOrAbsent(target.path));
    }
    // The failure is told after the lines of what did happen, then passes on unchanged.
    std::exception_ptr failure;
    std::string failureText;
    try {
        deploy();
    } catch (const std::exception& error) {
        failure = std::current_exception();
        failureText = error.what();
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const DeployTarget& target = targets[i];
        const std::wstring source =
            JoinPath(JoinPath(ProgramFolder(), kLicenseFolderName), target.sourceName);
        if (target.onlyIfPresent && !existed[i]) {
            log_.Write(L"not present, not copied: " + target.path);
            continue;
        }
        if (preview_) {
            log_.Write(std::wstring(existed[i] ? L"would replace: " : L"would create: ") +
                       target.path + L" sha256 " + before[i] + L" -> " + HashOrAbsent(source));
            continue;
        }
        const std::wstring after = HashOrAbsent(target.path);
        if (failure && after == before[i]) {
            log_.Write(L"unchanged: " + target.path + L" sha256 " + after);
            continue;
        }
        log_.Write(std::wstring(existed[i] ? L"replaced: " : L"created: ") + target.path +
                   L" sha256 " + before[i] + L" -> " + after);
    }
    if (failure) {
        log_.Write(L"copy failed: " + ToWide(failureText));
        std::rethrow_exception(failure);
    }
}

void LogEdges::DeployReplacementFile(const std::wstring& installFolder,
                                     const std::wstring& userFolder, const std::wstring& fileName) {
    LogDeployment(ReplacementTargets(installFolder, userFolder, fileName), [&] {
        ForwardingEdges::DeployReplacementFile(installFolder, userFolder, fileName);
    });
}

void LogEdges::DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                       const std::wstring& targetName) {
    LogDeployment(ReplacementTargetsAs(folder, sourceName, targetName), [&] {
        ForwardingEdges::DeployReplacementFileAs(folder, sourceName, targetName);
    });
}

void LogEdges::RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) {
    const std::wstring before = HashOrAbsent(originalPath);
    try {
        ForwardingEdges::RestoreFile(savedCopy, originalPath);
    } catch (const std::exception& error) {
        log_.Write(L"restore failed: " + originalPath + L": " + ToWide(error.what()));
        throw;
    }
    log_.Write(L"restored: " + originalPath + L" sha256 " + before + L" -> " +
               HashOrAbsent(originalPath) + L" from " + savedCopy);
}

void LogEdges::RemoveCreatedFile(const std::wstring& path) {
    const std::wstring before = HashOrAbsent(path);
    try {
        ForwardingEdges::RemoveCreatedFile(path);
    } catch (const std::exception& error) {
        log_.Write(L"removal failed: " + path + L": " + ToWide(error.what()));
        throw;
    }
    log_.Write(L"removed the run's new file: " + path + L" sha256 " + before);
}

RollbackReport LogEdges::RollBackWrites() {
    const RollbackReport report = ForwardingEdges::RollBackWrites();
    if (report.steps.empty()) {
        return report;
    }
    for (const RollbackStep& step : report.steps) {
        switch (step.action) {
        case RollbackStep::Action::Restored:
            log_.Write(L"rolled back: " + step.path + L" sha256 " + HashOrAbsent(step.path) +
                       L", put back from the backup set");
            break;
        case RollbackStep::Action::Removed:
            log_.Write(L"rolled back: " + step.path + L", made by this run, removed");
            break;
        case RollbackStep::Action::Unchanged:
            log_.Write(L"rolled back: " + step.path + L" unchanged, nothing to put back");
            break;
        case RollbackStep::Action::Failed:
            log_.Write(L"not rolled back: " + step.path + L": " + ToWide(step.failure));
            break;
        }
    }
    if (report.complete()) {
        log_.Write(L"rollback complete: every file is as the run found it");
    } else {
        const std::wstring set = report.setFolder.substr(report.setFolder.find_last_of(L'\\') + 1);
        log_.Write(L"rollback incomplete: the files above are not as the run found them; the "
                   L"backup set " +
                   report.setFolder + L" is kept, and Quillmend.exe /restore:" + set +
                   L" finishes the job");
    }
    return report;
}

} // namespace qm
