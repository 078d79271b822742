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
    std::wstring text;
    std::wstring caption;
    RunResult result = RunResult::Finished;
    std::map<std::wstring, std::wstring> leftOut; // profile folder -> why it would be left out
};

// The plan's checks, made by files and a journal that only look: the first refusal's box, else
// the plan's own. A restart that would fail cannot be foreseen.
Foreseen Foresee(const Plan& plan, Files& files, Journal& journal, Observer& observer);

// One thing a plan would do over the facts, as the executor would do it (its own restart rule,
// from the programs found running): what the preview's box and the log both list.
struct Foretold {
    enum class Kind {
        NotRunning, // a stop that would look finds nothing running
        End,        // process would be ended
        Copy,       // step's target would be written
        Remove,     // step's target would be deleted
        Note,       // step's decision
        Start,      // path would be started again with step's parameters
    };
    Kind kind = Kind::Note;
    const Step* step = nullptr; // into the plan, which outlives the list
    StoppedProcess process;     // End
    std::wstring path;          // Start
};

std::vector<Foretold> Foretell(const Plan& plan, const Facts& facts);

// One line for each install found, user profile, program ended, file copied, program replaced
// and program started again; a profile the checks would leave out gets its reason instead of
// its copies.
std::vector<std::wstring> PreviewLines(const Plan& plan, const Facts& facts,
                                       const Foreseen& foreseen);

// The box the run would end with, as the preview names it.
std::wstring PreviewVerdict(const Foreseen& foreseen);

// A check's verdict, from what a preview foresees: a run would be refused or fail a check
// (Failed), there is no install (NothingFound), a run would change something (NotCurrent),
// something found would be left out for safety (LeftOut), else the machine is current
// (Finished).
RunResult CheckVerdict(const Facts& facts, const Plan& plan, const Foreseen& foreseen);

// The line that says a check's verdict, above its list.
std::wstring CheckVerdictText(RunResult verdict, const Foreseen& foreseen);

// The preview's list: the lines, then the box the run would end with.
std::wstring PreviewText(const std::vector<std::wstring>& lines, const Foreseen& foreseen);

} // namespace qm
