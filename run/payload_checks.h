#pragma once
// Whether what LicenseFile holds would break the suite: decided from the facts alone, before
// anything is stopped. No Windows API here.
#include "run/facts.h"
#include "run/plan.h"

#include <string>

namespace qm {

// The box of the first refusal over the plan's copies, empty when there is none: a source that
// holds no byte; LicenseFile's key that is not its certificate's; a certificate the run would
// deploy that is not valid now; one that expires before the certificate it replaces, at any
// target, unless allowOlder.
std::wstring PayloadRefusal(const Facts& facts, const Plan& plan, bool allowOlder);

} // namespace qm
