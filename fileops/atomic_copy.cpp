// Copies written beside the target and put in its place in one step, keeping its security.
#include "fileops/atomic_copy.h"

#include "fileops/copy_bytes.h"
#include "fileops/file_names.h"
#include "fileops/link_check.h"
#include "fileops/link_rules.h"
#include "platform/paths.h"
#include "platform/win_handles.h"

#include <aclapi.h>
#include <ntsecapi.h>

#include <cstring>
#include <vector>

namespace qm {

namespace {

constexpr wchar_t kPendingMark[] = L".quillmend-";
constexpr int kPendingNameAttempts = 4;
// TLS files are a few KiB; a program is copied from its file.
constexpr LONGLONG kLargestHeldSource = 1024 * 1024;
constexpr HANDLE kNoTemplate = nullptr;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What of the old file's attributes the new one takes; read-only never (it would fail the next
// copy), nor what the file system sets itself (compression, encryption, sparseness).
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kSecurityKept =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

struct LocalFreeTraits {
    using Handle = PSECURITY_DESCRIPTOR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { LocalFree(handle); }
};
using UniqueLocalDescriptor = UniqueHandle<LocalFreeTraits>;

// What the file being replaced had; exists false when there is none yet.
struct OldFile {
    bool exists = false;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    UniqueLocalDescriptor descriptor;
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    bool daclProtected = false;
};

// Asks for what the copy in place used to need (writing) and what the rename needs (deleting
// the old file), so that a read-only or held target fails with the code it always gave, before
// anything is written; and reads what the new file must keep. A missing target is no obstacle.
DWORD ReadOldFile(const std::wstring& target, const std::wstring& folderFinal, OldFile& old) {
    const UniqueFile file(CreateFileW(
        target.c_str(), GENERIC_WRITE | DELETE | READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    const DWORD link = CheckOpenedIsPathUnder(file.get(), target, folderFinal);
    if (link != ERROR_SUCCESS) {
        return link;
    }
    // Only the attributes: the full information asks the volume too, which costs more.
    FILE_ATTRIBUTE_TAG_INFO information{};
    if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &information,
                                      sizeof information)) {
        return GetLastError();
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(file.get(), SE_FILE_OBJECT, kSecurityKept, &old.owner,
                                         &old.group, &old.dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    old.descriptor.reset(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        old.daclProtected = (control & SE_DACL_PROTECTED) != 0;
    }
    old.exists = true;
    old.attributes = information.FileAttributes & kKeptAttributes;
    if (old.attributes == 0) {
        old.attributes = FILE_ATTRIBUTE_NORMAL;
    }
    return ERROR_SUCCESS;
}

// The old file's descriptor for the new one; without its owner when this process may not give
// that owner, so that the new file still gets the old DACL.
bool BuildDescriptor(const OldFile& old, bool withOwner, SECURITY_DESCRIPTOR& descriptor) {
    return InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&descriptor, withOwner ? old.owner : nullptr, FALSE) &&
           SetSecurityDescriptorGroup(&descriptor, withOwner ? old.group : nullptr, FALSE) &&
           SetSecurityDescriptorDacl(&descriptor, TRUE, old.dacl, FALSE) &&
           (!old.daclProtected ||
            SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
}

// A name beside the target that nobody can know before it exists: a link left in wait at a
// fixed name would be followed.
std::wstring PendingName(const std::wstring& target) {
    // Should the system give no random bytes, CREATE_NEW still refuses whatever waits there.
    unsigned char random[8] = {};
    RtlGenRandom(random, sizeof random);
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring name = target + kPendingMark;
    for (unsigned char byte : random) {
        name.push_back(kHex[byte >> 4]);
        name.push_back(kHex[byte & 0xF]);
    }
    return name;
}

// Created new, never opened: whatever is at a name already is left alone and another is tried.
UniqueFile CreatePending(const std::wstring& target, const OldFile& old, std::wstring& pending,
                         DWORD& error) {
    for (int attempt = 0; attempt < kPendingNameAttempts; ++attempt) {
        pending = PendingName(target);
        SECURITY_DESCRIPTOR descriptor{};
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
        bool withOwner = true;
        for (;;) {
            // A new target gets what its folder gives.
            LPSECURITY_ATTRIBUTES security = old.exists ? &attributes : nullptr;
            if (old.exists && !BuildDescriptor(old, withOwner, descriptor)) {
                error = GetLastError();
                return UniqueFile();
            }
            UniqueFile file(CreateFileW(pending.c_str(), GENERIC_WRITE | DELETE, 0, security,
                                        CREATE_NEW, old.attributes, kNoTemplate));
            if (file) {
                return file;
            }
            error = GetLastError();
            if (!withOwner ||
                (error != ERROR_INVALID_OWNER && error != ERROR_INVALID_PRIMARY_GROUP)) {
                break;
            }
            withOwner = false;
        }
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return UniqueFile();
        }
    }
    return UniqueFile();
}

// Every byte of source into pending, and source's time of last change, as a copy gives it.
bool FillPending(HANDLE source, HANDLE pending, DWORD& error) {
    bool readFailed = false;
    error = CopyAllBytes(source, pending, readFailed);
    if (error != ERROR_SUCCESS) {
        return false;
    }
    FILETIME changed{};
    if (GetFileTime(source, nullptr, nullptr, &changed)) {
        SetFileTime(pending, nullptr, nullptr, &changed);
    }
    // Not flushed one by one: every file a run overwrites is saved and flushed before the stop,
    // so a copy the disk did not keep can be put back, and a flush per copy would lengthen the
    // time the suite is stopped by the disk's latency for every file.
    return true;
}

// Whether path names the very file open as file (a second name of it, or itself).
bool IsSameFile(HANDLE file, const std::wstring& path) {
    const UniqueFile other(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, kNoTemplate));
    BY_HANDLE_FILE_INFORMATION mine{};
    BY_HANDLE_FILE_INFORMATION its{};
    return other && GetFileInformationByHandle(file, &mine) &&
           GetFileInformationByHandle(other.get(), &its) &&
           mine.dwVolumeSerialNumber == its.dwVolumeSerialNumber &&
           mine.nFileIndexHigh == its.nFileIndexHigh && mine.nFileIndexLow == its.nFileIndexLow;
}

// Deletes the very file the handle holds, whatever name it has by now, once it is closed; or
// takes that back. False when the system would not.
bool MarkDeleted(HANDLE file, bool deleted) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(deleted)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

void DeleteOpened(HANDLE file) {
    MarkDeleted(file, true);
}

// The target's folder held, the folders checked, and what the old file has: the first half of
// a replacement.
struct Replacement {
    std::wstring full;
    UniqueFile folder;
    std::wstring folderFinal;
    OldFile old;
};

DWORD Prepare(const std::wstring& target, const std::wstring& linkRoot, MissingTarget missing,
              Replacement& replacement) {
    replacement.full = FullPathOf(target);
    const std::wstring& full = replacement.full;
    // Held until the end: the folder cannot be renamed and replaced by a link meanwhile, so the
    // folders are looked at once it is held, and the target through the handle that writes it.
    replacement.folder =
        OpenFolderHeld(ParentFolder(full), IsRootFolder(linkRoot, ParentFolder(full)));
    if (!replacement.folder) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
    }
    // Through the held handle: its final path serves the target's check too.
    const DWORD link = CheckHeldFolderBelow(replacement.folder.get(), linkRoot, ParentFolder(full),
                                            replacement.folderFinal);
    if (link != ERROR_SUCCESS) {
        return link;
    }
    const DWORD obstacle = ReadOldFile(full, replacement.folderFinal, replacement.old);
    if (obstacle != ERROR_SUCCESS) {
        return obstacle;
    }
    if (!replacement.old.exists && missing == MissingTarget::Refuse) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

// A new file beside the target, filled; empty with the code when it could not be.
template <typename Fill>
UniqueFile WritePending(const Replacement& replacement, const Fill& fill, DWORD& error) {
    std::wstring pending;
    UniqueFile to = CreatePending(replacement.full, replacement.old, pending, error);
    if (!to) {
        return to;
    }
    error = fill(to.get());
    if (error != ERROR_SUCCESS) {
        DeleteOpened(to.get());
        return UniqueFile();
    }
    return to;
}

// The filled new file renamed onto the target, or deleted. source, when given, is what the
// bytes came from.
DWORD PutInPlace(const Replacement& replacement, UniqueFile& to, HANDLE source) {
    const std::wstring& full = replacement.full;
    DWORD error =
        RenameOnto(to.get(), replacement.folder.get(), full.substr(full.find_last_of(L'\\') + 1));
    if (error != ERROR_SUCCESS) {
        DeleteOpened(to.get());
        // A restore from a second name of the target itself: its bytes are there already,
        // and the open source is what kept the rename from replacing it.
        if (source && IsSameFile(source, full)) {
            error = ERROR_SUCCESS;
        }
    }
    to.reset();
    return error;
}

// The second half: a new file beside the target, filled, then renamed onto it.
template <typename Fill>
DWORD Complete(const Replacement& replacement, const Fill& fill, HANDLE source) {
    DWORD error = ERROR_SUCCESS;
    UniqueFile to = WritePending(replacement, fill, error);
    return to ? PutInPlace(replacement, to, source) : error;
}

// Whether the target still has what a staged copy took from it: its new file would keep it.
bool SameOldFile(const OldFile& now, const OldFile& staged) {
    if (now.exists != staged.exists || now.attributes != staged.attributes) {
        return false;
    }
    if (!now.exists) {
        return true;
    }
    const DWORD length = GetSecurityDescriptorLength(now.descriptor.get());
    return length == GetSecurityDescriptorLength(staged.descriptor.get()) &&
           std::memcmp(now.descriptor.get(), staged.descriptor.get(), length) == 0;
}

// A held source's bytes and time of last change, into the new file.
auto FillFrom(const HeldSource& source) {
    return [&source](HANDLE to) -> DWORD {
        const DWORD error =
            WriteAllBytes(to, source.bytes.data(), static_cast<DWORD>(source.bytes.size()));
        if (error != ERROR_SUCCESS) {
            return error;
        }
        // As FillPending: not flushed one by one, the saved files are.
        SetFileTime(to, nullptr, nullptr, &source.written);
        return ERROR_SUCCESS;
    };
}

} // namespace

DWORD CopyFileAtomically(const std::wstring& source, const std::wstring& target,
                         const std::wstring& linkRoot, MissingTarget missing) {
    Replacement replacement;
    const DWORD obstacle = Prepare(target, linkRoot, missing, replacement);
    if (obstacle != ERROR_SUCCESS) {
        return obstacle;
    }
    const UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, kNoTemplate));
    if (!from) {
        return GetLastError();
    }
    const auto fill = [&from](HANDLE to) {
        DWORD error = ERROR_SUCCESS;
        return FillPending(from.get(), to, error) ? ERROR_SUCCESS : error;
    };
    return Complete(replacement, fill, from.get());
}

bool ReadHeldSource(const std::wstring& source, HeldSource& held) {
    const UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, kNoTemplate));
    LARGE_INTEGER size{};
    if (!from || !GetFileSizeEx(from.get(), &size) || size.QuadPart > kLargestHeldSource ||
        !GetFileTime(from.get(), nullptr, nullptr, &held.written)) {
        return false;
    }
    held.bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ReadFile(from.get(), held.bytes.data(), static_cast<DWORD>(held.bytes.size()), &read,
                    nullptr) &&
           read == held.bytes.size();
}

// The new file is marked deleted until its rename, so closing it unused deletes it.
struct StagedCopy::State {
    Replacement replacement;
    UniqueFile pending;
};

StagedCopy::StagedCopy() = default;
StagedCopy::StagedCopy(StagedCopy&&) noexcept = default;
StagedCopy& StagedCopy::operator=(StagedCopy&&) noexcept = default;
StagedCopy::~StagedCopy() = default;

StagedCopy StageHeldCopy(const HeldSource& source, const std::wstring& target,
                         const std::wstring& linkRoot) {
    StagedCopy staged;
    staged.state = std::make_unique<StagedCopy::State>();
    StagedCopy::State& state = *staged.state;
    DWORD error = Prepare(target, linkRoot, MissingTarget::Create, state.replacement);
    if (error == ERROR_SUCCESS) {
        state.pending = WritePending(state.replacement, FillFrom(source), error);
    }
    // Marked deleted until its rename: a run ended by force leaves nothing beside the target.
    if (!state.pending || !MarkDeleted(state.pending.get(), true)) {
        staged.state.reset();
    }
    return staged;
}

DWORD CopyHeldAtomically(const HeldSource& source, const std::wstring& target,
                         const std::wstring& linkRoot, MissingTarget missing, StagedCopy staged) {
    if (!staged) {
        Replacement replacement;
        const DWORD obstacle = Prepare(target, linkRoot, missing, replacement);
        return obstacle != ERROR_SUCCESS ? obstacle
                                         : Complete(replacement, FillFrom(source), nullptr);
    }
    // The folder has been held since the copy was written; the target may have changed.
    Replacement& replacement = staged.state->replacement;
    OldFile now;
    const DWORD obstacle = ReadOldFile(replacement.full, replacement.folderFinal, now);
    if (obstacle != ERROR_SUCCESS) {
        return obstacle;
    }
    if (!now.exists && missing == MissingTarget::Refuse) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (SameOldFile(now, replacement.old) && MarkDeleted(staged.state->pending.get(), false)) {
        return PutInPlace(replacement, staged.state->pending, nullptr);
    }
    replacement.old = std::move(now);
    return Complete(replacement, FillFrom(source), nullptr);
}

DWORD WriteFileAtomically(const std::wstring& target, const std::string& bytes,
                          const std::wstring& linkRoot) {
    Replacement replacement;
    const DWORD obstacle = Prepare(target, linkRoot, MissingTarget::Create, replacement);
    if (obstacle != ERROR_SUCCESS) {
        return obstacle;
    }
    const auto fill = [&bytes](HANDLE to) -> DWORD {
        const DWORD error = WriteAllBytes(to, bytes.data(), static_cast<DWORD>(bytes.size()));
        if (error != ERROR_SUCCESS) {
            return error;
        }
        // Whole on disk before its name is: a record read after a power cut is the old one
        // or this one, never a torn mix.
        return FlushFileBuffers(to) ? ERROR_SUCCESS : GetLastError();
    };
    return Complete(replacement, fill, nullptr);
}

} // namespace qm
