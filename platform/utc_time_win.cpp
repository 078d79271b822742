// The system clock as a UtcTime.
#include "platform/utc_time.h"

#include <windows.h>

namespace qm {

UtcTime UtcNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
            now.wMinute, now.wSecond, now.wMilliseconds};
}

} // namespace qm
