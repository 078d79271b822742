#pragma once
// The run's log as an observer of the executor: the facts, the plan, each step and its result,
// the rollback and the box, written as they happen. It decides nothing.
#include "log/run_log.h"
#include "run/executor.h"
#include "run/facts.h"

#include <string>
#include <vector>

namespace qm {

class LogObserver : public Observer {
public:
    explicit LogObserver(RunLog& log) : log_(log) {}

    void Planned(const Plan& plan) override;
    void Refused(const PlannedCheck& check, unsigned long error) override;
    void Begins(const Step& step) override;
    void Stopped(const Step& step, const std::vector<StoppedProcess>& stopped) override;
    void Started(const std::wstring& imagePath, const std::wstring& parameters,
                 const StartResult& result) override;
    void Ends(const Step& step, const std::wstring* failure) override;
    void RolledBack(const RollbackReport& report) override;
    void LeftOut(const std::wstring& profile, const std::wstring& why) override;
    void Shown(const std::wstring& text, const std::wstring& caption) override;

private:
    RunLog& log_;
    std::wstring before_; // the target's fingerprint before the step that writes it
};

// The run's first lines: the tool's version, the computer, the account and whether it is
// elevated, the command line, and the LicenseFile folder with the SHA-256 of each file in it.
void WriteRunStart(RunLog& log);

// What discovery found and what the run needed to know first.
void LogFacts(RunLog& log, const Facts& facts);

// What a run of the plan would do, step by step, for a preview.
void LogPreview(RunLog& log, const Plan& plan, const Facts& facts);

} // namespace qm
