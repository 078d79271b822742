#pragma once
// The executor's journal: a backup set under %ProgramData%\Quillmend\Backups, made before the
// first stop, holding every file the plan overwrites (a second name of the file itself where
// only administrators may change it, else a copy, flushed once for the set) and a manifest;
// after a failure, what the run wrote goes back from it.
#include "run/executor.h"
#include "run/plan_restore.h"
#include "backup/backup_manifest.h"
#include "backup/manifest_writer.h"

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qm {

class BackupJournal : public Journal {
public:
    void Save(const std::vector<PlannedSave>& saves) override;
    void Settle() override { SettleManifest(); }
    void SettleMeanwhile() override;
    void FolderMade(const std::wstring& folder) override { madeFolders_.push_back(folder); }
    void Touch(const std::wstring& path) override;
    RollbackReport RollBack() override;
    RollbackReport PutBack(const std::vector<std::wstring>& paths) override;
    // The set is marked finished when the run ended well, then older sets are pruned; a set
    // that holds nothing is removed.
    void Close(RunResult result) override;
    // The set the run made and kept (it holds something); empty when there is none.
    std::wstring KeptSet() const;

private:
    RollbackStep PutBackEntry(const BackupEntry& entry);
    // The last save's manifest on disk before anything relies on it; throws what writing it
    // gave, with the save's entries taken back.
    void SettleManifest();
    void NoteCertificates(const std::vector<PlannedSave>& saves);

    // A linked entry as saved: a change since shows in its size or write time.
    struct FileState {
        size_t entry = 0; // in the manifest
        uint64_t size = 0;
        FILETIME written{};
    };

    std::wstring setFolder_;
    BackupManifest manifest_;
    std::set<std::wstring> touched_; // upper-cased paths a step was about to write
    // Upper-cased path -> the plan's root for it: a rollback trusts no more than the run did.
    std::map<std::wstring, std::wstring> roots_;
    std::vector<std::wstring> madeFolders_;
    // Upper-cased path -> its linked entry, until the write that replaces it.
    std::map<std::wstring, FileState> linked_;
    std::string certificates_; // certificates.txt as written so far
    // The last save's manifest until it is written, and how many entries it adds.
    std::unique_ptr<ManifestWriter> manifestWrite_;
    size_t entriesBeforeWrite_ = 0;
};

// A preview's journal: makes no set, and only looks whether each file could be saved.
class LookingJournal : public Journal {
public:
    void Save(const std::vector<PlannedSave>& saves) override;
    void Settle() override {}
    void FolderMade(const std::wstring&) override {}
    void Touch(const std::wstring&) override {}
    RollbackReport RollBack() override { return {}; }
    RollbackReport PutBack(const std::vector<std::wstring>&) override { return {}; }
    void Close(RunResult) override {}
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
