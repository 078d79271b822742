#pragma once
// Saving every file a run will overwrite into its set before the first stop, flushed once for
// the whole set instead of once per file.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_handles.h"

namespace qm {

// 0 when original can be read for its saved copy as CopyBatch::Add reads it, else the code
// (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND: there is none); changes nothing.
DWORD OriginalReadError(const std::wstring& original);

class CopyBatch {
public:
    // Copies original into the new file savedPath (which inherits the set's protected DACL) and
    // keeps it open for the flush; size and sha256 are of the bytes written. 0, or the code of
    // the step that failed; originalUnreadable says whether that step was reading the original
    // (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND: there is none, and nothing is made).
    DWORD Add(const std::wstring& original, const std::wstring& savedPath, uint64_t& size,
              std::string& sha256, bool& originalUnreadable);

    // Makes every copy added so far durable: one flush of the volume that holds them when the
    // volume can be opened (an elevated run can), else one flush per copy. 0 or the code.
    DWORD Flush();

private:
    std::vector<UniqueFile> copies_;
    std::wstring firstPath_;
};

} // namespace qm
