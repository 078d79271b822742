// The executor: checks and saves, then the steps, then the box; undoes a failure past the stop.
#include "run/executor.h"

#include "run/kept_programs.h"
#include "platform/codepage.h"
#include "platform/user_error.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <utility>

namespace qm {

bool RollbackReport::complete() const {
    return std::none_of(steps.begin(), steps.end(), [](const RollbackStep& step) {
        return step.action == RollbackStep::Action::Failed;
    });
}

void Observers::Planned(const Plan& plan) {
    for (Observer* observer : observers_) {
        observer->Planned(plan);
    }
}
void Observers::Refused(const PlannedCheck& check, unsigned long error) {
    for (Observer* observer : observers_) {
        observer->Refused(check, error);
    }
}
void Observers::Checked() {
    for (Observer* observer : observers_) {
        observer->Checked();
    }
}
void Observers::Saved() {
    for (Observer* observer : observers_) {
        observer->Saved();
    }
}
void Observers::Begins(const Step& step) {
    for (Observer* observer : observers_) {
        observer->Begins(step);
    }
}
void Observers::Stopped(const Step& step, const std::vector<StoppedProcess>& stopped) {
    for (Observer* observer : observers_) {
        observer->Stopped(step, stopped);
    }
}
void Observers::Started(const std::wstring& imagePath, const std::wstring& parameters,
                        const StartResult& result) {
    for (Observer* observer : observers_) {
        observer->Started(imagePath, parameters, result);
    }
}
void Observers::Ends(const Step& step, const std::wstring* failure) {
    for (Observer* observer : observers_) {
        observer->Ends(step, failure);
    }
}
void Observers::RolledBack(const RollbackReport& report) {
    for (Observer* observer : observers_) {
        observer->RolledBack(report);
    }
}
void Observers::LeftOut(const std::wstring& profile, const std::wstring& why) {
    for (Observer* observer : observers_) {
        observer->LeftOut(profile, why);
    }
}
void Observers::Shown(const std::wstring& text, const std::wstring& caption) {
    for (Observer* observer : observers_) {
        observer->Shown(text, caption);
    }
}

namespace {

void Show(Host& host, Observer& observer, const std::wstring& text, const std::wstring& caption) {
    observer.Shown(text, caption);
    host.ShowMessage(text, caption);
}

// What the steps found out so far, for the steps after them and for the undo.
class Run {
public:
    Run(const Plan& plan, Processes& processes, Files& files, Journal& journal, Observer& observer,
        std::set<std::wstring> leftOut)
        : plan_(plan), processes_(processes), files_(files), journal_(journal), observer_(observer),
          leftOut_(std::move(leftOut)) {}

    void Do(const Step& step) {
        if (!step.profile.empty() && leftOut_.count(step.profile) != 0) {
            return;
        }
        observer_.Begins(step);
        try {
            Act(step);
        } catch (const std::exception& error) {
            const std::wstring text = MessageOf(error);
            observer_.Ends(step, &text);
            if (step.profile.empty()) {
                throw;
            }
            // One user's trouble is that user's: their files go back, the rest stands.
            leftOut_.insert(step.profile);
            files_.Unstage();
            observer_.RolledBack(journal_.PutBack(written_[step.profile]));
            observer_.LeftOut(step.profile, text);
            return;
        }
        observer_.Ends(step, nullptr);
    }

    bool leftAnyOut() const { return !leftOut_.empty(); }

    // A program started again before the failure would keep the new files in memory over old
    // ones: it is ended first. Then what was written goes back, and everything stopped runs
    // again, each as it ran.
    void Undo() {
        for (const Step& step : plan_.steps) {
            if (step.kind == StepKind::Restart && runningAgain_.erase(step.image) != 0) {
                observer_.Stopped(step, processes_.End(step.image));
            }
        }
        files_.Unstage();
        observer_.RolledBack(journal_.RollBack());
        std::set<std::wstring> restarted;
        for (const Step& step : plan_.steps) {
            if (step.kind == StepKind::Restart && restarted.insert(step.image).second) {
                Restart(step);
            }
        }
    }

    const std::vector<RestartFailure>& failedRestarts() const { return failedRestarts_; }

private:
    void Act(const Step& step) {
        switch (step.kind) {
        case StepKind::Stop:
            if (kept_.Stops(step)) {
                Stop(step);
            }
            return;
        case StepKind::RequireEnded: {
            // The stops asked; those that ended are awaited here at once.
            for (const StoppedProcess& process : processes_.AwaitEnded()) {
                Step stop = step;
                stop.image = imageOf_[process.processId];
                observer_.Stopped(stop, {process});
                CollectEndFailures({process}, stop.image, notEnded_);
            }
            // A program left running keeps the old key in memory whatever is copied.
            const std::wstring message = EndFailureMessage(notEnded_);
            if (!message.empty()) {
                throw UserError(message);
            }
            return;
        }
        case StepKind::Wait:
            journal_.SettleMeanwhile();
            processes_.Wait(step.milliseconds);
            return;
        case StepKind::Copy:
            journal_.Touch(step.target);
            written_[step.profile].push_back(step.target);
            files_.Copy(step);
            return;
        case StepKind::Stage:
            files_.Stage(step);
            return;
        case StepKind::Remove:
            journal_.Touch(step.target);
            files_.Remove(step);
            return;
        case StepKind::Note:
            return;
        case StepKind::Restart:
            Restart(step);
            return;
        }
    }

    void Stop(const Step& step) {
        const std::vector<StoppedProcess> stopped = processes_.Stop(step.image);
        observer_.Stopped(step, stopped);
        CollectEndFailures(stopped, step.image, notEnded_);
        for (const StoppedProcess& process : stopped) {
            imageOf_[process.processId] = step.image;
        }
        kept_.Keep(step.image, stopped);
    }

    // Each path the program ran from, in the order found.
    void Restart(const Step& step) {
        for (const std::wstring& imagePath : kept_.ToStart(step.image)) {
            const StartResult result = processes_.Start(imagePath, step.parameters);
            observer_.Started(imagePath, step.parameters, result);
            if (result.started) {
                runningAgain_.insert(step.image);
            } else {
                failedRestarts_.push_back({imagePath, result.errorCode});
                for (const long code : result.furtherErrorCodes) {
                    failedRestarts_.push_back({imagePath, code});
                }
            }
        }
    }

    const Plan& plan_;
    Processes& processes_;
    Files& files_;
    Journal& journal_;
    Observer& observer_;
    KeptPrograms kept_;
    std::vector<EndFailure> notEnded_;
    std::map<uint32_t, std::wstring> imageOf_; // each stopped process's image, by its id
    std::set<std::wstring> runningAgain_;      // images with an instance this run started again
    std::set<std::wstring> leftOut_;           // profiles whose copies are not made, or put back
    std::map<std::wstring, std::vector<std::wstring>> written_; // profile -> targets touched
    std::vector<RestartFailure> failedRestarts_;
};

} // namespace

std::set<std::wstring> CheckPlan(const Plan& plan, Files& files, Journal& journal,
                                 Observer& observer) {
    std::set<std::wstring> leftOut;
    try {
        for (const PlannedCheck& check : plan.checks) {
            if (!check.profile.empty() && leftOut.count(check.profile) != 0) {
                continue;
            }
            bool created = false;
            const unsigned long error = files.Check(check, created);
            if (created) {
                journal.FolderMade(check.path);
            }
            if (error == 0) {
                continue;
            }
            const std::wstring message = FailureMessage(check.failure, check.path, error);
            if (check.profile.empty()) {
                observer.Refused(check, error);
                throw UserError(message);
            }
            leftOut.insert(check.profile);
            observer.LeftOut(check.profile, message);
        }
        observer.Checked();
        std::vector<PlannedSave> saves;
        for (const PlannedSave& save : plan.saves) {
            if (save.profile.empty() || leftOut.count(save.profile) == 0) {
                saves.push_back(save);
            }
        }
        if (plan.Stops() || !saves.empty()) {
            try {
                journal.Save(saves);
                if (!plan.WaitsFixed()) {
                    journal.Settle();
                }
            } catch (const SaveFailure& failure) {
                observer.Refused({CheckKind::Savable, failure.path(), nullptr, {}, {}},
                                 failure.code());
                throw;
            }
            observer.Saved();
        }
    } catch (...) {
        // Nothing is stopped, so nothing of the run may stay.
        journal.RollBack();
        throw;
    }
    return leftOut;
}

RunResult Execute(const Plan& plan, Host& host, Processes& processes, Files& files,
                  Journal& journal, Observer& observer) {
    observer.Planned(plan);
    RunResult result = RunResult::Failed;
    if (!plan.refusal.empty()) {
        Show(host, observer, plan.refusal, kErrorCaption);
        journal.Close(result);
        return result;
    }
    std::set<std::wstring> leftOut;
    try {
        leftOut = CheckPlan(plan, files, journal, observer);
    } catch (const std::exception& error) {
        Show(host, observer, MessageOf(error), kErrorCaption);
        journal.Close(result);
        return result;
    }
    Run run(plan, processes, files, journal, observer, std::move(leftOut));
    try {
        for (const Step& step : plan.steps) {
            run.Do(step);
        }
    } catch (const std::exception& error) {
        const std::wstring text = MessageOf(error);
        run.Undo();
        // The failure's box alone, whatever restart failed before or during the undo.
        Show(host, observer, text, kErrorCaption);
        journal.Close(result);
        return result;
    }
    if (run.failedRestarts().empty()) {
        Show(host, observer, plan.finishText, plan.finishCaption);
        result = plan.finishResult == RunResult::Finished && run.leftAnyOut() ? RunResult::LeftOut
                                                                              : plan.finishResult;
    } else {
        Show(host, observer, RestartFailureMessage(run.failedRestarts()), kErrorCaption);
        result = RunResult::RestartFailed;
    }
    journal.Close(result);
    return result;
}

} // namespace qm
