#pragma once
// A run as data: the checks made before anything is stopped, the files it will overwrite, and
// its steps in order, each carrying what its failure shows. The update, its preview and a
// restore are each a plan; one executor carries any of them out (executor.h). No Windows API
// here.
#include "run/run_plan.h"
#include "platform/box_texts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

enum class CheckKind {
    TargetWritable,  // an existing target can be opened for writing and deleting
    SourceReadable,  // the file copied from can be read
    TargetFolder,    // the folder the target goes into is there
    FolderCreatable, // the folder is there, or can be made now
    LinkFree,        // no folder between root and path (a target's folder) is a link
    Savable,         // an existing target can be read for its saved copy (the journal's check)
};

struct PlannedCheck {
    CheckKind kind = CheckKind::TargetWritable;
    std::wstring path;
    // The message a failure shows: "%d" is the code, and "%s" before it (FolderCreatable) the
    // path.
    const wchar_t* failure = nullptr;
    std::wstring root; // LinkFree only: the folder above which links are the installer's choice
    // In a run for all users, the profile whose per-user copy needs it: a failure leaves that
    // profile out (code 4), not the run. Empty: a failure ends the run.
    std::wstring profile;
};

// A file the plan overwrites, saved before the first stop.
struct PlannedSave {
    std::wstring path;
    // The message of a failed write of it ("%d": the code): an installed file that cannot be
    // read for its backup is reported as its write would have reported it. Null: the backup's
    // own message, which names the file.
    const wchar_t* failure = nullptr;
    // The folder above which links are the installer's choice: the one a rollback writes from.
    std::wstring root;
    std::wstring profile; // as PlannedCheck::profile
    // A per-user copy: its user may write it, so its saved copy must not be the file itself.
    bool userWritable = false;
    // The certificate or key it holds (DescribePem), kept with the set; empty for other files.
    std::wstring holds;
};

enum class StepKind {
    Stop,         // every process of the image is ended, and the paths of those ended are kept
    RequireEnded, // a program found running that would not end fails the run here
    Wait,
    Stage,   // a later copy's new file is written beside its target, where it can be
    Copy,    // source's bytes take target's place in one step
    Remove,  // target is deleted (a restore removes what a run created)
    Note,    // a decision the observers are told of; nothing happens
    Restart, // every kept path of the image is started again, each as it ran
};

enum class NoteKind {
    Newer,      // target is replaced by LicenseFile's newer program
    NotNewer,   // target stays: LicenseFile's is not newer
    NotPresent, // target is not there, so it is not copied
};

struct Step {
    StepKind kind = StepKind::Wait;
    std::wstring image;      // Stop, Restart
    std::wstring parameters; // Restart
    bool unlessKept = false; // Stop: only when no path of the image is kept yet
    uint32_t milliseconds = 0;
    std::wstring source;   // Copy
    std::wstring target;   // Copy, Remove, Note
    std::wstring linkRoot; // Copy, Remove: links at or above it are the installer's choice
    std::vector<std::wstring> folders; // Copy: made first where missing, parents first
    // Copy, Remove: the failure's message; "%s", when the message has one, is the target.
    const wchar_t* failure = nullptr;
    // Copy: as PlannedCheck::profile; a failure puts back that profile's files and skips the
    // rest of its copies.
    std::wstring profile;
    bool existingOnly = false; // Copy: a target gone since it was found is not created
    bool fromBackup = false;   // Copy: source is target's saved copy (a restore)
    // Copy: a target that another program still holds (sharing or lock violation) is tried
    // again for up to this long before the copy fails.
    uint32_t heldRetryMs = 0;

    NoteKind note = NoteKind::Newer;
};

struct Plan {
    // What ends the run before anything is done, as its error box says it; empty when nothing.
    std::wstring refusal;
    std::vector<PlannedCheck> checks; // each once, in the order the steps would find out
    std::vector<PlannedSave> saves;   // the files to save, each once, in the order first written
    std::vector<Step> steps;
    // The box when every step succeeded and every program came back.
    std::wstring finishText;
    std::wstring finishCaption;
    RunResult finishResult = RunResult::Finished;
    // Every file holds its bytes already and nothing is replaced: the plan does nothing.
    bool alreadyCurrent = false;

    bool Stops() const { return Has(StepKind::Stop); }
    // A fixed wait leaves time after the stop for the saved set to reach the disk; without one
    // the set must be there before anything stops, or its flush would lengthen the downtime.
    bool WaitsFixed() const { return Has(StepKind::Wait); }

private:
    bool Has(StepKind kind) const {
        for (const Step& step : steps) {
            if (step.kind == kind) {
                return true;
            }
        }
        return false;
    }
};

} // namespace qm
