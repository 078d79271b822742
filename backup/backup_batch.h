#pragma once
// Saving every file a run will overwrite into its set before the first stop. A file only
// administrators may change is saved as a second name of itself (a hard link): nothing is
// copied, and nothing needs a flush, since its data is on disk already. The others are copied
// and made durable together, with one flush for the set.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_handles.h"

namespace qm {

// 0 when original can be read for its saved copy as BackupBatch::Add reads it, else the code
// (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND: there is none); changes nothing.
DWORD OriginalReadError(const std::wstring& original);

// What Add saved, as the set holds it.
struct SavedFile {
    bool linked = false; // a second name of the original; else a copy
    uint64_t size = 0;
    std::string sha256;
    // A linked file is the original itself: the program that owns it may still write it until
    // it is stopped, which these tell.
    FILETIME written{};
};

class BackupBatch {
public:
    // The set folder, held until the batch ends: the second names are given relative to it.
    explicit BackupBatch(const std::wstring& setFolder);

    // Saves original as storedName in the set: a link, unless a user may change the file
    // (userWritable, or its DACL lets anyone but a trusted owner write it: through a second
    // name the saved bytes would be that user's to change), it is read-only (the set could not
    // delete the name without changing the original's attributes), or the link cannot be made
    // (another volume, a file system without links, any error); else a copy kept open for the flush
    // (it inherits the set's protected DACL). size, sha256 are of the bytes saved. 0, or the code
    // of the step that failed; originalUnreadable says whether that step was reading the original
    // (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND: there is none, and nothing is made).
    DWORD Add(const std::wstring& original, const std::wstring& storedName, bool userWritable,
              SavedFile& saved, bool& originalUnreadable);

    // Makes every copy added so far durable: one flush of the volume that holds them when the
    // volume can be opened (an elevated run can), else one flush per copy. 0 or the code.
    DWORD Flush();

private:
    DWORD Copy(HANDLE from, const std::wstring& savedPath, SavedFile& saved,
               bool& originalUnreadable);

    std::wstring setFolder_;
    UniqueFile folder_;
    std::vector<UniqueFile> copies_;
    std::wstring firstPath_;
};

// Size and last write time of a saved file as it is now; false when they cannot be read.
bool SavedFileState(const std::wstring& savedPath, uint64_t& size, FILETIME& written);

} // namespace qm
