// Reading a file's fixed version through version.dll loaded from the system folder.
#include "fileops/file_version.h"

#include "platform/win_handles.h"

#include <cstring>
#include <vector>

namespace qm {

namespace {

using GetFileVersionInfoSizeWFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueAFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

constexpr LPDWORD kNoHandleOut = nullptr;
constexpr HANDLE kReservedFile = nullptr;
constexpr DWORD kNoSearchFlags = 0;
constexpr DWORD kIgnoredHandle = 0;
// Most programs' version blocks are a few KiB; VS_VERSIONINFO's length is a WORD, so none is
// longer than 64 KiB.
constexpr size_t kUsualVersionBlock = 8 * 1024;
// The root block of the version data holds the fixed file information.
constexpr char kRootBlock[] = "\\";

struct VersionLibrary {
    UniqueModule module;
    GetFileVersionInfoSizeWFn getSize = nullptr;
    GetFileVersionInfoWFn getInfo = nullptr;
    VerQueryValueAFn queryValue = nullptr;
    DWORD error = ERROR_SUCCESS;

    bool usable() const { return getSize && getInfo && queryValue; }
};

// GetProcAddress yields a generic pointer; going through void(*)() keeps the cast explicit
// without tripping the compiler's function-type-mismatch warning.
template <typename Fn> Fn LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The system folder's own copy by its full path. A load by name alone returns any module of
// that name already in the process, and a planted copy can get there before us through
// another DLL's import (Wine's user32 imports version.dll); a full path never matches it.
std::wstring SystemVersionLibraryPath() {
    const UINT length = GetSystemDirectoryW(nullptr, 0);
    if (length == 0) {
        return std::wstring();
    }
    std::vector<wchar_t> folder(length);
    const UINT written = GetSystemDirectoryW(folder.data(), length);
    if (written == 0 || written >= length) {
        return std::wstring();
    }
    return std::wstring(folder.data(), written) + L"\\version.dll";
}

VersionLibrary LoadFromSystemFolder() {
    VersionLibrary library;
    // version.dll is not a KnownDLL: a plain load would take a copy planted beside this
    // elevated program. Only the system folder's copy is taken, by its full path, and where
    // the system knows the flag its own imports are searched for in the system folder only.
    const std::wstring path = SystemVersionLibraryPath();
    if (path.empty()) {
        library.error = GetLastError();
        return library;
    }
    // Without the flag (older systems) the full path still names the system folder's copy; its
    // imports then follow the normal order, where the ones it needs are KnownDLLs or loaded.
    const auto attempt = [&](uint32_t searchFlags, uint32_t& errorCode) {
        library.module.reset(LoadLibraryExW(path.c_str(), kReservedFile, searchFlags));
        if (!library.module) {
            errorCode = GetLastError();
            return false;
        }
        return true;
    };
    uint32_t error = ERROR_SUCCESS;
    if (!LoadWithSearchFallback(attempt, error)) {
        library.error = error;
        return library;
    }
    library.getSize =
        LookUp<GetFileVersionInfoSizeWFn>(library.module.get(), "GetFileVersionInfoSizeW");
    library.getInfo = LookUp<GetFileVersionInfoWFn>(library.module.get(), "GetFileVersionInfoW");
    library.queryValue = LookUp<VerQueryValueAFn>(library.module.get(), "VerQueryValueA");
    library.error = library.usable() ? ERROR_SUCCESS : GetLastError();
    return library;
}

const VersionLibrary& Library() {
    // Loaded at the first use and kept for the life of the process; a failed load is not
    // retried.
    static const VersionLibrary library = LoadFromSystemFolder();
    return library;
}

// A damaged resource must not make us read past the data the file gave us.
bool HoldsFixedInfo(const std::vector<unsigned char>& data, const void* block) {
    const auto first = reinterpret_cast<uintptr_t>(block);
    const auto begin = reinterpret_cast<uintptr_t>(data.data());
    return block && first >= begin && first - begin + sizeof(VS_FIXEDFILEINFO) <= data.size();
}

void ReadFixedInfo(const VersionLibrary& library, std::vector<unsigned char>& data,
                   FileVersionNumbers& numbers) {
    void* block = nullptr;
    UINT blockLength = sizeof(VS_FIXEDFILEINFO);
    if (library.queryValue(data.data(), kRootBlock, &block, &blockLength) &&
        HoldsFixedInfo(data, block)) {
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, block, sizeof fixed);
        numbers = UnpackFileVersion(fixed.dwFileVersionMS, fixed.dwFileVersionLS);
    }
}

// The loader resolves the resource from the file's own directory; a damaged one could name
// bytes past the mapped file. A data file's module handle is its view's base, tagged in the
// low bits.
bool WithinView(HMODULE module, const void* bytes, size_t size) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(module) & ~uintptr_t{3};
    MEMORY_BASIC_INFORMATION view{};
    if (VirtualQuery(reinterpret_cast<const void*>(base), &view, sizeof view) == 0) {
        return false;
    }
    const auto first = reinterpret_cast<uintptr_t>(bytes);
    const uintptr_t end = base + view.RegionSize;
    return first >= base && first <= end && size <= end - first;
}

// The version resource through the loader's own lookup, the file mapped as plain data:
// version.dll maps it as an image, which Wine lays out section by section at four times the
// cost. False leaves the file to version.dll: no PE file, no such resource, or a damaged one.
bool ReadVersionResource(const std::wstring& filePath, std::vector<unsigned char>& data) {
    const UniqueModule module(
        LoadLibraryExW(filePath.c_str(), kReservedFile, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        return false;
    }
    const HRSRC resource =
        FindResourceW(module.get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    const HGLOBAL loaded = resource ? LoadResource(module.get(), resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = resource ? SizeofResource(module.get(), resource) : 0;
    if (!bytes || size == 0 || !WithinView(module.get(), bytes, size)) {
        return false;
    }
    // Twice the size, as version.dll gives it: the query may convert texts behind the block.
    data.assign(size * size_t{2}, 0);
    std::memcpy(data.data(), bytes, size);
    return true;
}

} // namespace

bool LoadVersionLibrary(uint32_t& errorCode) {
    const VersionLibrary& library = Library();
    if (!library.usable()) {
        errorCode = library.error;
        return false;
    }
    return true;
}

bool LoadWithSearchFallback(const LibraryLoadAttempt& attempt, uint32_t& errorCode) {
    if (attempt(LOAD_LIBRARY_SEARCH_SYSTEM32, errorCode)) {
        return true;
    }
    uint32_t retryError = ERROR_SUCCESS;
    return errorCode == ERROR_INVALID_PARAMETER && attempt(kNoSearchFlags, retryError);
}

FileVersionNumbers UnpackFileVersion(uint32_t versionMS, uint32_t versionLS) {
    FileVersionNumbers numbers;
    numbers.major = static_cast<int32_t>(versionMS >> 16);
    numbers.minor = static_cast<int32_t>(versionMS & 0xFFFFu);
    numbers.build = static_cast<int32_t>(versionLS >> 16);
    numbers.revision = static_cast<int32_t>(versionLS & 0xFFFFu);
    return numbers;
}

bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) {
    const VersionLibrary& library = Library();
    if (!library.usable()) {
        return false;
    }
    std::vector<unsigned char> data;
    if (ReadVersionResource(filePath, data)) {
        ReadFixedInfo(library, data, numbers);
        return true;
    }
    // Otherwise one read into a buffer most version blocks fit: each of the library's calls
    // maps the whole file, so asking for the size first would map it twice. A block that does
    // not fit (its first word, VS_VERSIONINFO's wLength, says how long it is) is read again.
    data.assign(kUsualVersionBlock, 0);
    bool read = library.getInfo(filePath.c_str(), kIgnoredHandle, static_cast<DWORD>(data.size()),
                                data.data()) != FALSE;
    WORD whole = 0;
    std::memcpy(&whole, data.data(), sizeof whole);
    if (!read || whole > data.size()) {
        const DWORD size = library.getSize(filePath.c_str(), kNoHandleOut);
        if (size == 0) {
            return false;
        }
        data.assign(size, 0);
        read = library.getInfo(filePath.c_str(), kIgnoredHandle, size, data.data()) != FALSE;
    }
    if (read) {
        ReadFixedInfo(library, data, numbers);
    }
    // Version information of non-zero size counts as "has a version" even when it could not be
    // read; the caller's zeros then stand for 0.0.0.0.
    return true;
}

} // namespace qm
