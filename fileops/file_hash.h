#pragma once
// A file's bytes: their SHA-256, for the log's record of what a run replaced, and whether two
// files hold the same ones.
#include <cstdint>
#include <string>

namespace qm {

// False when the file cannot be opened or read (absent, locked against reading); reads while
// others read, write or delete it, so that watching a run never blocks it.
// size, when given, receives the number of bytes hashed.
bool HashFile(const std::wstring& path, std::string& sha256Hex, uint64_t* size = nullptr);

// True when both files can be read and hold the same bytes; the sizes are compared first, so
// files that differ in size are not read at all.
bool HoldSameBytes(const std::wstring& a, const std::wstring& b);

// Opens path for reading once: false when it cannot be; else same tells whether it holds
// exactly bytes (a file of another size is not read).
bool ReadableAndHolds(const std::wstring& path, const std::string& bytes, bool& same);

} // namespace qm
