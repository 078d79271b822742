#pragma once
// The backups on disk: the sets under %ProgramData%\Quillmend\Backups, the copies saved into
// them, their manifests, and a restore's writes. Failures that end a run throw UserError with
// the message for the user.
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// %ProgramData%\Quillmend\Backups; empty when the common application-data folder cannot be had.
std::wstring BackupsFolder();

// Makes sure Quillmend and Backups are ours (created protected, or checked), then makes a new
// set folder named for the time now; returns its full path. Throws when any of it fails. The
// two folders stay held (see HoldProtectedFolder) until the program ends.
std::wstring CreateBackupSet();

// Checks an existing folder of the program's own as the run does before reading from it, and
// holds it, so that it cannot be swapped for another, until the program ends. Throws UserError.
void HoldProtectedFolder(const std::wstring& folder);

// Whether a file is at path; throws naming it when that cannot be told.
bool IsFilePresent(const std::wstring& path);

// Present as the legacy deployment means it: can be opened for reading while others read and
// write it (what cannot be opened so is not written either).
bool IsOpenableForReading(const std::wstring& path);

// Copies original into a new file savedPath (which inherits the set's protected DACL), then
// reads the saved copy back for its size and SHA-256. Throws naming the original on failure.
void SaveCopy(const std::wstring& original, const std::wstring& savedPath, uint64_t& size,
              std::string& sha256);

// Size and SHA-256 of a file; false when it cannot be read.
bool Fingerprint(const std::wstring& path, uint64_t& size, std::string& sha256);

// How far a manifest must be on disk before the call returns.
enum class ManifestDurability {
    Flushed, // its bytes and its name: it names saved files a rollback needs
    Written, // handed to the system: it names nothing yet, so losing it loses nothing
};

// Writes the manifest beside the old one and renames it into place. Throws on failure.
void WriteManifestFile(const std::wstring& setFolder, const std::string& text,
                       ManifestDurability durability = ManifestDurability::Flushed);
bool ReadManifestFile(const std::wstring& setFolder, std::string& text);

// The folder names in Backups (no links); empty when there is no Backups folder.
std::vector<std::wstring> ListBackupFolders(const std::wstring& backupsFolder);

// Removes a set: its files, then its folder. Best effort: what cannot go stays for next time.
void RemoveBackupSet(const std::wstring& setFolder);

// A restore's writes: the saved copy takes the original's place in one step; a file the run
// created is deleted (one already gone is fine). No folder between root and the file may be a
// link. Both throw naming the file.
void RestoreSavedCopy(const std::wstring& savedCopy, const std::wstring& originalPath,
                      const std::wstring& root);
void RemoveFileIfPresent(const std::wstring& path, const std::wstring& root);

} // namespace qm
