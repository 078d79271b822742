// The update run's sequence over its edges.
#include "run/update_run.h"

#include "run/run_plan.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"

#include <exception>
#include <vector>

namespace qm {

namespace {

// The boxes' fixed texts are GBK bytes whatever the thread's code page; the messages of
// failures come narrowed in the thread's code page like every other message of the program.
constexpr char kSuccessText[] = "\xD7\xE9\xBC\xFE\xB7\xFE\xCE\xF1\xD0\xDE\xB8\xB4\xB3\xC9\xB9\xA6"
                                "!";                  // 组件服务修复成功!
constexpr char kNoticeCaption[] = "\xCC\xE1\xCA\xBE"; // 提示
constexpr char kErrorCaption[] = "\xB4\xED\xCE\xF3";  // 错误

constexpr wchar_t kNoUserFolder[] = L"";

struct RunState {
    std::wstring cataloguePath;
    std::wstring perUserBaseFolder;
    std::vector<std::wstring> serviceImagePaths;
    // Carried across the branches: whoever stops the client server first keeps its path.
    std::vector<std::wstring> clientImagePaths;
    bool serviceRestarted = false;
    bool clientRestarted = false;
    std::vector<RestartFailure> failedRestarts;
    std::vector<EndFailure> notEnded;
};

// Stops every process of the name and keeps the last readable image path; one that could not
// be ended is noted for the check before the first copy.
std::vector<std::wstring> StopPrograms(RunEdges& edges, RunState& state, const wchar_t* imageName) {
    const std::vector<StoppedProcess> stopped = edges.StopProcessesByName(imageName);
    CollectEndFailures(stopped, imageName, state.notEnded);
    // One that would not end still runs as it did: a failed run must not start it a second time.
    std::vector<StoppedProcess> ended;
    for (const StoppedProcess& process : stopped) {
        if (process.endError == 0) {
            ended.push_back(process);
        }
    }
    return KeptImagePaths(ended);
}

// A program left running keeps the old key in memory whatever is copied: the run fails before
// its first copy instead of reporting success.
void RequireEveryProgramEnded(const RunState& state) {
    const std::wstring message = EndFailureMessage(state.notEnded);
    if (!message.empty()) {
        throw UserError(ToNarrow(message));
    }
}

// Each path the program ran from, in the order found.
void RestartPrograms(RunEdges& edges, const std::vector<std::wstring>& imagePaths,
                     const wchar_t* parameters, std::vector<RestartFailure>& failedRestarts) {
    for (const std::wstring& imagePath : imagePaths) {
        RestartProgram(edges, imagePath, parameters, failedRestarts);
    }
}

void RequireVersionLibrary(RunEdges& edges) {
    uint32_t errorCode = 0;
    if (!edges.LoadVersionLibrary(errorCode)) {
        ThrowUserError(kVersionLibraryFailed, {static_cast<unsigned long>(errorCode)});
    }
}

std::wstring RequireRoamingAppDataFolder(RunEdges& edges) {
    std::wstring folder;
    // An empty folder would put the per-user copies under "\Marrowby" at the drive's root.
    if (!edges.GetRoamingAppDataFolder(folder) || folder.empty()) {
        ThrowUserError(kAppDataFolderFailed, {});
    }
    return folder;
}

void DeployToInstallFolder(RunEdges& edges, const std::wstring& installFolder,
                           const std::wstring& perUserBaseFolder) {
    const SiblingFolders siblings = SiblingFoldersOf(installFolder);

    // The installed client server's version decides which TLS files it reads.
    FileVersionNumbers version;
    const bool hasVersion =
        edges.GetFileVersionNumbers(JoinPath(siblings.client, kClientImage), version);
    for (const std::wstring& file : TlsFilesForClient(hasVersion, version.revision)) {
        edges.DeployReplacementFile(siblings.client, perUserBaseFolder, file);
    }

    // Programs are replaced only by newer ones, each together with its configuration.
    if (edges.FolderExists(siblings.centre) &&
        edges.IsReplacementNewer(siblings.centre, kUpdaterImage)) {
        edges.DeployReplacementFile(siblings.centre, kNoUserFolder, kUpdaterImage);
        edges.DeployReplacementFile(siblings.centre, kNoUserFolder, kUpdaterConfigFile);
    }
    if (edges.FolderExists(siblings.client) &&
        edges.IsReplacementNewer(siblings.client, kServiceImage)) {
        edges.DeployReplacementFile(siblings.client, kNoUserFolder, kServiceImage);
        edges.DeployReplacementFile(siblings.client, kNoUserFolder, kServiceConfigFile);
    }
}

// A catalogue install always gets the combined file, without a version test, and the
// per-user client folder gets it a second time directly.
void DeployToCatalogueInstall(RunEdges& edges, const std::wstring& cataloguePath,
                              const std::wstring& perUserBaseFolder) {
    edges.DeployReplacementFile(CatalogueClientFolder(cataloguePath), perUserBaseFolder,
                                kCombinedTlsFile);
    edges.DeployReplacementFile(PerUserClientFolder(perUserBaseFolder), kNoUserFolder,
                                kCombinedTlsFile);
}

void RunCurrentSuiteBranch(RunEdges& edges, RunState& state, const std::wstring& vendorPaths) {
    // Both are needed later; asking now means a run that could not finish stops nothing.
    RequireVersionLibrary(edges);
    state.perUserBaseFolder = PerUserBaseFolder(RequireRoamingAppDataFolder(edges));

    // Stop the suite's programs, keeping where the service and the client server live. The
    // updater is not started again.
    state.serviceImagePaths = StopPrograms(edges, state, kServiceImage);
    state.clientImagePaths = StopPrograms(edges, state, kClientImage);
    StopPrograms(edges, state, kUpdaterImage);
    RequireEveryProgramEnded(state);
    edges.Wait(kSettleMilliseconds);

    for (const std::wstring& folder : InstallFoldersToHandle(state.cataloguePath, vendorPaths)) {
        DeployToInstallFolder(edges, folder, state.perUserBaseFolder);
    }
    if (!state.cataloguePath.empty()) {
        DeployToCatalogueInstall(edges, state.cataloguePath, state.perUserBaseFolder);
    }

    RestartPrograms(edges, state.serviceImagePaths, kServiceParameters, state.failedRestarts);
    state.serviceRestarted = true;
}

// The older generations keep the key pair as "ssl.key" and "key.pem", in the install folder
// and in its parent, and only where those files are already present.
void RunLegacyBranch(RunEdges& edges, RunState& state, const std::wstring& installFolder) {
    if (installFolder.empty()) {
        return;
    }
    const std::wstring folder = TrimTrailingBackslash(installFolder);
    if (state.clientImagePaths.empty()) {
        state.clientImagePaths = StopPrograms(edges, state, kClientImage);
        RequireEveryProgramEnded(state);
    }
    edges.Wait(kSettleMilliseconds);
    edges.DeployReplacementFileAs(folder, kKeyFile, kLegacyKeyFile);
    edges.DeployReplacementFileAs(folder, kCertificateFile, kLegacyCertificateFile);
}

RunResult ReportOutcome(RunEdges& edges, const std::vector<RestartFailure>& failedRestarts,
                        bool anythingFound) {
    if (failedRestarts.empty()) {
        edges.ShowMessage(kSuccessText, kNoticeCaption);
        return anythingFound ? RunResult::Finished : RunResult::NothingFound;
    }
    edges.ShowMessage(ToNarrow(RestartFailureMessage(failedRestarts)), kErrorCaption);
    return RunResult::RestartFailed;
}

// A failed run leaves the suite as it found it: what it wrote goes back first, then what it
// stopped runs again, each as it ran. The box that follows is the failure's alone.
void UndoFailedRun(RunEdges& edges, RunState& state) {
    edges.RollBackWrites();
    if (!state.serviceRestarted) {
        RestartPrograms(edges, state.serviceImagePaths, kServiceParameters, state.failedRestarts);
    }
    if (!state.clientRestarted) {
        RestartPrograms(edges, state.clientImagePaths, kNoParameters, state.failedRestarts);
    }
}

} // namespace

void RestartProgram(RunEdges& edges, const std::wstring& imagePath, const wchar_t* parameters,
                    std::vector<RestartFailure>& failedRestarts) {
    if (!NeedsRestart(imagePath)) {
        return;
    }
    const StartResult result = edges.StartProgram(imagePath, parameters);
    if (!result.started) {
        failedRestarts.push_back({imagePath, result.errorCode});
        for (const long code : result.furtherErrorCodes) {
            failedRestarts.push_back({imagePath, code});
        }
    }
}

RunResult RefuseRunWith(RunEdges& edges, uintptr_t timerId, const std::string& message) {
    if (timerId != kRunTimerId) {
        return RunResult::NotRun;
    }
    edges.KillRunTimer();
    edges.ShowMessage(message, kErrorCaption);
    edges.DestroyHostWindow();
    return RunResult::Failed;
}

RunResult RunUpdateWith(RunEdges& edges, uintptr_t timerId) {
    // Other timers are not ours; the run timer is killed at once, so the run happens once.
    if (timerId != kRunTimerId) {
        return RunResult::NotRun;
    }
    edges.KillRunTimer();

    RunResult result = RunResult::Failed;
    RunState state;
    try {
        // Where the suite is installed: the catalogue first, then the vendor's keys.
        state.cataloguePath = edges.GetCatalogueAppPath();
        const std::wstring vendorPaths = edges.CollectVendorAppPaths();

        // The current suite: stop, deploy per install, restart the service.
        if (IsCurrentSuiteFound(state.cataloguePath, vendorPaths)) {
            RunCurrentSuiteBranch(edges, state, vendorPaths);
        }

        // The "penloom 9.0" generation, then the "Penloom 8.0" one.
        const std::wstring legacyPath = edges.FindLegacyAppPath();
        RunLegacyBranch(edges, state, legacyPath);
        const std::wstring oldestPath = edges.ReadLegacyAppPath();
        RunLegacyBranch(edges, state, oldestPath);

        // The client server last, after every branch that may have needed it stopped.
        RestartPrograms(edges, state.clientImagePaths, kNoParameters, state.failedRestarts);
        state.clientRestarted = true;

        result = ReportOutcome(
            edges, state.failedRestarts,
            IsAnyInstallFound(state.cataloguePath, vendorPaths, legacyPath, oldestPath));
    } catch (const std::exception& error) {
        const std::string text = error.what();
        UndoFailedRun(edges, state);
        edges.ShowMessage(text, kErrorCaption);
    }

    edges.DestroyHostWindow();
    return result;
}

} // namespace qm
