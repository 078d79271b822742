#pragma once
// A moment in UTC, as the log's lines and the backup sets' names give it. No Windows API here.

namespace qm {

struct UtcTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Now, from the system clock (Windows builds only).
UtcTime UtcNow();

} // namespace qm
