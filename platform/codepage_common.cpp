// Code-page conversions shared by the Windows and the POSIX builds.
#include "platform/codepage.h"

namespace qm {

std::string ToNarrow(const std::wstring& wide) {
    std::string narrow;
    if (!WideToNarrow(wide, narrow)) {
        narrow.clear();
    }
    return narrow;
}

std::wstring ToWide(const std::string& narrow) {
    std::wstring wide;
    if (!NarrowToWide(narrow, wide)) {
        wide.clear();
    }
    return wide;
}

} // namespace qm
