#pragma once
// Reads the fixed file version of a file's version resource.
#include <cstdint>
#include <functional>
#include <string>

namespace qm {

// Each part is the unsigned 16-bit value widened, so 0..65535. Callers start it at zeros and
// read zeros as "no version".
struct FileVersionNumbers {
    int32_t major = 0;
    int32_t minor = 0;
    int32_t build = 0;
    int32_t revision = 0;
};

// Loads version.dll from the system folder only (never a copy beside the program), once.
// False when the library or one of its three functions cannot be had, with the system's error
// code of that failure (the same on every call).
bool LoadVersionLibrary(uint32_t& errorCode);

// One attempt to load a library by its full path with the given LoadLibraryExW flags; false
// with the system's error code when it fails.
using LibraryLoadAttempt = std::function<bool(uint32_t searchFlags, uint32_t& errorCode)>;

// Loads with LOAD_LIBRARY_SEARCH_SYSTEM32 first. Windows 7 and Server 2008 R2 without update
// KB2533623 know no such flag and refuse it with ERROR_INVALID_PARAMETER: only then is the
// path loaded again without flags. Any other error is final; a failed retry reports the first
// attempt's code, the one that says why the normal load failed.
bool LoadWithSearchFallback(const LibraryLoadAttempt& attempt, uint32_t& errorCode);

// False when the file has no version information (the record is left untouched); true
// otherwise, with the record filled when the fixed information could be read.
bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers);

// Splits the two 32-bit words of a fixed file version (dwFileVersionMS, dwFileVersionLS)
// into its four parts.
FileVersionNumbers UnpackFileVersion(uint32_t versionMS, uint32_t versionLS);

} // namespace qm
