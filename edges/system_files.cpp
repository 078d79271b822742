// Checks, copies and removals on this system's files.
#include "edges/system_files.h"

#include "backup/backup_files.h"
#include "fileops/deploy.h"
#include "fileops/link_check.h"
#include "fileops/target_checks.h"
#include "platform/paths.h"

#include <windows.h>

namespace qm {

namespace {

// How long a copy of a held target waits before it tries again.
constexpr DWORD kHeldRetryPauseMs = 50;

bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

unsigned long SystemFiles::TargetOpenErrorOf(const std::wstring& target) {
    const auto known = targetOpenErrors_.find(target);
    if (known != targetOpenErrors_.end()) {
        return known->second;
    }
    const DWORD error = TargetOpenError(target);
    targetOpenErrors_.emplace(target, error);
    return error;
}

unsigned long SystemFiles::Check(const PlannedCheck& check, bool& created) {
    created = false;
    DWORD error = ERROR_SUCCESS;
    switch (check.kind) {
    case CheckKind::TargetWritable:
        error = TargetOpenErrorOf(check.path);
        // A missing target is created, not opened; its folder has a check of its own. The
        // suite's files are held by the suite until the stop; a user's copy held in a run for
        // all users is held by a program the run does not stop.
        return IsMissing(error) || (IsHeld(error) && check.profile.empty()) ? ERROR_SUCCESS : error;
    case CheckKind::SourceReadable:
        error = SourceReadError(check.path);
        return IsHeld(error) ? ERROR_SUCCESS : error;
    case CheckKind::TargetFolder:
        // Creating the new file is what fails in a folder that is not there, unless the run
        // makes that folder first.
        error = TargetOpenErrorOf(check.path);
        return error == ERROR_PATH_NOT_FOUND && !WouldBeMade(ParentFolder(check.path))
                   ? error
                   : ERROR_SUCCESS;
    case CheckKind::LinkFree:
        return CheckNoLinkBelow(check.root, check.path);
    case CheckKind::Savable:
        // The journal looks as it saves.
        return ERROR_SUCCESS;
    case CheckKind::FolderCreatable:
        if (lookOnly_) {
            // One level only: the run can make it where its parent is, or will be, there.
            if (Exists(check.path)) {
                return ERROR_SUCCESS;
            }
            if (!Exists(ParentFolder(check.path)) && !WouldBeMade(ParentFolder(check.path))) {
                return ERROR_PATH_NOT_FOUND;
            }
            wouldBeMade_.insert(check.path);
            return ERROR_SUCCESS;
        }
        // Made now, before the stop; the journal removes it again if the run fails.
        error = MakeFolderIfMissing(check.path, created);
        // A folder now there changes what opening a target in it gives.
        targetOpenErrors_.clear();
        return error;
    }
    return error;
}

const HeldSource* SystemFiles::HeldSourceOf(const std::wstring& source) {
    const auto known = heldSources_.find(source);
    if (known != heldSources_.end()) {
        return &known->second;
    }
    HeldSource held;
    if (!ReadHeldSource(source, held)) {
        return nullptr;
    }
    return &heldSources_.emplace(source, std::move(held)).first->second;
}

void SystemFiles::Stage(const Step& step) {
    const HeldSource* held = HeldSourceOf(step.source);
    if (held == nullptr) {
        return;
    }
    StagedCopy staged = StageHeldCopy(*held, step.target, step.linkRoot);
    if (staged) {
        staged_[step.target] = std::move(staged);
    }
}

void SystemFiles::Copy(const Step& step) {
    StagedCopy staged;
    if (const auto found = staged_.find(step.target); found != staged_.end()) {
        staged = std::move(found->second);
        staged_.erase(found);
    }
    const DWORD start = GetTickCount();
    for (;;) {
        try {
            DeployFile(step.source, step.target, step.linkRoot, step.folders, step.failure,
                       step.existingOnly ? MissingTarget::Refuse : MissingTarget::Create,
                       HeldSourceOf(step.source), &staged);
            return;
        } catch (const CopyFailure& failure) {
            // A program ended a moment ago may not have let go of the file yet.
            if (!IsHeld(failure.code()) || GetTickCount() - start >= step.heldRetryMs) {
                throw;
            }
        }
        Sleep(kHeldRetryPauseMs);
    }
}

void SystemFiles::Remove(const Step& step) {
    RemoveFileIfPresent(step.target, step.linkRoot);
}

} // namespace qm
