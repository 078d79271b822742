#pragma once
// Reads this machine's facts for a run, once, before anything acts.
#include "run/facts.h"
#include "run/plan.h"

namespace qm {

struct FactOptions {
    bool forPreview = false; // also LicenseFile's files and the programs running
    bool allUsers = false;   // every user profile's catalogue and Marrowby, not the account's
};

// Discovery in the run's order, then what the plan asks about the installs found: the client
// servers' versions, the sibling folders, which LicenseFile programs are newer, which of the
// older generations' files are there.
Facts ReadFacts(const FactOptions& options);

// Which of the files plan copies onto are there, and which hold their bytes already: what a
// plan made from the facts above needs to know what to save, and whether to do anything.
void ReadTargets(Facts& facts, const Plan& plan);

// The folders below which links are a user's: every profile's folder in ProfileList, and the
// running account's roaming AppData.
std::vector<std::wstring> ReadUserRoots();

} // namespace qm
