#pragma once
// Reading a whole file as bytes, with the file left open to other readers and writers.
#include <string>

namespace qm {

// False when the file cannot be opened; a read failure keeps what was read before it.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);

} // namespace qm
