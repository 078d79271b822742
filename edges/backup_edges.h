#pragma once
// The backup: a decorator that, before the run stops anything, makes a new set under
// %ProgramData%\Quillmend\Backups. A run announces all its writes before its first stop, and
// every file they overwrite is saved then, with one flush for the set; a restore's writes are
// saved one by one, before each (a file that cannot be saved is not written: the UserError ends
// the run with the error box naming it). After a failure, the run's writes are put back.
#include "edges/forwarding_edges.h"
#include "run/restore_run.h"
#include "backup/backup_manifest.h"

#include <set>
#include <string>

namespace qm {

class BackupEdges : public ForwardingEdges {
public:
    using ForwardingEdges::ForwardingEdges;

    // After the run: the set is marked finished when the run ended well, then older sets are
    // pruned; a set that holds nothing is removed. Never throws: the run is over.
    void Close(RunResult result);

    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override;
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override;
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override;
    void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) override;
    void RemoveCreatedFile(const std::wstring& path) override;
    void PrepareWrites(const DeployPlan& plan) override;
    RollbackReport RollBackWrites() override;

private:
    // Made on the first stop or write, so a run that finds nothing makes none.
    void EnsureSet();
    // The file's state before this run first wrote it; later writes of the same file in the
    // same run (the shared per-user copy) must not replace that.
    void Record(const std::wstring& path, bool onlyIfPresent);
    // A path the manifest can carry whole, else UserError.
    static void RequireRecordable(const std::wstring& path);
    void Touch(const std::vector<DeployTarget>& targets);
    RollbackStep PutBack(const BackupEntry& entry);

    std::wstring setFolder_;
    BackupManifest manifest_;
    std::set<std::wstring> recorded_; // upper-cased paths
    std::set<std::wstring> touched_;  // upper-cased paths a deployment was asked to write
};

// The sets as the program keeps them on disk.
class SystemBackupLibrary : public BackupLibrary {
public:
    std::vector<std::wstring> FolderNames() override;
    bool ReadManifest(const std::wstring& setName, std::string& text) override;
    std::wstring SavedCopyPath(const std::wstring& setName,
                               const std::wstring& storedName) override;
    bool Fingerprint(const std::wstring& path, uint64_t& size, std::string& sha256) override;
};

} // namespace qm
