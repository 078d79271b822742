// The backup journal: the set saved before the stop, put back after a failure; the set library.
#include "edges/backup_journal.h"

#include "backup/backup_batch.h"
#include "backup/backup_files.h"
#include "backup/backup_sets.h"
#include "edges/path_key.h"
#include "fileops/target_checks.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/utf8.h"
#include "platform/win_handles.h"

#include <windows.h>

#include <exception>

namespace qm {

namespace {

// Beside the manifest when a failed run could not put everything back: what is listed there
// still needs the set.
constexpr wchar_t kRollbackUnfinishedFile[] = L"rollback-unfinished.txt";
// Beside the manifest: the certificate or key each saved file holds, one tab-separated line each.
constexpr wchar_t kCertificatesFile[] = L"certificates.txt";
constexpr DWORD kNoSharing = 0;
constexpr LPSECURITY_ATTRIBUTES kInheritedSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr LPOVERLAPPED kNotOverlapped = nullptr;

BackupSetInfo InfoOf(const std::wstring& backups, const std::wstring& name) {
    std::string text;
    BackupManifest manifest;
    const std::wstring folder = JoinPath(backups, name);
    const bool finished =
        ReadManifestFile(folder, text) && ParseManifest(text, manifest) && manifest.finished;
    const bool rollbackUnfinished =
        GetFileAttributesW(JoinPath(folder, kRollbackUnfinishedFile).c_str()) !=
        INVALID_FILE_ATTRIBUTES;
    return {name, finished, rollbackUnfinished};
}

void PruneSets() {
    const std::wstring backups = BackupsFolder();
    std::vector<BackupSetInfo> sets;
    for (const std::wstring& name : ListBackupFolders(backups)) {
        if (IsSetName(name)) {
            sets.push_back(InfoOf(backups, name));
        }
    }
    for (const std::wstring& name : SetsToRemove(sets)) {
        RemoveBackupSet(JoinPath(backups, name));
    }
}

// A path the manifest can carry whole; else the code that refuses it.
DWORD RecordableError(const std::wstring& path) {
    // The manifest must name the very file: a path UTF-8 cannot carry (a lone surrogate) is
    // not written at all.
    std::wstring carried;
    return FromUtf8(ToUtf8(path), carried) && carried == path ? ERROR_SUCCESS : ERROR_INVALID_NAME;
}

// What a file that cannot be saved shows: an installed file that cannot be read is reported as
// its write would have reported it.
[[noreturn]] void ThrowNotSaved(const PlannedSave& save, DWORD error, bool originalUnreadable) {
    const std::wstring message = originalUnreadable && save.failure
                                     ? FormatUserMessage(save.failure, {error})
                                     : FormatUserMessage(kSaveFailed, {save.path, error});
    throw SaveFailure(message, save.path, error);
}

} // namespace

void BackupJournal::Save(const std::vector<PlannedSave>& saves) {
    // Nothing to overwrite needs no set, nor the folders that hold sets.
    if (saves.empty()) {
        return;
    }
    SettleManifest();
    if (setFolder_.empty()) {
        const std::wstring folder = CreateBackupSet();
        // An empty manifest at once: the set says what it is even if the run dies now. Not
        // flushed: it names nothing, and the manifest that names the saved files is.
        WriteManifestFile(folder, ManifestText(manifest_), ManifestDurability::Written);
        setFolder_ = folder;
    }
    // Entries join the manifest only when the whole set is saved: a set that failed half way
    // holds nothing the run wrote, and goes when the run ends.
    std::vector<BackupEntry> entries;
    std::vector<FileState> states;
    std::set<std::wstring> keys;
    BackupBatch batch(setFolder_);
    for (const PlannedSave& save : saves) {
        if (!keys.insert(PathKey(save.path)).second) {
            continue;
        }
        roots_[PathKey(save.path)] = save.root;
        if (const DWORD error = RecordableError(save.path); error != ERROR_SUCCESS) {
            ThrowNotSaved(save, error, false);
        }
        BackupEntry entry;
        entry.originalPath = save.path;
        entry.kind = BackupKind::Overwritten;
        entry.storedName = StoredNameFor(manifest_.entries.size() + entries.size(), save.path);
        SavedFile saved;
        bool originalUnreadable = false;
        const DWORD error =
            batch.Add(save.path, entry.storedName, save.userWritable, saved, originalUnreadable);
        if (originalUnreadable &&
            (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            // Not there: the run creates it.
            entry = BackupEntry{};
            entry.originalPath = save.path;
        } else if (error != ERROR_SUCCESS) {
            ThrowNotSaved(save, error, originalUnreadable);
        } else {
            entry.size = saved.size;
            entry.sha256 = saved.sha256;
            entry.linked = saved.linked;
        }
        if (entry.linked) {
            states.push_back(
                {manifest_.entries.size() + entries.size(), saved.size, saved.written});
        }
        entries.push_back(entry);
    }
    // Flushed before the manifest names them: a manifest on disk never lists a copy that is not.
    // Links need no flush: their data was on disk before, and a link is metadata, which the
    // file system journals in order, ahead of the rename that replaces the original.
    const DWORD flushError = batch.Flush();
    if (flushError != ERROR_SUCCESS) {
        ThrowUserError(kSaveFailed, {setFolder_, flushError});
    }
    if (entries.empty()) {
        return;
    }
    entriesBeforeWrite_ = manifest_.entries.size();
    manifest_.entries.insert(manifest_.entries.end(), entries.begin(), entries.end());
    // Written at the fixed wait after the stop, or by Settle before it; the first write waits
    // for it (SettleManifest).
    manifestWrite_ = std::make_unique<ManifestWriter>(setFolder_, ManifestText(manifest_));
    for (const FileState& state : states) {
        linked_[PathKey(manifest_.entries[state.entry].originalPath)] = state;
    }
    NoteCertificates(saves);
}

void BackupJournal::NoteCertificates(const std::vector<PlannedSave>& saves) {
    for (const PlannedSave& save : saves) {
        if (!save.holds.empty()) {
            certificates_ += ToUtf8(save.path) + '\t' + ToUtf8(save.holds) + "\r\n";
        }
    }
    if (certificates_.empty()) {
        return;
    }
    // For whoever looks into the set: which certificate each saved file holds. A restore reads
    // only the manifest, so this is written as best it can be.
    const UniqueFile file(CreateFileW(JoinPath(setFolder_, kCertificatesFile).c_str(),
                                      GENERIC_WRITE, kNoSharing, kInheritedSecurity, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, kNoTemplate));
    DWORD written = 0;
    if (file) {
        WriteFile(file.get(), certificates_.data(), static_cast<DWORD>(certificates_.size()),
                  &written, kNotOverlapped);
    }
}

void BackupJournal::SettleMeanwhile() {
    if (manifestWrite_) {
        manifestWrite_->Start();
    }
}

void BackupJournal::SettleManifest() {
    if (!manifestWrite_) {
        return;
    }
    const std::unique_ptr<ManifestWriter> write = std::move(manifestWrite_);
    try {
        write->Finish();
    } catch (...) {
        // A set whose manifest did not reach the disk holds nothing the run may write over.
        manifest_.entries.resize(entriesBeforeWrite_);
        for (auto state = linked_.begin(); state != linked_.end();) {
            state = state->second.entry >= entriesBeforeWrite_ ? linked_.erase(state) : ++state;
        }
        throw;
    }
}

void BackupJournal::Touch(const std::wstring& path) {
    SettleManifest();
    // A linked file is the installed one until this write replaces it: what its program wrote
    // into it before it was stopped is what the set now holds, and the manifest must say so.
    const auto linked = linked_.find(PathKey(path));
    if (linked != linked_.end()) {
        const FileState state = linked->second;
        linked_.erase(linked);
        BackupEntry& entry = manifest_.entries[state.entry];
        const std::wstring saved = JoinPath(setFolder_, entry.storedName);
        uint64_t size = 0;
        FILETIME written{};
        if (!SavedFileState(saved, size, written)) {
            ThrowUserError(kSaveFailed, {path, GetLastError()});
        }
        if (size != state.size || CompareFileTime(&written, &state.written) != 0) {
            if (!Fingerprint(saved, entry.size, entry.sha256)) {
                ThrowUserError(kSaveFailed, {path, GetLastError()});
            }
            WriteManifestFile(setFolder_, ManifestText(manifest_));
        }
    }
    touched_.insert(PathKey(path));
}

RollbackStep BackupJournal::PutBackEntry(const BackupEntry& entry) {
    RollbackStep step;
    step.path = entry.originalPath;
    const auto planned = roots_.find(PathKey(entry.originalPath));
    const std::wstring root = planned != roots_.end() && !planned->second.empty()
                                  ? planned->second
                                  : ParentFolder(ParentFolder(entry.originalPath));
    try {
        if (entry.kind == BackupKind::Created) {
            if (!IsFilePresent(entry.originalPath)) {
                return step;
            }
            RemoveFileIfPresent(entry.originalPath, root);
            step.action = RollbackStep::Action::Removed;
            return step;
        }
        // A file the failed step never reached is left alone: it may be the very file that a
        // program holds, which a copy back could not replace either.
        uint64_t size = 0;
        std::string sha256;
        if (Fingerprint(entry.originalPath, size, sha256) && size == entry.size &&
            sha256 == entry.sha256) {
            return step;
        }
        RestoreSavedCopy(JoinPath(setFolder_, entry.storedName), entry.originalPath, root);
        step.action = RollbackStep::Action::Restored;
    } catch (const std::exception& error) {
        step.action = RollbackStep::Action::Failed;
        step.failure = MessageOf(error);
    }
    return step;
}

RollbackReport BackupJournal::PutBack(const std::vector<std::wstring>& paths) {
    // Never throws: a manifest that failed has had its entries taken back.
    try {
        SettleManifest();
    } catch (const std::exception&) {
    }
    std::set<std::wstring> keys;
    for (const std::wstring& path : paths) {
        if (touched_.erase(PathKey(path)) != 0) {
            keys.insert(PathKey(path));
        }
    }
    RollbackReport report;
    report.setFolder = setFolder_;
    // Last written first, so a file written twice ends as it was before the first write.
    for (auto entry = manifest_.entries.rbegin(); entry != manifest_.entries.rend(); ++entry) {
        if (keys.count(PathKey(entry->originalPath)) != 0) {
            report.steps.push_back(PutBackEntry(*entry));
        }
    }
    return report;
}

RollbackReport BackupJournal::RollBack() {
    std::vector<std::wstring> touched(touched_.begin(), touched_.end());
    RollbackReport report = PutBack(touched);
    // The folders the run made, once the files in them are gone.
    for (auto folder = madeFolders_.rbegin(); folder != madeFolders_.rend(); ++folder) {
        RemoveFolderIfEmpty(*folder);
        if (GetFileAttributesW(folder->c_str()) == INVALID_FILE_ATTRIBUTES) {
            report.steps.push_back({RollbackStep::Action::Removed, *folder, {}});
        }
    }
    madeFolders_.clear();
    if (!report.complete() && !setFolder_.empty()) {
        std::string listed;
        for (const RollbackStep& step : report.steps) {
            if (step.action == RollbackStep::Action::Failed) {
                listed += ToUtf8(step.path) + "\r\n";
            }
        }
        // Best effort: without the file the set is still kept as a failed run's.
        const UniqueFile marker(CreateFileW(JoinPath(setFolder_, kRollbackUnfinishedFile).c_str(),
                                            GENERIC_WRITE, kNoSharing, kInheritedSecurity,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, kNoTemplate));
        DWORD written = 0;
        if (marker) {
            WriteFile(marker.get(), listed.data(), static_cast<DWORD>(listed.size()), &written,
                      kNotOverlapped);
        }
    }
    return report;
}

void BackupJournal::Close(RunResult result) {
    if (setFolder_.empty()) {
        return;
    }
    try {
        SettleManifest();
    } catch (const std::exception&) {
        // Its entries are taken back: a set left with none goes below.
    }
    try {
        if (manifest_.entries.empty()) {
            RemoveBackupSet(setFolder_);
            return;
        }
        if (result != RunResult::Finished && result != RunResult::NothingFound &&
            result != RunResult::LeftOut) {
            return;
        }
        manifest_.finished = true;
        WriteManifestFile(setFolder_, ManifestText(manifest_));
        PruneSets();
    } catch (const std::exception&) {
        // The set stays as a failed run's, which is kept longer; nothing else is at stake.
    }
}

std::wstring BackupJournal::KeptSet() const {
    // A set that held nothing, or a refused run's, is gone by now.
    return !setFolder_.empty() && GetFileAttributesW(setFolder_.c_str()) != INVALID_FILE_ATTRIBUTES
               ? setFolder_
               : std::wstring();
}

void LookingJournal::Save(const std::vector<PlannedSave>& saves) {
    for (const PlannedSave& save : saves) {
        if (const DWORD error = RecordableError(save.path); error != ERROR_SUCCESS) {
            ThrowNotSaved(save, error, false);
        }
        const DWORD error = OriginalReadError(save.path);
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND &&
            error != ERROR_PATH_NOT_FOUND) {
            ThrowNotSaved(save, error, true);
        }
    }
}

std::vector<std::wstring> SystemBackupLibrary::FolderNames() {
    // What is read here is written elevated into the suite's folders: folders that anyone but
    // SYSTEM or Administrators could have made are refused, as they are for writing.
    const std::wstring backups = BackupsFolder();
    if (backups.empty() || !IsFilePresent(ParentFolder(backups))) {
        return {};
    }
    HoldProtectedFolder(ParentFolder(backups));
    if (!IsFilePresent(backups)) {
        return {};
    }
    HoldProtectedFolder(backups);
    return ListBackupFolders(backups);
}

bool SystemBackupLibrary::ReadManifest(const std::wstring& setName, std::string& text) {
    return ReadManifestFile(JoinPath(BackupsFolder(), setName), text);
}

std::wstring SystemBackupLibrary::SavedCopyPath(const std::wstring& setName,
                                                const std::wstring& storedName) {
    return JoinPath(JoinPath(BackupsFolder(), setName), storedName);
}

bool SystemBackupLibrary::Fingerprint(const std::wstring& path, uint64_t& size,
                                      std::string& sha256) {
    return qm::Fingerprint(path, size, sha256);
}

} // namespace qm
