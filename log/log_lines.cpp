// The log's text: times, line breaks and the lines of a box.
#include "log/log_lines.h"

#include "platform/utf8.h"

#include <cstdio>

namespace qm {

std::wstring FormatIsoUtc(const UtcTime& time) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", time.year, time.month,
                  time.day, time.hour, time.minute, time.second, time.millisecond);
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::string LogLine(const UtcTime& time, const std::wstring& text) {
    std::wstring line = FormatIsoUtc(time) + L" " + text;
    for (wchar_t& unit : line) {
        if (unit == L'\r' || unit == L'\n') {
            unit = L' ';
        }
    }
    return ToUtf8(line) + "\r\n";
}

std::vector<std::wstring> BoxLines(const std::wstring& caption, const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\n', start);
        std::wstring part = text.substr(start, end == std::wstring::npos ? end : end - start);
        if (!part.empty() && part.back() == L'\r') {
            part.pop_back();
        }
        lines.push_back(lines.empty() ? L"box [" + caption + L"] " + part : L"box ... " + part);
        if (end == std::wstring::npos) {
            return lines;
        }
        start = end + 1;
    }
}

} // namespace qm
