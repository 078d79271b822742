// The run's real edges: the message box, discovery, stops, copies and restarts on this system.
#include "edges/system_edges.h"

#include "run/run_plan.h"
#include "discovery/catalogue_lookup.h"
#include "discovery/registry_lookup.h"
#include "backup/backup_files.h"
#include "fileops/deploy.h"
#include "processes/restart.h"
#include "processes/terminate.h"

#include <shlobj.h>

#include <vector>

namespace qm {

namespace {
constexpr HWND kNoOwner = nullptr;
constexpr BOOL kDoNotCreate = FALSE;
constexpr size_t kAppDataBufferUnits = MAX_PATH;
} // namespace

void SystemEdges::KillRunTimer() {
    KillTimer(hostWindow_, kRunTimerId);
}

void SystemEdges::ShowMessage(const std::string& text, const std::string& caption) {
    MessageBoxA(hostWindow_, text.c_str(), caption.c_str(), MB_OK);
}

void SystemEdges::DestroyHostWindow() {
    DestroyWindow(hostWindow_);
}

void SystemEdges::Wait(uint32_t milliseconds) {
    Sleep(milliseconds);
}

StartResult SystemEdges::StartProgram(const std::wstring& imagePath,
                                      const std::wstring& parameters) {
    StartResult result{true, ERROR_SUCCESS, {}};
    const auto fail = [&result](long code) {
        if (result.started) {
            result.started = false;
            result.errorCode = code;
        } else {
            result.furtherErrorCodes.push_back(code);
        }
    };
    // A program the stop did not record (there is none in a run) is started as an elevated
    // one. Each unelevated instance comes back through a process of its own session with its
    // own token; elevated ones of one image path are started once, by the tool.
    const auto recorded = stopped_.find(imagePath);
    bool fromTool = recorded == stopped_.end();
    if (!fromTool) {
        for (const RecordedProcess& record : recorded->second) {
            // One that would not end still runs; a second copy of it would be one too many.
            if (!record.stopped.ended) {
                continue;
            }
            const RestartOutcome outcome = StartAsRecorded(record, imagePath, parameters);
            if (outcome.route == RestartRoute::FromTool) {
                fromTool = true;
            } else if (!outcome.started) {
                fail(outcome.errorCode);
            }
        }
    }
    if (fromTool) {
        const long error = StartFromTool(imagePath, parameters);
        if (error != ERROR_SUCCESS) {
            fail(error);
        }
    }
    return result;
}

bool SystemEdges::GetRoamingAppDataFolder(std::wstring& folder) {
    std::vector<wchar_t> buffer(kAppDataBufferUnits, L'\0');
    if (!SHGetSpecialFolderPathW(kNoOwner, buffer.data(), CSIDL_APPDATA, kDoNotCreate)) {
        return false;
    }
    folder.assign(buffer.data());
    return true;
}

bool SystemEdges::FolderExists(const std::wstring& folder) {
    return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SystemEdges::LoadVersionLibrary(uint32_t& errorCode) {
    return qm::LoadVersionLibrary(errorCode);
}

std::wstring SystemEdges::GetCatalogueAppPath() {
    std::wstring path;
    std::wstring componentsFile;
    qm::GetCatalogueAppPath(path, &componentsFile);
    Found({path, L"installer catalogue " + componentsFile});
    return path;
}

std::wstring SystemEdges::CollectVendorAppPaths() {
    std::wstring paths;
    for (const InstallSource& install : ListVendorInstalls()) {
        paths += install.appPath;
        paths += L',';
        Found(install);
    }
    return paths;
}

std::wstring SystemEdges::FindLegacyAppPath() {
    const InstallSource install = FindLegacyInstall();
    Found(install);
    return install.appPath;
}

std::wstring SystemEdges::ReadLegacyAppPath() {
    const InstallSource install = ReadLegacyInstall();
    Found(install);
    return install.appPath;
}

std::vector<InstallSource> SystemEdges::FoundInstallSources() {
    return sources_;
}

void SystemEdges::Found(const InstallSource& install) {
    if (!install.appPath.empty()) {
        sources_.push_back(install);
    }
}

std::vector<StoppedProcess> SystemEdges::StopProcessesByName(const std::wstring& imageName) {
    std::vector<StoppedProcess> stopped;
    for (RecordedProcess& record : StopAndRecordProcessesByName(imageName)) {
        stopped.push_back(record.stopped);
        if (!record.stopped.imagePath.empty()) {
            const std::wstring path = record.stopped.imagePath;
            stopped_[path].push_back(std::move(record));
        }
    }
    return stopped;
}

bool SystemEdges::GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) {
    return qm::GetFileVersionNumbers(filePath, numbers);
}

bool SystemEdges::IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) {
    return qm::IsReplacementNewer(folder, fileName);
}

void SystemEdges::DeployReplacementFile(const std::wstring& installFolder,
                                        const std::wstring& userFolder,
                                        const std::wstring& fileName) {
    qm::DeployReplacementFile(installFolder, userFolder, fileName);
}

void SystemEdges::DeployReplacementFileAs(const std::wstring& folder,
                                          const std::wstring& sourceName,
                                          const std::wstring& targetName) {
    qm::DeployReplacementFileAs(folder, sourceName, targetName);
}

void SystemEdges::RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) {
    qm::RestoreSavedCopy(savedCopy, originalPath);
}

void SystemEdges::RemoveCreatedFile(const std::wstring& path) {
    qm::RemoveFileIfPresent(path);
}

} // namespace qm
