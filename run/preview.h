#pragma once
// A preview: the facts, the plan and its checks, printed; nothing is stopped, written or
// started. It foresees the box the run would end with. No Windows API here.
#include "run/executor.h"
#include "run/facts.h"
#include "run/plan.h"

#include <map>
#include <string>
#include <vector>

namespace qm {

// The box the run would end with, and how it would end.
struct Foreseen {
    std::string text;
    std::string caption;
    RunResult result = RunResult::Finished;
    std::map<std::wstring, std::string> leftOut; // profile folder -> why it would be left out
};

// The plan's checks, made by files and a journal that only look: the first refusal's box, else
// the plan's own. A restart that would fail cannot be foreseen.
Foreseen Foresee(const Plan& plan, Files& files, Journal& journal, Observer& observer);

// Which of a plan's stops would end something, and what each would keep to start again, as the
// executor decides it, from the programs found running.
class KeptPaths {
public:
    explicit KeptPaths(const Facts& facts) : facts_(facts) {}
    // The processes the stop would end; none when it would not run.
    std::vector<StoppedProcess> Stop(const Step& step);
    const std::vector<std::wstring>& Of(const std::wstring& image) { return kept_[image]; }

private:
    const Facts& facts_;
    std::map<std::wstring, std::vector<std::wstring>> kept_;
};

// One line for each install found, user profile, program ended, file copied, program replaced
// and program started again; a profile the checks would leave out gets its reason instead of
// its copies.
std::vector<std::wstring> PreviewLines(const Plan& plan, const Facts& facts,
                                       const Foreseen& foreseen);

// The preview's box: the lines, then the box the run would end with.
std::wstring PreviewText(const std::vector<std::wstring>& lines, const Foreseen& foreseen);

} // namespace qm
