#pragma once
// The sets under %ProgramData%\Quillmend\Backups: how they are named, which is the newest, and
// which are removed after a run. No Windows API here.
#include "platform/utc_time.h"

#include <string>
#include <vector>

namespace qm {

constexpr wchar_t kBackupsFolderName[] = L"Backups";
constexpr size_t kSetsKept = 5;

// yyyymmddThhmmssZ.
std::wstring SetStamp(const UtcTime& time);

// The name of a set made at that stamp: the stamp itself, then "-2", "-3", ... for further sets
// made within the same second.
std::wstring SetName(const std::wstring& stamp, int attempt);

// True for a name SetName can give; other folders in Backups are not ours and are left alone.
bool IsSetName(const std::wstring& name);

// True when set a was made before set b (both set names).
bool IsOlderSet(const std::wstring& a, const std::wstring& b);

// The newest of the names that are set names; empty when there is none.
std::wstring NewestSet(const std::vector<std::wstring>& names);

struct BackupSetInfo {
    std::wstring name;
    bool finished = false; // its manifest says the run ended well
    // A failed run could not put everything back: the set is what a restore needs, so no
    // number of newer sets removes it.
    bool rollbackUnfinished = false;
};

// What goes after a run that ended well: every set beyond the five newest, except a set of a
// run that failed (or whose manifest cannot be read), which is what an administrator most
// likely wants back: it stays until five newer sets of runs that ended well exist; a set whose
// rollback did not finish always stays.
std::vector<std::wstring> SetsToRemove(const std::vector<BackupSetInfo>& sets);

} // namespace qm
