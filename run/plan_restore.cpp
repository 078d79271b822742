// The restore's facts, its plan and its preview.
#include "run/plan_restore.h"

#include "backup/backup_sets.h"
#include "fileops/link_rules.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"

#include <algorithm>

namespace qm {

namespace {

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

Step ProgramStep(StepKind kind, const wchar_t* image, const wchar_t* parameters) {
    Step step;
    step.kind = kind;
    step.image = image;
    step.parameters = parameters;
    return step;
}

} // namespace

RestoreFacts ReadRestoreFacts(BackupLibrary& library, const std::wstring& stamp) {
    RestoreFacts facts;
    facts.stamp = stamp;
    try {
        facts.setName = ChosenSet(library, stamp);
    } catch (const std::exception& error) {
        facts.failure = MessageOf(error);
        return facts;
    }
    if (facts.setName.empty()) {
        return facts;
    }
    std::string text;
    if (!library.ReadManifest(facts.setName, text) || !ParseManifest(text, facts.manifest)) {
        facts.failure = FormatUserMessage(kManifestUnusable, {facts.setName});
        return facts;
    }
    for (const BackupEntry& entry : facts.manifest.entries) {
        if (entry.kind != BackupKind::Overwritten) {
            facts.savedCopies.emplace_back();
            continue;
        }
        const std::wstring saved = library.SavedCopyPath(facts.setName, entry.storedName);
        uint64_t size = 0;
        std::string sha256;
        if (!library.Fingerprint(saved, size, sha256) || size != entry.size ||
            sha256 != entry.sha256) {
            facts.failure = FormatUserMessage(kCopyMismatch, {entry.originalPath});
            return facts;
        }
        facts.savedCopies.push_back(saved);
        if (library.Fingerprint(entry.originalPath, size, sha256) && size == entry.size &&
            sha256 == entry.sha256) {
            facts.current.insert(entry.originalPath);
        }
    }
    return facts;
}

Plan PlanRestore(const RestoreFacts& facts) {
    Plan plan;
    plan.finishCaption = kNoticeCaption;
    if (!facts.failure.empty()) {
        plan.refusal = facts.failure;
        return plan;
    }
    if (facts.setName.empty()) {
        plan.finishText = facts.stamp.empty() ? std::wstring(kNoSet)
                                              : FormatUserMessage(kNoSuchSet, {facts.stamp});
        plan.finishResult = RunResult::NothingFound;
        return plan;
    }
    plan.finishText = FormatUserMessage(kRestored, {facts.setName});
    plan.finishResult = RunResult::Finished;

    // As a run: the suite's programs let go of their files first, and come back at the end.
    plan.steps.push_back(ProgramStep(StepKind::Stop, kServiceImage, kNoParameters));
    plan.steps.push_back(ProgramStep(StepKind::Stop, kClientImage, kNoParameters));
    plan.steps.push_back(ProgramStep(StepKind::Stop, kUpdaterImage, kNoParameters));
    plan.steps.push_back(ProgramStep(StepKind::RequireEnded, L"", kNoParameters));
    Step wait;
    wait.milliseconds = kSettleMilliseconds;
    plan.steps.push_back(wait);

    for (size_t i = 0; i < facts.manifest.entries.size(); ++i) {
        const BackupEntry& entry = facts.manifest.entries[i];
        Step step;
        step.target = entry.originalPath;
        // A user may have swapped a folder of their profile for a link since the run: the root
        // is derived here, never taken from the set.
        step.linkRoot = TrustedRootFor(entry.originalPath, facts.userRoots);
        // What the restore itself changes is saved first, like a run's.
        if (facts.current.count(entry.originalPath) == 0) {
            plan.saves.push_back({entry.originalPath,
                                  nullptr,
                                  step.linkRoot,
                                  {},
                                  IsInUserFolder(entry.originalPath, facts.userRoots),
                                  {}});
        }
        if (entry.kind == BackupKind::Overwritten) {
            step.kind = StepKind::Copy;
            step.source = facts.savedCopies[i];
            step.fromBackup = true;
            step.failure = kRestoreFailed;
            plan.checks.push_back({CheckKind::TargetWritable, step.target, kRestoreFailed, {}, {}});
        } else {
            step.kind = StepKind::Remove;
            step.failure = kRemoveFailed;
        }
        plan.checks.push_back(
            {CheckKind::LinkFree, ParentFolder(step.target), step.failure, step.linkRoot, {}});
        plan.steps.push_back(step);
    }
    plan.steps.push_back(ProgramStep(StepKind::Restart, kServiceImage, kServiceParameters));
    plan.steps.push_back(ProgramStep(StepKind::Restart, kClientImage, kNoParameters));
    return plan;
}

std::wstring RestorePreviewText(const RestoreFacts& facts) {
    std::wstring text = FormatUserMessage(kWouldRestore, {facts.setName});
    for (const BackupEntry& entry : facts.manifest.entries) {
        text +=
            FormatUserMessage(entry.kind == BackupKind::Overwritten ? kRestoreLine : kRemoveLine,
                              {entry.originalPath});
    }
    return text;
}

} // namespace qm
