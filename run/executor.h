#pragma once
// The one executor: it carries out any plan, and is the only code that stops, writes or starts.
// Before the first stop every check is made and everything the plan overwrites is saved; then
// the steps run in order; after a failure past the stop, what the run started again is ended,
// everything written is put back, and every program stopped is started again, each as it ran,
// before the failure's box. The world is
// reached through the small interfaces below; observers watch and decide nothing. No Windows API
// here.
#include "run/plan.h"
#include "processes/stopped_process.h"
#include "platform/user_error.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qm {

// What starting a program again gave: on failure, the code the report shows after "Errcode: "
// (for an elevated start the code the shell would have answered, else a Windows error code).
struct StartResult {
    bool started = false;
    long errorCode = 0;
    // Where several instances of the program were stopped (one per user on a terminal server)
    // and more than one could not be started again: the codes of the others.
    std::vector<long> furtherErrorCodes;
};

// One file (or folder) a failed run put back as it found it, or could not.
struct RollbackStep {
    enum class Action { Restored, Removed, Unchanged, Failed };
    Action action = Action::Unchanged;
    std::wstring path;
    std::wstring failure; // the message, when Failed
};

struct RollbackReport {
    std::vector<RollbackStep> steps;
    // The backup set that holds what a restore needs; empty when there is none.
    std::wstring setFolder;
    bool complete() const;
};

// The boxes: shown, or, when nobody may see them, kept quiet.
class Host {
public:
    virtual ~Host() = default;
    // Text and caption, shown modally with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::wstring& text, const std::wstring& caption) = 0;
    // A list to read (a preview), with the box the run would end with above it; where the host
    // has no window for lists, a box of both.
    virtual void ShowList(const std::wstring& /*verdict: the list ends with it*/,
                          const std::wstring& list, const std::wstring& caption) {
        ShowMessage(list, caption);
    }
};

class Processes {
public:
    virtual ~Processes() = default;
    // Every process whose file name is exactly image is asked to end; one record each.
    virtual std::vector<StoppedProcess> Stop(const std::wstring& image) = 0;
    // Waits, a few seconds at most, until every process the stops ended is gone: the programs
    // of all images end together. Those still there, each marked 258 (WAIT_TIMEOUT).
    virtual std::vector<StoppedProcess> AwaitEnded() = 0;
    // The same stop, its ends awaited at once, of what the run itself started again, recording
    // nothing: each comes back as the first stop found it.
    virtual std::vector<StoppedProcess> End(const std::wstring& image) = 0;
    // Starts a program hidden, as it ran before it was stopped.
    virtual StartResult Start(const std::wstring& imagePath, const std::wstring& parameters) = 0;
    virtual void Wait(uint32_t milliseconds) = 0;
};

class Files {
public:
    virtual ~Files() = default;
    // 0 when the check holds, else the Windows error code; created tells that a folder was made.
    virtual unsigned long Check(const PlannedCheck& check, bool& created) = 0;
    // Writes a later copy ahead where it can; never fails (the copy finds out). Unstage drops
    // every copy written ahead and not yet put in place: nothing of them stays in a folder that
    // is put back.
    virtual void Stage(const Step& step) = 0;
    virtual void Unstage() = 0;
    // Both throw UserError with the step's message.
    virtual void Copy(const Step& step) = 0;
    virtual void Remove(const Step& step) = 0;
};

// What a journal throws when a file cannot be saved: the box's message, the file and the code.
class SaveFailure : public UserError {
public:
    SaveFailure(const std::wstring& message, const std::wstring& path, unsigned long code)
        : UserError(message), path_(path), code_(code) {}
    const std::wstring& path() const { return path_; }
    unsigned long code() const { return code_; }

private:
    std::wstring path_;
    unsigned long code_;
};

// What the run changed, kept so that it can be undone: the backup set.
class Journal {
public:
    virtual ~Journal() = default;
    // Before the first stop: saves every one of saves that is there; throws UserError. What
    // it leaves to reach the disk is waited for by Settle, or else by the first Touch.
    virtual void Save(const std::vector<PlannedSave>& saves) = 0;
    // The saved set on disk; throws UserError.
    virtual void Settle() = 0;
    // The run is about to wait, writing nothing: what Settle waits for may reach the disk
    // meanwhile. Never throws; what goes wrong is Settle's, or the next Touch's.
    virtual void SettleMeanwhile() {}
    virtual void FolderMade(const std::wstring& folder) = 0;
    // Before each write: the file is the run's to put back from now on.
    virtual void Touch(const std::wstring& path) = 0;
    // Every file touched as it was, every folder made removed, last first. Never throws.
    virtual RollbackReport RollBack() = 0;
    // Only these files, where touched, as they were; the rest stands. Never throws.
    virtual RollbackReport PutBack(const std::vector<std::wstring>& paths) = 0;
    // After the run. Never throws.
    virtual void Close(RunResult result) = 0;
};

// Watches the executor; each observer takes the events it needs.
class Observer {
public:
    virtual ~Observer() = default;
    virtual void Planned(const Plan&) {}
    virtual void Refused(const PlannedCheck&, unsigned long /*error*/) {}
    virtual void Checked() {}
    virtual void Saved() {}
    virtual void Begins(const Step&) {}
    virtual void Stopped(const Step&, const std::vector<StoppedProcess>&) {}
    virtual void Started(const std::wstring& /*imagePath*/, const std::wstring& /*parameters*/,
                         const StartResult&) {}
    // failure is null when the step succeeded.
    virtual void Ends(const Step&, const std::wstring* /*failure*/) {}
    virtual void RolledBack(const RollbackReport&) {}
    // A profile of a run for all users was left out: its copies are not made, or put back.
    virtual void LeftOut(const std::wstring& /*profile*/, const std::wstring& /*why*/) {}
    virtual void Shown(const std::wstring& /*text*/, const std::wstring& /*caption*/) {}
};

// Every observer in turn.
class Observers : public Observer {
public:
    void Add(Observer& observer) { observers_.push_back(&observer); }
    void Planned(const Plan& plan) override;
    void Refused(const PlannedCheck& check, unsigned long error) override;
    void Checked() override;
    void Saved() override;
    void Begins(const Step& step) override;
    void Stopped(const Step& step, const std::vector<StoppedProcess>& stopped) override;
    void Started(const std::wstring& imagePath, const std::wstring& parameters,
                 const StartResult& result) override;
    void Ends(const Step& step, const std::wstring* failure) override;
    void RolledBack(const RollbackReport& report) override;
    void LeftOut(const std::wstring& profile, const std::wstring& why) override;
    void Shown(const std::wstring& text, const std::wstring& caption) override;

private:
    std::vector<Observer*> observers_;
};

// Makes the plan's checks and saves what it overwrites, nothing stopped yet; throws UserError
// with the box of the first that fails, after the folders made for it are removed again. A
// failed check of a profile's copy leaves that profile out instead; returns those left out.
std::set<std::wstring> CheckPlan(const Plan& plan, Files& files, Journal& journal,
                                 Observer& observer);

// Carries the plan out and shows its box; how the run ended.
RunResult Execute(const Plan& plan, Host& host, Processes& processes, Files& files,
                  Journal& journal, Observer& observer);

} // namespace qm
