#pragma once
// Which Uninstall sub-key belongs to the "penloom 9.0" generation. No Windows API here, so the
// rule is tested natively as well.
#include <string>

namespace qm {

// Lowers A-Z only (other characters stay as they are, so the result does not depend on the
// locale) and matches when the lowered name contains both "penloom" and "v9", or is exactly
// "penloom 9.0".
bool IsLegacyKeyName(const std::wstring& subKeyName);

} // namespace qm
