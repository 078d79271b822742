#pragma once
// What a run will write, decided before it stops anything: every file it will write, and what
// must hold for each write to succeed, in the order the deployments would find out. No Windows
// API here.
#include "fileops/deploy_targets.h"

#include <set>
#include <string>
#include <vector>

namespace qm {

enum class CheckKind {
    TargetWritable,  // an existing target can be opened for writing and deleting
    SourceReadable,  // the LicenseFile file can be read
    TargetFolder,    // the folder the target goes into is there
    FolderCreatable, // the folder is there, or can be made now
    LinkFree,        // no folder between root and path (a target's folder) is a link
};

struct PlannedCheck {
    CheckKind kind = CheckKind::TargetWritable;
    std::wstring path;
    // The message the deployment would have thrown; "%s" (when it has one) is the path.
    const wchar_t* failure = nullptr;
    // LinkFree only: the folder above which links are the installer's choice.
    std::wstring root;
};

struct PlannedWrite {
    std::wstring path;
    // The message a failed copy onto this path gives: an installed file that cannot be read for
    // its backup is reported as its copy would have reported it.
    const wchar_t* copyFailure = nullptr;
};

struct DeployPlan {
    std::vector<PlannedWrite> writes;  // each path once, in the order first written
    std::vector<PlannedCheck> checks;  // each check once, in the order first met
    std::vector<std::wstring> folders; // folders a deployment creates, parents first
    std::set<std::wstring> seen;       // what is listed above already, so each comes once
};

// The writes and checks of DeployReplacementFile(installFolder, userFolder, fileName) whose
// source is sourcePath: the install copy (its obstacle, its source, its folder), then, with a
// user folder, the two folders and the per-user copy.
void PlanReplacement(const std::wstring& sourcePath, const std::wstring& installFolder,
                     const std::wstring& userFolder, const std::wstring& fileName,
                     DeployPlan& plan);

// The writes and checks of DeployReplacementFileAs(folder, ...) for the targets that are present
// (the others are left alone, so they need nothing).
void PlanReplacementAs(const std::wstring& sourcePath, const std::wstring& folder,
                       const std::vector<DeployTarget>& present, DeployPlan& plan);

} // namespace qm
