#pragma once
// The SHA-256 of a file's bytes, for the log's record of what a run replaced.
#include <cstdint>
#include <string>

namespace qm {

// False when the file cannot be opened or read (absent, locked against reading); reads while
// others read, write or delete it, so that watching a run never blocks it.
// size, when given, receives the number of bytes hashed.
bool HashFile(const std::wstring& path, std::string& sha256Hex, uint64_t* size = nullptr);

} // namespace qm
