#pragma once
// A restore as a plan: the set chosen and checked whole first, then the run's stops, every
// saved copy back in its file's place, every file the run created removed, and the programs
// started again. The executor carries it out as it carries out a run. No Windows API here.
#include "backup/backup_manifest.h"
#include "run/plan.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qm {

// Where the sets are read from: the program reads %ProgramData%\Quillmend\Backups
// (edges/backup_journal.h).
class BackupLibrary {
public:
    virtual ~BackupLibrary() = default;
    // Every folder name under the backups folder, sets or not.
    virtual std::vector<std::wstring> FolderNames() = 0;
    virtual bool ReadManifest(const std::wstring& setName, std::string& text) = 0;
    virtual std::wstring SavedCopyPath(const std::wstring& setName,
                                       const std::wstring& storedName) = 0;
    // False when the file cannot be read.
    virtual bool Fingerprint(const std::wstring& path, uint64_t& size, std::string& sha256) = 0;
};

// What a restore reads before it acts: the set and its verified manifest.
struct RestoreFacts {
    std::wstring stamp;   // as asked; empty: the newest set
    std::wstring setName; // empty when there is no such set
    BackupManifest manifest;
    std::vector<std::wstring> savedCopies; // the saved copy of each entry; empty when created
    std::set<std::wstring> current;        // files that hold their saved copy's bytes already
    // Each profile's folder and the running account's roaming AppData: links below them are a
    // user's, never followed.
    std::vector<std::wstring> userRoots;
    // The box of what makes the set unusable; empty when it can be used.
    std::wstring failure;
};

// The whole set is checked before anything is stopped or written: a set with one bad copy is
// not used at all, so a restore never leaves a mix of old and restored files behind.
RestoreFacts ReadRestoreFacts(BackupLibrary& library, const std::wstring& stamp);

Plan PlanRestore(const RestoreFacts& facts);

// The box a restore's preview shows: the set, then each file it would put back or remove.
std::wstring RestorePreviewText(const RestoreFacts& facts);

} // namespace qm
