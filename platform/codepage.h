#pragma once
// The one place where wide text meets narrow text. On Windows the narrow side is the thread's
// ANSI code page (CP_THREAD_ACP); elsewhere it is the byte values 0-255 as the same code
// points (ASCII passes unchanged both ways).
#include <string>

namespace qm {

// False when the platform refuses the conversion. Characters the code page cannot represent
// become its default character. Stops at the first zero character of `wide`.
bool WideToNarrow(const std::wstring& wide, std::string& narrow);

// False when the platform refuses the conversion. Stops at the first zero byte of `narrow`.
bool NarrowToWide(const std::string& narrow, std::wstring& wide);

// Convenience forms: an empty text when the conversion fails.
std::string ToNarrow(const std::wstring& wide);
std::wstring ToWide(const std::string& narrow);

} // namespace qm
