#pragma once
// Reads this machine's facts for a run, once, before anything acts.
#include "run/facts.h"

namespace qm {

// Discovery in the run's order, then what the plan asks about the installs found: the client
// servers' versions, the sibling folders, which LicenseFile programs are newer, which of the
// older generations' files are there. A preview also reads LicenseFile's files and what runs.
Facts ReadFacts(bool forPreview);

} // namespace qm
