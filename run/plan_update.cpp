// The update run's steps and the checks they need, in the order the copies would find out.
#include "run/plan_update.h"

#include "run/payload_checks.h"

#include "fileops/deploy.h"
#include "fileops/deploy_targets.h"
#include "platform/paths.h"

#include <algorithm>
#include <set>

namespace qm {

namespace {

// Where one user's per-user copies go.
struct UserBase {
    std::wstring base; // <AppData>\Marrowby
    // Links at or above it are the installer's (the running account's AppData) or the user's
    // own business; below it, none is followed.
    std::wstring linkRoot;
    bool makeBase = false; // Marrowby is made when missing (a run for the running account)
    // The facts looked for links from the profile folder down already (a run for all users).
    bool linksChecked = false;
    // A run for all users: the profile folder, which a failure of these copies leaves out.
    std::wstring profile;
};

class Planner {
public:
    Planner(const Facts& facts, Plan& plan, bool fixedWaits)
        : facts_(facts), plan_(plan), fixedWaits_(fixedWaits) {}

    void Stop(const wchar_t* image, bool unlessKept = false) {
        Step step;
        step.kind = StepKind::Stop;
        step.image = image;
        step.unlessKept = unlessKept;
        plan_.steps.push_back(step);
    }
    void Simple(StepKind kind, uint32_t milliseconds = 0) {
        Step step;
        step.kind = kind;
        step.milliseconds = milliseconds;
        plan_.steps.push_back(step);
    }
    // What follows a stop before the copies: the fixed wait, or patience with held targets.
    void Settle() {
        if (fixedWaits_) {
            Simple(StepKind::Wait, kSettleMilliseconds);
        } else {
            heldRetryMs_ = kSettleMilliseconds;
        }
    }
    void Restart(const wchar_t* image, const wchar_t* parameters) {
        Step step;
        step.kind = StepKind::Restart;
        step.image = image;
        step.parameters = parameters;
        plan_.steps.push_back(step);
    }
    void Note(NoteKind kind, const std::wstring& target) {
        Step step;
        step.kind = StepKind::Note;
        step.note = kind;
        step.target = target;
        plan_.steps.push_back(step);
    }

    // LicenseFile\fileName over installFolder\fileName, then into each user's
    // Marrowby\MWClientServer, the folders made first (one level each).
    void Replace(const std::wstring& installFolder, const std::vector<UserBase>& users,
                 const std::wstring& fileName) {
        const std::wstring source = JoinPath(facts_.licenseFolder, fileName);
        Copy(source, JoinPath(installFolder, fileName), ParentFolder(installFolder), {},
             kInstallCopyFailed);
        for (const UserBase& user : users) {
            const std::wstring target =
                ReplacementTargets(installFolder, user.base, fileName)[1].path;
            std::vector<std::wstring> folders{ParentFolder(target)};
            if (user.makeBase) {
                folders.insert(folders.begin(), user.base);
            }
            Copy(source, target, user.linkRoot, folders, kUserCopyFailed, user.linksChecked,
                 user.profile, true);
        }
    }

    // LicenseFile\sourceName over folder\targetName and parent(folder)\targetName, each only
    // where it is there already.
    void ReplaceAs(const std::wstring& folder, const std::wstring& sourceName,
                   const std::wstring& targetName) {
        const std::wstring source = JoinPath(facts_.licenseFolder, sourceName);
        for (const DeployTarget& target : ReplacementTargetsAs(folder, sourceName, targetName)) {
            if (facts_.present.count(target.path) == 0) {
                Note(NoteKind::NotPresent, target.path);
                continue;
            }
            if (Copy(source, target.path, ParentFolder(folder), {}, kInstallCopyFailed)) {
                plan_.steps.back().existingOnly = true;
            }
        }
    }

    // A program is replaced only by a newer one, together with its configuration.
    void ReplaceProgramIfNewer(const std::wstring& folder, const wchar_t* program,
                               const wchar_t* configuration) {
        if (facts_.folders.count(folder) == 0) {
            return;
        }
        const std::wstring target = JoinPath(folder, program);
        if (facts_.newer.count(target) == 0) {
            Note(NoteKind::NotNewer, target);
            return;
        }
        Note(NoteKind::Newer, target);
        Replace(folder, {}, program);
        Replace(folder, {}, configuration);
    }

private:
    // Each target once: its source is always LicenseFile's file of the same name, so a second
    // copy would write the same bytes again. True when this call added the copy.
    bool Copy(const std::wstring& source, const std::wstring& target, const std::wstring& root,
              const std::vector<std::wstring>& folders, const wchar_t* failure,
              bool linksChecked = false, const std::wstring& profile = std::wstring(),
              bool userWritable = false) {
        if (!copied_.insert(target).second) {
            return false;
        }
        // Before any folder is made: a link in wait there would take the copy elsewhere. Links
        // at or above the folder holding the one written into are the installer's choice; the
        // target itself is looked at by the handles that save and write it.
        const std::wstring targetFolder = ParentFolder(target);
        if (targetFolder != root && !linksChecked) {
            Check(CheckKind::LinkFree, targetFolder, failure, root, profile);
        }
        for (const std::wstring& folder : folders) {
            Check(CheckKind::FolderCreatable, folder, kUserFolderCreationFailed, {}, profile);
        }
        // As a copy finds out: the target's obstacle, then the source, then the folder. The
        // source is LicenseFile's, no user's doing.
        Check(CheckKind::TargetWritable, target, failure, {}, profile);
        Check(CheckKind::SourceReadable, source, failure);
        Check(CheckKind::TargetFolder, target, failure, {}, profile);
        // Bytes that stay the same need no saved copy.
        if (facts_.current.count(target) == 0) {
            const auto pem = facts_.pem.find(target);
            plan_.saves.push_back({target, failure, root, profile, userWritable,
                                   pem != facts_.pem.end() ? DescribePem(pem->second) : L""});
        }

        Step step;
        step.kind = StepKind::Copy;
        step.source = source;
        step.target = target;
        step.linkRoot = root;
        step.folders = folders;
        step.failure = failure;
        step.profile = profile;
        step.heldRetryMs = heldRetryMs_;
        plan_.steps.push_back(step);
        return true;
    }

    // A check passed once cannot fail later in the same plan, whatever message it carries.
    void Check(CheckKind kind, const std::wstring& path, const wchar_t* failure,
               const std::wstring& root = std::wstring(),
               const std::wstring& profile = std::wstring()) {
        if (checked_.insert({kind, path}).second) {
            plan_.checks.push_back({kind, path, failure, root, profile});
        }
    }

    const Facts& facts_;
    Plan& plan_;
    const bool fixedWaits_;
    uint32_t heldRetryMs_ = 0;
    std::set<std::wstring> copied_;
    std::set<std::pair<CheckKind, std::wstring>> checked_;
};

UserBase BaseOf(const ProfileFacts& profile) {
    return {PerUserBaseFolder(profile.appData), profile.folder, false, true, profile.folder};
}

// The running account's own Marrowby, or, in a run for all users, every served profile's.
std::vector<UserBase> UserBasesOf(const Facts& facts) {
    if (!facts.allUsers) {
        const std::wstring base = PerUserBaseFolder(facts.appDataFolder);
        return {{base, ParentFolder(base), true, false, {}}};
    }
    std::vector<UserBase> users;
    for (const ProfileFacts& profile : facts.profiles) {
        if (profile.verdict == ProfileFacts::Verdict::Served) {
            users.push_back(BaseOf(profile));
        }
    }
    return users;
}

void PlanCurrentSuite(const Facts& facts, Planner& planner) {
    const std::vector<UserBase> users = UserBasesOf(facts);
    // The updater is ended but never started again.
    planner.Stop(kServiceImage);
    planner.Stop(kClientImage);
    planner.Stop(kUpdaterImage);
    planner.Simple(StepKind::RequireEnded);
    planner.Settle();

    for (const std::wstring& folder : InstallFoldersToHandle(facts)) {
        const SiblingFolders siblings = SiblingFoldersOf(folder);
        // The installed client server's version decides which TLS files it reads.
        const auto revision = facts.revisions.find(JoinPath(siblings.client, kClientImage));
        const bool hasVersion = revision != facts.revisions.end();
        for (const std::wstring& file :
             TlsFilesForClient(hasVersion, hasVersion ? revision->second : 0)) {
            planner.Replace(siblings.client, users, file);
        }
        planner.ReplaceProgramIfNewer(siblings.centre, kUpdaterImage, kUpdaterConfigFile);
        planner.ReplaceProgramIfNewer(siblings.client, kServiceImage, kServiceConfigFile);
    }
    // A catalogue install always gets the combined file, without a version test, and the
    // per-user client folder gets it a second time directly.
    if (!facts.cataloguePath.empty() && !users.empty()) {
        planner.Replace(CatalogueClientFolder(facts.cataloguePath), users, kCombinedTlsFile);
        planner.Replace(PerUserClientFolder(users.front().base), {}, kCombinedTlsFile);
    }
    // Each user's catalogue install, with that user's own per-user copy.
    for (const ProfileFacts& profile : facts.profiles) {
        if (!profile.catalogueTaken) {
            continue;
        }
        std::vector<UserBase> owner;
        if (profile.verdict == ProfileFacts::Verdict::Served) {
            owner.push_back(BaseOf(profile));
        }
        planner.Replace(CatalogueClientFolder(profile.catalogueInstall), owner, kCombinedTlsFile);
    }
    planner.Restart(kServiceImage, kServiceParameters);
}

// The older generations keep the key pair as "ssl.key" and "key.pem", in the install folder and
// in its parent, and only where those files are already present.
void PlanLegacyBranch(const std::wstring& installFolder, Planner& planner) {
    if (installFolder.empty()) {
        return;
    }
    const std::wstring folder = TrimTrailingBackslash(installFolder);
    planner.Stop(kClientImage, true);
    planner.Simple(StepKind::RequireEnded);
    planner.Settle();
    planner.ReplaceAs(folder, kKeyFile, kLegacyKeyFile);
    planner.ReplaceAs(folder, kCertificateFile, kLegacyCertificateFile);
}

// Nothing to write: every copy's target holds its bytes, and no program is newer.
bool ChangesNothing(const Plan& plan, const Facts& facts) {
    for (const Step& step : plan.steps) {
        if ((step.kind == StepKind::Copy && facts.current.count(step.target) == 0) ||
            (step.kind == StepKind::Note && step.note == NoteKind::Newer)) {
            return false;
        }
    }
    return true;
}

// Each copy's new file is written before the first stop, so that the suite is down only while
// the files are renamed into place.
void StageCopiesAhead(Plan& plan) {
    const auto firstStop = std::find_if(plan.steps.begin(), plan.steps.end(), [](const Step& step) {
        return step.kind == StepKind::Stop;
    });
    std::vector<Step> stages;
    for (auto step = firstStop; step != plan.steps.end(); ++step) {
        if (step->kind == StepKind::Copy) {
            stages.push_back(*step);
            stages.back().kind = StepKind::Stage;
        }
    }
    plan.steps.insert(firstStop, stages.begin(), stages.end());
}

} // namespace

Plan PlanUpdate(const Facts& facts, const PlanOptions& options) {
    Plan plan;
    plan.finishText = kSuccessText;
    plan.finishCaption = kNoticeCaption;
    plan.finishResult = !IsAnyInstallFound(facts)  ? RunResult::NothingFound
                        : IsAnythingLeftOut(facts) ? RunResult::LeftOut
                                                   : RunResult::Finished;
    if (!facts.failure.empty()) {
        plan.refusal = facts.failure;
        return plan;
    }
    Planner planner(facts, plan, options.fixedWaits);
    if (IsCurrentSuiteFound(facts)) {
        PlanCurrentSuite(facts, planner);
    }
    PlanLegacyBranch(facts.penloom9Folder, planner);
    PlanLegacyBranch(facts.penloom8Folder, planner);
    // The client server last, after every branch that may have needed it stopped.
    planner.Restart(kClientImage, kNoParameters);
    plan.refusal = PayloadRefusal(facts, plan, options.allowOlder);
    if (options.skipWhenCurrent && IsAnyInstallFound(facts) && ChangesNothing(plan, facts)) {
        plan.steps.clear();
        plan.checks.clear();
        plan.saves.clear();
        plan.alreadyCurrent = true;
    }
    StageCopiesAhead(plan);
    return plan;
}

} // namespace qm
