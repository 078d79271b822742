#pragma once
// Reads the fixed file version of a file's version resource.
#include <cstdint>
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
// False when the library or one of its three functions cannot be had.
bool LoadVersionLibrary();

// False when the file has no version information (the record is left untouched); true
// otherwise, with the record filled when the fixed information could be read.
bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers);

// Splits the two 32-bit words of a fixed file version (dwFileVersionMS, dwFileVersionLS)
// into its four parts.
FileVersionNumbers UnpackFileVersion(uint32_t versionMS, uint32_t versionLS);

} // namespace qm
