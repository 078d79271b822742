#pragma once
// New names for an open file, given by the system's own calls relative to a held folder: the
// name is given to the very file the handle holds, whatever its path has come to mean.
#include <windows.h>

#include <string>

namespace qm {

// Renames the open file onto leaf in the held folder, replacing what is there, in one step:
// there is no moment at which the name is missing (ReplaceFileW moves the old file aside
// first). Where the system knows it (Windows 10 and later), POSIX semantics let the rename
// replace a file that another program holds open with delete sharing. 0 or the code.
DWORD RenameOnto(HANDLE file, HANDLE folder, const std::wstring& leaf);

// Gives the open file a second name, leaf in the held folder (a hard link); never replaces a
// file of that name. 0 or the code: 17 (ERROR_NOT_SAME_DEVICE) from another volume or file
// system, 1 or 50 where the file system has no links (FAT, exFAT, some shares).
DWORD LinkInto(HANDLE file, HANDLE folder, const std::wstring& leaf);

} // namespace qm
