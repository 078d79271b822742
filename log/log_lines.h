#pragma once
// The text of the run's log, apart from the file it goes to: times, and the lines for the
// box a user would have seen. No Windows API here.
#include "platform/utc_time.h"

#include <string>
#include <vector>

namespace qm {

// ISO 8601 in UTC with milliseconds: "2026-12-09T10:24:25.123Z".
std::wstring FormatIsoUtc(const UtcTime& time);

// One log line in UTF-8: the time, a space, the text, CR LF. Line breaks inside the text
// become spaces, so that one event stays one line.
std::string LogLine(const UtcTime& time, const std::wstring& text);

// A box as log lines: the caption with its first line, then each further line of the text.
std::vector<std::wstring> BoxLines(const std::wstring& caption, const std::wstring& text);

} // namespace qm
