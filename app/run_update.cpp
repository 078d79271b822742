// One run: facts, then a plan, then its checks, then the executor, then the report, over this
// machine; the preview prints the plan and its checks, and a restore is a plan read from a
// backup set.
#include "app/run_update.h"

#include "app/list_dialog.h"
#include "app/run_lock.h"
#include "edges/backup_journal.h"
#include "edges/build_observer.h"
#include "edges/log_observer.h"
#include "edges/machine_facts.h"
#include "edges/system_files.h"
#include "edges/system_processes.h"
#include "log/run_log.h"
#include "platform/codepage.h"
#include "record/run_record.h"
#include "platform/user_error.h"
#include "run/executor.h"
#include "run/plan_restore.h"
#include "run/plan_update.h"
#include "run/preview.h"

#include <exception>
#include <memory>
#include <optional>

namespace qm {

namespace {

// Shorter waits are two runs' start-ups brushing past each other, not worth a line.
constexpr DWORD kNoticeableWaitMs = 100;

class WindowHost : public Host {
public:
    explicit WindowHost(HWND window) : window_(window) {}
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        MessageBoxW(window_, text.c_str(), caption.c_str(), MB_OK);
    }
    void ShowList(const std::wstring& verdict, const std::wstring& list,
                  const std::wstring& caption) override {
        if (!ShowListDialog(window_, caption, verdict, list)) {
            ShowMessage(list, caption);
        }
    }

private:
    HWND window_;
};

// Where nobody is to see a box: the outcome is the exit code and the log.
class QuietHost : public Host {
public:
    void ShowMessage(const std::wstring&, const std::wstring&) override {}
    void ShowList(const std::wstring&, const std::wstring&, const std::wstring&) override {}
};

std::wstring RunLockLine(RunLock::Outcome outcome, DWORD waitedMs, const std::wstring& where) {
    const std::wstring waited = std::to_wstring(waitedMs) + L" ms";
    switch (outcome) {
    case RunLock::Outcome::Busy:
        return L"another run still holds the machine after " + waited + L" (" + where + L")";
    case RunLock::Outcome::Abandoned:
        return L"the run before this one ended without letting go of the machine; waited " +
               waited + L" (" + where + L")";
    case RunLock::Outcome::Held:
        break;
    }
    return L"waited " + waited + L" for another run to finish (" + where + L")";
}

// A preview's list, with the box the run would end with above it.
void ReportList(Host& host, Observer& observer, const Foreseen& foreseen, const std::wstring& list,
                const std::wstring& caption) {
    observer.Shown(list, caption);
    host.ShowList(PreviewVerdict(foreseen), list, caption);
}

void Report(Host& host, Observer& observer, const std::wstring& text, const std::wstring& caption) {
    observer.Shown(text, caption);
    host.ShowMessage(text, caption);
}

// What the plan's checks foresee, made by files and a journal that only look, and logged.
Foreseen ForeseeUpdate(const RunContext& context, const Facts& facts, const Plan& plan,
                       Observer& observer) {
    SystemFiles files(true);
    LookingJournal journal;
    const Foreseen foreseen = Foresee(plan, files, journal, observer);
    if (context.log) {
        LogPreview(*context.log, plan, facts);
    }
    if (context.record) {
        context.record->Foresaw(plan, facts, foreseen);
    }
    return foreseen;
}

RunResult PreviewUpdate(const RunContext& context, const Facts& facts, const Plan& plan, Host& host,
                        Observer& observer) {
    const Foreseen foreseen = ForeseeUpdate(context, facts, plan, observer);
    ReportList(host, observer, foreseen, PreviewText(PreviewLines(plan, facts, foreseen), foreseen),
               kPreviewCaption);
    return foreseen.result;
}

// A check: what a preview foresees, and whether a run would change anything.
RunResult CheckUpdate(const RunContext& context, const Facts& facts, const Plan& plan, Host& host,
                      Observer& observer) {
    const Foreseen foreseen = ForeseeUpdate(context, facts, plan, observer);
    const RunResult verdict = CheckVerdict(facts, plan, foreseen);
    const std::wstring text = CheckVerdictText(verdict, foreseen);
    observer.Shown(text, kCheckCaption);
    host.ShowList(text, PreviewText(PreviewLines(plan, facts, foreseen), foreseen), kCheckCaption);
    return verdict;
}

// The plan carried out on this machine; the record learns which backup set was kept.
RunResult Carry(const RunContext& context, const Plan& plan, Host& host, Observer& observer) {
    SystemProcesses processes;
    SystemFiles files;
    BackupJournal journal;
    const RunResult result = Execute(plan, host, processes, files, journal, observer);
    if (context.record) {
        context.record->KeptSet(journal.KeptSet());
    }
    return result;
}

RunResult Update(const RunContext& context, Host& host, Observer& observer) {
    const bool looking = context.options.preview || context.options.check;
    Facts facts = ReadFacts({looking, context.allUsers});
    // What the copies would meet decides what is saved, and whether there is anything to do.
    ReadTargets(facts, PlanUpdate(facts));
    if (context.log) {
        LogFacts(*context.log, facts);
    }
    if (context.record) {
        context.record->Read(facts);
    }
    const Plan plan =
        PlanUpdate(facts, {context.options.hasArguments, !context.options.hasArguments,
                           context.options.allowOlder});
    if (context.options.check) {
        return CheckUpdate(context, facts, plan, host, observer);
    }
    if (context.options.preview) {
        return PreviewUpdate(context, facts, plan, host, observer);
    }
    return Carry(context, plan, host, observer);
}

RunResult Restore(const RunContext& context, Host& host, Observer& observer) {
    SystemBackupLibrary library;
    RestoreFacts facts = ReadRestoreFacts(library, context.options.restoreStamp);
    facts.userRoots = ReadUserRoots();
    if (context.record) {
        context.record->ReadRestore(facts);
    }
    const Plan plan = PlanRestore(facts);
    if (context.options.preview) {
        SystemFiles files(true);
        LookingJournal journal;
        const Foreseen foreseen = Foresee(plan, files, journal, observer);
        if (context.record) {
            context.record->Foresaw(plan, Facts(), foreseen);
        }
        if (foreseen.result != RunResult::Finished) {
            Report(host, observer, foreseen.text, foreseen.caption);
            return foreseen.result;
        }
        ReportList(host, observer, foreseen, RestorePreviewText(facts), foreseen.caption);
        return foreseen.result;
    }
    return Carry(context, plan, host, observer);
}

} // namespace

RunResult RunUpdate(HWND window, const RunContext& context) {
    WindowHost shown(window);
    QuietHost quiet;
    Host& host = context.showBoxes ? static_cast<Host&>(shown) : quiet;
    Observers observers;
    std::optional<LogObserver> logged;
    if (context.log) {
        observers.Add(logged.emplace(*context.log));
        context.log->Write(!context.allUsers  ? std::wstring(L"mode: the running account")
                           : context.asSystem ? std::wstring(L"mode: all users (running as SYSTEM)")
                                              : std::wstring(L"mode: all users (/allusers)"));
    }
    if (context.record) {
        observers.Add(*context.record);
    }
    const std::unique_ptr<Observer> measured = MakeBuildObserver();
    observers.Add(*measured);

    // One run that writes at a time on the machine; a preview or a check changes nothing and
    // never waits.
    std::optional<RunLock> lock;
    if (!context.options.preview && !context.options.check) {
        DWORD waitedMs = 0;
        const RunLock::Outcome locked = lock.emplace().Acquire(kRunLockWaitMs, waitedMs);
        if (context.log && (waitedMs >= kNoticeableWaitMs || locked != RunLock::Outcome::Held)) {
            context.log->Write(RunLockLine(locked, waitedMs, lock->where()));
        }
        if (locked == RunLock::Outcome::Busy) {
            Report(host, observers,
                   FormatUserMessage(kAnotherRunBusy, {static_cast<unsigned long>(WAIT_TIMEOUT)}),
                   kErrorCaption);
            return RunResult::Failed;
        }
    }
    try {
        return context.options.restore ? Restore(context, host, observers)
                                       : Update(context, host, observers);
    } catch (const std::exception& error) {
        Report(host, observers, MessageOf(error), kErrorCaption);
        return RunResult::Failed;
    }
}

} // namespace qm
