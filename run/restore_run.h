#pragma once
// A restore puts a backup set back: the suite's programs are stopped as a run stops them, every
// saved copy is checked against the manifest before anything changes, the overwritten files get
// their saved bytes back, the files the run created are deleted, and the programs are started
// again as a run starts them. Its writes go through the run's edges, so that the backup, the log
// and the preview see them as they see a run's. No Windows API here.
#include "run/run_edges.h"
#include "run/run_plan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Where the sets are read from: the program reads %ProgramData%\Quillmend\Backups
// (backup_edges.h).
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

struct RestoreRequest {
    std::wstring stamp;   // empty: the newest set
    bool preview = false; // list what would be done, in the box, and change nothing
};

// The restore for the run timer's tick (others: NotRun, nothing done). Finished: restored (or,
// with preview, listed); NothingFound: no such set; RestartFailed: restored, a program did not
// come back; Failed: the error box.
RunResult RunRestoreWith(RunEdges& edges, BackupLibrary& library, const RestoreRequest& request,
                         uintptr_t timerId);

} // namespace qm
