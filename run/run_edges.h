#pragma once
// Everything the update run asks of the world outside its own decisions. The program uses the
// Win32 calls and the suite operations (system_edges.h); tests put recorders in their place,
// so the run's sequence is exercised without one-second sleeps, message boxes or processes.
#include "run/deploy_plan.h"
#include "discovery/install_source.h"
#include "fileops/file_version.h"
#include "processes/stopped_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// What starting a program again gave: on failure, the code the report shows after "Errcode: "
// (for an elevated start the code the shell would have answered, else a Windows error code).
struct StartResult {
    bool started = false;
    long errorCode = 0;
    // Where several instances of the program were stopped (one per user on a terminal server)
    // and more than one could not be started again: the codes of the others.
    std::vector<long> furtherErrorCodes;
};

// One file (or folder) a failed run put back as it found it, or could not.
struct RollbackStep {
    enum class Action { Restored, Removed, Unchanged, Failed };
    Action action = Action::Unchanged;
    std::wstring path;
    std::string failure; // the message, when Failed
};

struct RollbackReport {
    std::vector<RollbackStep> steps;
    // The backup set that holds what a restore needs; empty when there is none.
    std::wstring setFolder;
    bool complete() const {
        for (const RollbackStep& step : steps) {
            if (step.action == RollbackStep::Action::Failed) {
                return false;
            }
        }
        return true;
    }
};

class RunEdges {
public:
    virtual ~RunEdges() = default;

    // The host window and the user.
    virtual void KillRunTimer() = 0;
    // Narrow text and caption, shown modally with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    virtual void DestroyHostWindow() = 0;

    // The system.
    virtual void Wait(uint32_t milliseconds) = 0;
    // Starts a program hidden, as it ran before it was stopped.
    virtual StartResult StartProgram(const std::wstring& imagePath,
                                     const std::wstring& parameters) = 0;
    // False when the roaming application-data folder cannot be had.
    virtual bool GetRoamingAppDataFolder(std::wstring& folder) = 0;
    virtual bool FolderExists(const std::wstring& folder) = 0;
    // False, with the system's error code, when version.dll cannot be loaded from the system
    // folder.
    virtual bool LoadVersionLibrary(uint32_t& errorCode) = 0;

    // Where the suite is installed.
    virtual std::wstring GetCatalogueAppPath() = 0;
    virtual std::wstring CollectVendorAppPaths() = 0;
    virtual std::wstring FindLegacyAppPath() = 0;
    virtual std::wstring ReadLegacyAppPath() = 0;
    // Where each install the lookups above returned so far was found, in the order found; for
    // the log and the preview only.
    virtual std::vector<InstallSource> FoundInstallSources() { return {}; }

    // The suite's processes and files. Every process whose file name is exactly imageName is
    // asked to end; the run keeps the last readable image path to start it again.
    virtual std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) = 0;
    std::wstring TerminateProcessesByName(const std::wstring& imageName) {
        return KeptImagePath(StopProcessesByName(imageName));
    }
    virtual bool GetFileVersionNumbers(const std::wstring& filePath,
                                       FileVersionNumbers& numbers) = 0;
    virtual bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) = 0;
    // Both deployments throw UserError with the message for the user.
    virtual void DeployReplacementFile(const std::wstring& installFolder,
                                       const std::wstring& userFolder,
                                       const std::wstring& fileName) = 0;
    virtual void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                         const std::wstring& targetName) = 0;

    // A restore's writes; both throw UserError with the message for the user. The saved copy's
    // bytes take originalPath's place in one step.
    virtual void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) = 0;
    // Deletes a file a run had created; one that is gone already is no failure.
    virtual void RemoveCreatedFile(const std::wstring& path) = 0;

    // Fail-safe runs. Before the first stop, the run's writes are announced all at once, so that
    // what they overwrite can be saved first; throws UserError when it cannot. After a failure,
    // whatever the run wrote is put back as it was; never throws.
    virtual void PrepareWrites(const DeployPlan&) {}
    virtual RollbackReport RollBackWrites() { return {}; }
};

} // namespace qm
