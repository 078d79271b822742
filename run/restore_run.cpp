// The restore's sequence: check the set, stop, put back, remove, restart, report.
#include "run/restore_run.h"

#include "run/update_run.h"

#include "backup/backup_manifest.h"
#include "backup/backup_sets.h"
#include "platform/codepage.h"
#include "platform/user_error.h"

#include <algorithm>
#include <exception>

namespace qm {

namespace {

constexpr char kNoticeCaption[] = "\xCC\xE1\xCA\xBE"; // 提示
constexpr char kErrorCaption[] = "\xB4\xED\xCE\xF3";  // 错误

constexpr wchar_t kNoSet[] = L"没有找到可还原的备份, 未做任何修改";
constexpr wchar_t kNoSuchSet[] = L"没有找到备份[%s], 未做任何修改";
constexpr wchar_t kManifestUnusable[] = L"备份清单无法读取或已损坏[%s], 未做任何修改";
constexpr wchar_t kCopyMismatch[] = L"备份文件校验失败[%s], 该备份未被使用, 未做任何修改";
constexpr wchar_t kRestored[] = L"已从备份还原[%s]";
constexpr wchar_t kWouldRestore[] = L"将从备份还原[%s]:";
constexpr wchar_t kRestoreLine[] = L"\n还原 %s";
constexpr wchar_t kRemoveLine[] = L"\n删除 %s";

std::wstring ChosenSet(BackupLibrary& library, const std::wstring& stamp) {
    const std::vector<std::wstring> names = library.FolderNames();
    if (stamp.empty()) {
        return NewestSet(names);
    }
    const bool present =
        IsSetName(stamp) && std::find(names.begin(), names.end(), stamp) != names.end();
    return present ? stamp : std::wstring();
}

// The whole set is checked before anything is stopped or written: a set with one bad copy is
// not used at all, so a restore never leaves a mix of old and restored files behind.
BackupManifest CheckedManifest(BackupLibrary& library, const std::wstring& setName) {
    std::string text;
    BackupManifest manifest;
    if (!library.ReadManifest(setName, text) || !ParseManifest(text, manifest)) {
        ThrowUserError(kManifestUnusable, {setName});
    }
    for (const BackupEntry& entry : manifest.entries) {
        if (entry.kind != BackupKind::Overwritten) {
            continue;
        }
        uint64_t size = 0;
        std::string sha256;
        if (!library.Fingerprint(library.SavedCopyPath(setName, entry.storedName), size, sha256) ||
            size != entry.size || sha256 != entry.sha256) {
            ThrowUserError(kCopyMismatch, {entry.originalPath});
        }
    }
    return manifest;
}

std::wstring PreviewText(const std::wstring& setName, const BackupManifest& manifest) {
    std::wstring text = FormatUserMessage(kWouldRestore, {setName});
    for (const BackupEntry& entry : manifest.entries) {
        text +=
            FormatUserMessage(entry.kind == BackupKind::Overwritten ? kRestoreLine : kRemoveLine,
                              {entry.originalPath});
    }
    return text;
}

RunResult Restore(RunEdges& edges, BackupLibrary& library, const RestoreRequest& request) {
    const std::wstring setName = ChosenSet(library, request.stamp);
    if (setName.empty()) {
        edges.ShowMessage(ToNarrow(request.stamp.empty()
                                       ? std::wstring(kNoSet)
                                       : FormatUserMessage(kNoSuchSet, {request.stamp})),
                          kNoticeCaption);
        return RunResult::NothingFound;
    }
    const BackupManifest manifest = CheckedManifest(library, setName);
    if (request.preview) {
        edges.ShowMessage(ToNarrow(PreviewText(setName, manifest)), kNoticeCaption);
        return RunResult::Finished;
    }

    // As a run: the suite's programs let go of their files first.
    const std::wstring serviceImagePath = edges.TerminateProcessesByName(kServiceImage);
    const std::wstring clientImagePath = edges.TerminateProcessesByName(kClientImage);
    edges.TerminateProcessesByName(kUpdaterImage);
    edges.Wait(kSettleMilliseconds);

    for (const BackupEntry& entry : manifest.entries) {
        if (entry.kind == BackupKind::Overwritten) {
            edges.RestoreFile(library.SavedCopyPath(setName, entry.storedName), entry.originalPath);
        } else {
            edges.RemoveCreatedFile(entry.originalPath);
        }
    }

    std::vector<RestartFailure> failedRestarts;
    RestartProgram(edges, serviceImagePath, kServiceParameters, failedRestarts);
    RestartProgram(edges, clientImagePath, kNoParameters, failedRestarts);
    if (!failedRestarts.empty()) {
        edges.ShowMessage(ToNarrow(RestartFailureMessage(failedRestarts)), kErrorCaption);
        return RunResult::RestartFailed;
    }
    edges.ShowMessage(ToNarrow(FormatUserMessage(kRestored, {setName})), kNoticeCaption);
    return RunResult::Finished;
}

} // namespace

RunResult RunRestoreWith(RunEdges& edges, BackupLibrary& library, const RestoreRequest& request,
                         uintptr_t timerId) {
    if (timerId != kRunTimerId) {
        return RunResult::NotRun;
    }
    edges.KillRunTimer();
    RunResult result = RunResult::Failed;
    try {
        result = Restore(edges, library, request);
    } catch (const std::exception& error) {
        // As after a run: nothing is rolled back or restarted; the restore's own backup set
        // holds what it changed.
        edges.ShowMessage(error.what(), kErrorCaption);
    }
    edges.DestroyHostWindow();
    return result;
}

} // namespace qm
