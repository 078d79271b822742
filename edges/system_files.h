#pragma once
// The executor's file steps on this system: the checks made before the stop, the copies and a
// restore's removals.
#include "run/executor.h"

#include <map>
#include <set>
#include <string>

namespace qm {

class SystemFiles : public Files {
public:
    // A preview's files only look: a folder a copy would make is not made, only its parent is
    // looked for.
    explicit SystemFiles(bool lookOnly = false) : lookOnly_(lookOnly) {}

    // A target held open (a sharing or lock violation) is no failure yet: the suite's own
    // programs hold their files until they are stopped, so the copy finds out.
    unsigned long Check(const PlannedCheck& check, bool& created) override;
    void Copy(const Step& step) override;
    void Remove(const Step& step) override;

private:
    // The target's obstacle and its folder's absence come from the same open, asked once.
    unsigned long TargetOpenErrorOf(const std::wstring& target);

    bool WouldBeMade(const std::wstring& folder) const { return wouldBeMade_.count(folder) != 0; }

    bool lookOnly_;
    std::set<std::wstring> wouldBeMade_; // a preview's folders that the run would make
    std::map<std::wstring, unsigned long> targetOpenErrors_;
};

} // namespace qm
