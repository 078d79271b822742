#pragma once
// Links where a standard user may write. Such a user can leave a junction or a symbolic link in
// a folder of theirs, and an elevated write or delete through it lands wherever they chose; the
// checks here look at the object itself, never at what it links to.
#include "platform/win_handles.h"

#include <string>

namespace qm {

// ERROR_REPARSE_POINT_ENCOUNTERED; newer SDKs name it, mingw-w64's headers do not.
inline constexpr DWORD kReparsePointEncountered = 4395;

// True for reparse tags that stand for another name (junctions, symbolic links); a cloud
// placeholder or a deduplicated file holds its own data and is no link.
bool IsLinkTag(DWORD tag);

// The full path as the file system will take it: relative parts resolved, separators collapsed.
std::wstring FullPathOf(const std::wstring& path);

// Opens the folder itself, never what it links to, without delete sharing: while the handle is
// open the folder cannot be renamed, removed or put back as a link. Invalid on failure (the
// code in GetLastError()). A trusted root (followLink) is opened as what it links to, so that
// the files in it compare with its final path.
UniqueFile OpenFolderHeld(const std::wstring& folder, bool followLink = false);

// 0 when the object open as handle is what path names: it is no link, and its final path is its
// parent's final path followed by its own name. Else 4395, or the code that reading gave.
DWORD CheckOpenedIsPath(HANDLE handle, const std::wstring& path);
// The same, where path's folder is open already as parent (held by the caller).
DWORD CheckOpenedIsPathIn(HANDLE handle, const std::wstring& path, HANDLE parent);
// The same, with the final path of path's folder known already.
DWORD CheckOpenedIsPathUnder(HANDLE handle, const std::wstring& path,
                             const std::wstring& parentFinal);

// A trusted root's final path, read already where the root was opened as itself and found no
// link: the checks below it then need not read it again.
void RememberRootFinal(const std::wstring& root, const std::wstring& final);

// 0 when neither target nor any folder between root and target is a link; what does not exist
// yet is no link. Else 4395, or the code that looking gave. Links at or above root are the
// choice of whoever placed the install and are accepted; an empty root checks target alone.
DWORD CheckNoLinkBelow(const std::wstring& root, const std::wstring& target);
// 0 when path, in the folder whose final path is parentFinal (checked already), is no link;
// what is not there is no link. final receives path's final path, empty where it is not there.
DWORD CheckChildBelow(const std::wstring& parentFinal, const std::wstring& path,
                      std::wstring& final);
// The same for a folder open already (held by the caller) at path, looked at through its
// handle; an empty root checks nothing. final receives the folder's final path, for the files
// checked in it.
DWORD CheckHeldFolderBelow(HANDLE folder, const std::wstring& root, const std::wstring& path,
                           std::wstring& final);

} // namespace qm
