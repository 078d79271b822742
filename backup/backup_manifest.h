#pragma once
// The manifest of a backup set: one line for each file a run was about to write, in the order
// the run reached them, in UTF-8 so that every path is kept whole. It is rewritten after each
// entry, so a set from a run that failed part way still lists everything that run changed. No
// Windows API here.
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr wchar_t kManifestName[] = L"manifest.txt";

// What fails with a set's files; each names the file, then the Windows error code.
inline constexpr wchar_t kSaveFailed[] = L"备份文件失败[%s], 该文件未被替换, Errcode: %d";
inline constexpr wchar_t kRestoreFailed[] = L"从备份还原文件失败[%s], Errcode: %d";
inline constexpr wchar_t kRemoveFailed[] = L"删除运行创建的文件失败[%s], Errcode: %d";

enum class BackupKind {
    Overwritten, // a copy of the file as it was is in the set
    Created,     // the file did not exist: undoing the run deletes it
};

struct BackupEntry {
    BackupKind kind = BackupKind::Created;
    std::wstring originalPath;
    uint64_t size = 0;       // of the saved copy; 0 for a created file
    std::string sha256;      // of the saved copy, 64 lower-case hex digits; empty when created
    std::wstring storedName; // the saved copy's file name in the set; empty when created
    // Overwritten only: the saved copy is a second name of the file that was replaced, not a
    // copy of its bytes. A restore treats both alike.
    bool linked = false;
};

struct BackupManifest {
    std::vector<BackupEntry> entries;
    // The run that made the set ended well; a set without it is kept longer (backup_sets.h).
    bool finished = false;
};

// Byte-order mark and a header line, then one tab-separated line per entry (its kind: created,
// overwritten, or linked: overwritten and saved as a second name) (Windows paths can
// hold no tab or line break), CR LF after each line, "finished" last when the run ended well.
std::string ManifestText(const BackupManifest& manifest);

// False when the text is not a whole, well-formed manifest: a restore must not guess.
bool ParseManifest(const std::string& text, BackupManifest& manifest);

// The saved copy's name: the entry's number, so that two files of one name never collide,
// then the original file name for whoever restores by hand.
std::wstring StoredNameFor(size_t index, const std::wstring& originalPath);

// UTF-8 back to wide text; false for bytes that are not UTF-8, or a code point a path cannot
// hold.
bool FromUtf8(const std::string& text, std::wstring& wide);

} // namespace qm
