// Backup sets on disk: making a set, saving copies, the manifest's file, a restore's writes.
#include "backup/backup_files.h"

#include "fileops/file_hash.h"

#include "fileops/atomic_copy.h"
#include "fileops/copy_bytes.h"
#include "fileops/link_check.h"
#include "fileops/link_rules.h"
#include "backup/backup_manifest.h"
#include "backup/backup_sets.h"
#include "fileops/protected_folder.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"

#include <windows.h>

#include <vector>

namespace qm {

namespace {

constexpr wchar_t kDataFolderFailed[] = L"获取程序数据目录(ProgramData)失败，未做任何修改";
constexpr wchar_t kSetCreationFailed[] = L"创建备份目录失败[%s], 未做任何修改, Errcode: %d";
constexpr wchar_t kManifestFailed[] = L"写入备份清单失败[%s], Errcode: %d";

constexpr wchar_t kPendingManifest[] = L"manifest.txt.quillmend-new";
constexpr int kMostSetsPerSecond = 999;
constexpr DWORD kChunk = 64 * 1024;
constexpr LPSECURITY_ATTRIBUTES kInheritedSecurity = nullptr;
constexpr HANDLE kNoTemplate = nullptr;
constexpr LPOVERLAPPED kNotOverlapped = nullptr;

// The file's own folder and the file must be no links: what is read is written back by a
// restore, and what is deleted must be the file the run made.
DWORD LinkBelowGrandparent(const std::wstring& path) {
    return CheckNoLinkBelow(ParentFolder(ParentFolder(path)), path);
}

bool IsMissingCode(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

UniqueFile OpenForReading(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  kInheritedSecurity, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                  kNoTemplate));
}

UniqueFile CreateNewFile(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, 0, kInheritedSecurity, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, kNoTemplate));
}

// Every byte from one open file to the other, made durable; false with the code of the step
// that failed.
bool CopyBytes(HANDLE from, HANDLE to, DWORD& error) {
    bool readFailed = false;
    error = CopyAllBytes(from, to, readFailed);
    if (error != ERROR_SUCCESS) {
        return false;
    }
    if (!FlushFileBuffers(to)) {
        error = GetLastError();
        return false;
    }
    return true;
}

// The program's own folders, held from their check until the program ends.
std::vector<UniqueFile>& HeldFolders() {
    static std::vector<UniqueFile> held;
    return held;
}

std::wstring NowStamp() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return SetStamp({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

// A saved file may be a second name of an installed one, which shares its attributes: those are
// cleared only for a file with no other name.
void RemoveSetFile(const std::wstring& file) {
    if (DeleteFileW(file.c_str())) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    {
        const UniqueFile opened(CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
        if (!opened || !GetFileInformationByHandle(opened.get(), &information) ||
            information.nNumberOfLinks != 1) {
            return;
        }
    }
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
}

} // namespace

std::wstring BackupsFolder() {
    const std::wstring own = OwnDataFolder();
    return own.empty() ? own : JoinPath(own, kBackupsFolderName);
}

std::wstring CreateBackupSet() {
    const std::wstring own = OwnDataFolder();
    if (own.empty()) {
        ThrowUserError(kDataFolderFailed, {});
    }
    const std::wstring backups = JoinPath(own, kBackupsFolderName);
    HeldFolders().push_back(EnsureProtectedFolder(own));
    HeldFolders().push_back(EnsureProtectedFolder(backups));
    const std::wstring stamp = NowStamp();
    for (int attempt = 1;; ++attempt) {
        const std::wstring folder = JoinPath(backups, SetName(stamp, attempt));
        unsigned long error = ERROR_SUCCESS;
        if (CreateProtectedFolder(folder, error)) {
            return folder;
        }
        // Only a name taken within the same second is tried again, under the next name.
        if (error != ERROR_ALREADY_EXISTS || attempt == kMostSetsPerSecond) {
            ThrowUserError(kSetCreationFailed, {folder, error});
        }
    }
}

void HoldProtectedFolder(const std::wstring& folder) {
    HeldFolders().push_back(CheckExistingProtectedFolder(folder));
}

bool IsFilePresent(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const DWORD error = GetLastError();
    if (IsMissingCode(error)) {
        return false;
    }
    ThrowUserError(kSaveFailed, {path, error});
}

bool IsOpenableForReading(const std::wstring& path) {
    return OpenForReading(path).valid();
}

void SaveCopy(const std::wstring& original, const std::wstring& savedPath, uint64_t& size,
              std::string& sha256) {
    DWORD error = LinkBelowGrandparent(original);
    if (error != ERROR_SUCCESS) {
        ThrowUserError(kSaveFailed, {original, error});
    }
    {
        const UniqueFile from = OpenForReading(original);
        if (!from) {
            error = GetLastError();
            ThrowUserError(kSaveFailed, {original, error});
        }
        error = CheckOpenedIsPath(from.get(), original);
        if (error != ERROR_SUCCESS) {
            ThrowUserError(kSaveFailed, {original, error});
        }
        const UniqueFile to = CreateNewFile(savedPath);
        if (!to) {
            error = GetLastError();
            ThrowUserError(kSaveFailed, {original, error});
        }
        if (!CopyBytes(from.get(), to.get(), error)) {
            ThrowUserError(kSaveFailed, {original, error});
        }
    }
    // What the set holds is what a restore will check, so the digest is of the copy as read
    // back, not of the bytes as they went out.
    if (!Fingerprint(savedPath, size, sha256)) {
        error = GetLastError();
        ThrowUserError(kSaveFailed, {original, error});
    }
}

bool Fingerprint(const std::wstring& path, uint64_t& size, std::string& sha256) {
    return HashFile(path, sha256, &size);
}

void WriteManifestFile(const std::wstring& setFolder, const std::string& text,
                       ManifestDurability durability) {
    const bool flushed = durability == ManifestDurability::Flushed;
    const std::wstring pending = JoinPath(setFolder, kPendingManifest);
    const std::wstring manifest = JoinPath(setFolder, kManifestName);
    DWORD error = ERROR_SUCCESS;
    {
        DeleteFileW(pending.c_str());
        const UniqueFile file = CreateNewFile(pending);
        if (!file) {
            error = GetLastError();
            ThrowUserError(kManifestFailed, {manifest, error});
        }
        error = WriteAllBytes(file.get(), text.data(), static_cast<DWORD>(text.size()));
        if (error == ERROR_SUCCESS && flushed && !FlushFileBuffers(file.get())) {
            error = GetLastError();
        }
        if (error != ERROR_SUCCESS) {
            ThrowUserError(kManifestFailed, {manifest, error});
        }
    }
    if (!MoveFileExW(pending.c_str(), manifest.c_str(),
                     MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0))) {
        error = GetLastError();
        ThrowUserError(kManifestFailed, {manifest, error});
    }
}

bool ReadManifestFile(const std::wstring& setFolder, std::string& text) {
    const UniqueFile file = OpenForReading(JoinPath(setFolder, kManifestName));
    if (!file) {
        return false;
    }
    text.clear();
    std::vector<char> buffer(kChunk);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), kChunk, &read, kNotOverlapped)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        text.append(buffer.data(), read);
    }
}

std::vector<std::wstring> ListBackupFolders(const std::wstring& backupsFolder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const UniqueFind find(FindFirstFileW(JoinPath(backupsFolder, L"*").c_str(), &found));
    if (!find) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && name != L"." &&
            name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(find.get(), &found));
    return names;
}

void RemoveBackupSet(const std::wstring& setFolder) {
    if (IsReparsePoint(setFolder)) {
        return;
    }
    WIN32_FIND_DATAW found{};
    {
        const UniqueFind find(FindFirstFileW(JoinPath(setFolder, L"*").c_str(), &found));
        if (find) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    RemoveSetFile(JoinPath(setFolder, found.cFileName));
                }
            } while (FindNextFileW(find.get(), &found));
        }
    }
    RemoveDirectoryW(setFolder.c_str());
}

void RestoreSavedCopy(const std::wstring& savedCopy, const std::wstring& originalPath,
                      const std::wstring& root) {
    const DWORD error = CopyFileAtomically(savedCopy, originalPath, root);
    if (error != ERROR_SUCCESS) {
        ThrowUserError(kRestoreFailed, {originalPath, error});
    }
}

void RemoveFileIfPresent(const std::wstring& path, const std::wstring& root) {
    // The folder held first, so that it cannot be swapped for a link after it was looked at;
    // then the file opened as itself and checked, and deleted through that handle: never by a
    // name that could have come to mean another file meanwhile.
    const std::wstring folderPath = ParentFolder(FullPathOf(path));
    const UniqueFile folder = OpenFolderHeld(folderPath, IsRootFolder(root, folderPath));
    DWORD error = ERROR_SUCCESS;
    if (!folder) {
        error = GetLastError();
        if (IsMissingCode(error)) {
            return;
        }
        ThrowUserError(kRemoveFailed, {path, error});
    }
    error = CheckNoLinkBelow(root, folderPath);
    if (error != ERROR_SUCCESS) {
        ThrowUserError(kRemoveFailed, {path, error});
    }
    const UniqueFile file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      kInheritedSecurity, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    if (!file) {
        error = GetLastError();
        if (IsMissingCode(error)) {
            return;
        }
        ThrowUserError(kRemoveFailed, {path, error});
    }
    error = CheckOpenedIsPathIn(file.get(), path, folder.get());
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (error == ERROR_SUCCESS && !SetFileInformationByHandle(file.get(), FileDispositionInfo,
                                                              &disposition, sizeof disposition)) {
        error = GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        ThrowUserError(kRemoveFailed, {path, error});
    }
}

} // namespace qm
