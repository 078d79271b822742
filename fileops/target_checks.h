#pragma once
// What a planned write will meet, asked before anything is stopped: can an existing target be
// opened for writing and deleting, can a source be read, can a folder be made. Each answer is
// the Windows error code the write itself would have failed with.
#include <windows.h>

#include <string>

namespace qm {

// 0 when the target can be opened for writing and deleting (what replacing it needs); else the
// code of the open, ERROR_FILE_NOT_FOUND for a missing file and ERROR_PATH_NOT_FOUND for a
// missing folder included.
DWORD TargetOpenError(const std::wstring& target);

// 0 when the source can be opened for reading, as a copy opens it.
DWORD SourceReadError(const std::wstring& source);

// 0 when the folder is there (whatever it is, as the deployment tests it) or has been made
// now, one level only; created says which.
DWORD MakeFolderIfMissing(const std::wstring& folder, bool& created);

// Removes a folder made by MakeFolderIfMissing, when it is empty (a folder that holds anything
// is not the run's to remove).
void RemoveFolderIfEmpty(const std::wstring& folder);

} // namespace qm
