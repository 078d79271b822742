#pragma once
// The executor's file steps on this system: the checks made before the stop, the copies and a
// restore's removals.
#include "fileops/atomic_copy.h"
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
    // A copy from a held source is written ahead where it can be; its step only renames it.
    void Stage(const Step& step) override;
    void Unstage() override { staged_.clear(); }
    void Copy(const Step& step) override;
    void Remove(const Step& step) override;

private:
    // The target's obstacle and its folder's absence come from the same open, asked once.
    unsigned long TargetOpenErrorOf(const std::wstring& target);

    bool WouldBeMade(const std::wstring& folder) const { return wouldBeMade_.count(folder) != 0; }
    // LicenseFile's file in memory, read at its first copy: it goes to every install and every
    // profile. Null where it cannot be held; its copies then read the file.
    const HeldSource* HeldSourceOf(const std::wstring& source);

    bool lookOnly_;
    std::set<std::wstring> wouldBeMade_; // a preview's folders that the run would make
    std::map<std::wstring, unsigned long> targetOpenErrors_;
    std::map<std::wstring, HeldSource> heldSources_;
    // By target; declared last, so that a copy never put in place is deleted first.
    std::map<std::wstring, StagedCopy> staged_;
};

} // namespace qm
