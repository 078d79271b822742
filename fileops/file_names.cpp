// Renames and links by handle, through ntdll: kernelbase's SetFileInformationByHandle under
// Wine turns a name relative to a folder handle into a full path first, which it then refuses
// beside the handle, and it knows no link class at all.
#include "fileops/file_names.h"

#include <cstring>
#include <vector>

namespace qm {

namespace {

// FILE_RENAME_INFORMATION and FILE_LINK_INFORMATION share this layout.
struct NameInformation {
    ULONG flags; // ReplaceIfExists (a BOOLEAN) for the plain classes, the flags for the Ex ones
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};
struct IoStatus {
    union {
        LONG status;
        PVOID pointer;
    };
    ULONG_PTR information;
};
using SetInformationFile = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);
using StatusToError = ULONG(NTAPI*)(LONG);
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileLinkInformation = 11;
constexpr ULONG kFileRenameInformationEx = 65;
constexpr ULONG kRenameReplaceIfExists = 0x1; // FILE_RENAME_REPLACE_IF_EXISTS
constexpr ULONG kRenamePosixSemantics = 0x2;  // FILE_RENAME_POSIX_SEMANTICS
// What a system that does not know the Ex class answers: STATUS_INVALID_INFO_CLASS,
// STATUS_NOT_IMPLEMENTED, STATUS_INVALID_PARAMETER, STATUS_NOT_SUPPORTED.
bool IsUnknownClass(LONG status) {
    const auto code = static_cast<ULONG>(status);
    return code == 0xC0000003 || code == 0xC0000002 || code == 0xC000000D || code == 0xC00000BB;
}

template <typename Function> Function NtdllFunction(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)))
                 : nullptr;
}

std::vector<unsigned char> NameBuffer(ULONG flags, HANDLE folder, const std::wstring& leaf) {
    const size_t nameBytes = leaf.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(NameInformation) + nameBytes);
    auto* info = reinterpret_cast<NameInformation*>(buffer.data());
    info->flags = flags;
    info->rootDirectory = folder;
    info->fileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(info->fileName, leaf.data(), nameBytes);
    return buffer;
}

} // namespace

DWORD RenameOnto(HANDLE file, HANDLE folder, const std::wstring& leaf) {
    const auto setInformation = NtdllFunction<SetInformationFile>("NtSetInformationFile");
    const auto toError = NtdllFunction<StatusToError>("RtlNtStatusToDosError");
    if (!setInformation || !toError) {
        return ERROR_PROC_NOT_FOUND;
    }
    std::vector<unsigned char> buffer =
        NameBuffer(kRenameReplaceIfExists | kRenamePosixSemantics, folder, leaf);
    IoStatus io{};
    LONG status = setInformation(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                 kFileRenameInformationEx);
    if (IsUnknownClass(status)) {
        reinterpret_cast<NameInformation*>(buffer.data())->flags = TRUE;
        status = setInformation(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                kFileRenameInformation);
    }
    return status >= 0 ? ERROR_SUCCESS : toError(status);
}

DWORD LinkInto(HANDLE file, HANDLE folder, const std::wstring& leaf) {
    const auto setInformation = NtdllFunction<SetInformationFile>("NtSetInformationFile");
    const auto toError = NtdllFunction<StatusToError>("RtlNtStatusToDosError");
    if (!setInformation || !toError) {
        return ERROR_PROC_NOT_FOUND;
    }
    std::vector<unsigned char> buffer = NameBuffer(FALSE, folder, leaf);
    IoStatus io{};
    const LONG status = setInformation(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                       kFileLinkInformation);
    return status >= 0 ? ERROR_SUCCESS : toError(status);
}

} // namespace qm
