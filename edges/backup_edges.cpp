// The backup decorator: a set before the stop, a saved copy before each write, the restore's set.
#include "edges/backup_edges.h"

#include "backup/backup_files.h"
#include "backup/backup_sets.h"
#include "fileops/deploy_targets.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/utf8.h"

#include <windows.h>

#include <exception>

namespace qm {

namespace {

constexpr wchar_t kUnrecordablePath[] = L"备份文件失败[%s], 该文件未被替换, Errcode: %d";

// Windows compares file names without regard to case.
std::wstring PathKey(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty()) {
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    }
    return key;
}

BackupSetInfo InfoOf(const std::wstring& backups, const std::wstring& name) {
    std::string text;
    BackupManifest manifest;
    const bool finished = ReadManifestFile(JoinPath(backups, name), text) &&
                          ParseManifest(text, manifest) && manifest.finished;
    return {name, finished};
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

} // namespace

void BackupEdges::EnsureSet() {
    if (setFolder_.empty()) {
        const std::wstring folder = CreateBackupSet();
        // An empty manifest at once: the set says what it is even if the run dies now.
        WriteManifestFile(folder, ManifestText(manifest_));
        setFolder_ = folder;
    }
}

void BackupEdges::Record(const std::wstring& path, bool onlyIfPresent) {
    EnsureSet();
    if (!recorded_.insert(PathKey(path)).second) {
        return;
    }
    // The manifest must name the very file: a path UTF-8 cannot carry (a lone surrogate) is
    // not written at all.
    std::wstring carried;
    if (!FromUtf8(ToUtf8(path), carried) || carried != path) {
        recorded_.erase(PathKey(path));
        ThrowUserError(kUnrecordablePath, {path, static_cast<unsigned long>(ERROR_INVALID_NAME)});
    }
    BackupEntry entry;
    entry.originalPath = path;
    if (onlyIfPresent ? IsOpenableForReading(path) : IsFilePresent(path)) {
        entry.kind = BackupKind::Overwritten;
        entry.storedName = StoredNameFor(manifest_.entries.size(), path);
        try {
            SaveCopy(path, JoinPath(setFolder_, entry.storedName), entry.size, entry.sha256);
        } catch (...) {
            // Not saved, so not recorded: a later write of it must try again.
            recorded_.erase(PathKey(path));
            throw;
        }
    } else if (onlyIfPresent) {
        // Not there, so the deployment leaves it alone.
        recorded_.erase(PathKey(path));
        return;
    } else {
        entry.kind = BackupKind::Created;
    }
    manifest_.entries.push_back(entry);
    // Before the write itself, so a run that dies part way leaves a set that covers it.
    WriteManifestFile(setFolder_, ManifestText(manifest_));
}

std::vector<StoppedProcess> BackupEdges::StopProcessesByName(const std::wstring& imageName) {
    EnsureSet();
    return ForwardingEdges::StopProcessesByName(imageName);
}

void BackupEdges::DeployReplacementFile(const std::wstring& installFolder,
                                        const std::wstring& userFolder,
                                        const std::wstring& fileName) {
    for (const DeployTarget& target : ReplacementTargets(installFolder, userFolder, fileName)) {
        Record(target.path, target.onlyIfPresent);
    }
    ForwardingEdges::DeployReplacementFile(installFolder, userFolder, fileName);
}

void BackupEdges::DeployReplacementFileAs(const std::wstring& folder,
                                          const std::wstring& sourceName,
                                          const std::wstring& targetName) {
    for (const DeployTarget& target : ReplacementTargetsAs(folder, sourceName, targetName)) {
        Record(target.path, target.onlyIfPresent);
    }
    ForwardingEdges::DeployReplacementFileAs(folder, sourceName, targetName);
}

void BackupEdges::RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) {
    Record(originalPath, false);
    ForwardingEdges::RestoreFile(savedCopy, originalPath);
}

void BackupEdges::RemoveCreatedFile(const std::wstring& path) {
    Record(path, true);
    ForwardingEdges::RemoveCreatedFile(path);
}

void BackupEdges::Close(RunResult result) {
    if (setFolder_.empty()) {
        return;
    }
    try {
        if (manifest_.entries.empty()) {
            RemoveBackupSet(setFolder_);
            return;
        }
        if (result != RunResult::Finished && result != RunResult::NothingFound) {
            return;
        }
        manifest_.finished = true;
        WriteManifestFile(setFolder_, ManifestText(manifest_));
        PruneSets();
    } catch (const std::exception&) {
        // The set stays as a failed run's, which is kept longer; nothing else is at stake.
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
