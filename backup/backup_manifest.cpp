// The manifest's lines: written in UTF-8, read back strictly.
#include "backup/backup_manifest.h"

#include "platform/utf8.h"

#include <cstdio>

namespace qm {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kHeader[] = "Quillmend backup set 1";
constexpr char kOverwritten[] = "overwritten";
constexpr char kLinked[] = "linked";
constexpr char kCreated[] = "created";
constexpr char kFinished[] = "finished";
constexpr char kNone[] = "-";
constexpr char kLineEnd[] = "\r\n";
constexpr size_t kDigestDigits = 64;

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool ParseSize(const std::string& text, uint64_t& size) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    size = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

bool IsDigest(const std::string& text) {
    if (text.size() != kDigestDigits) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// A saved copy lies directly in its set: a stored name that could reach outside it is refused.
bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool ParseEntry(const std::vector<std::string>& fields, BackupEntry& entry) {
    if (fields.size() != 5 || !FromUtf8(fields[4], entry.originalPath) ||
        entry.originalPath.empty()) {
        return false;
    }
    if (fields[0] == kCreated) {
        entry.kind = BackupKind::Created;
        return fields[1] == kNone && fields[2] == kNone && fields[3] == kNone;
    }
    entry.linked = fields[0] == kLinked;
    if ((fields[0] != kOverwritten && !entry.linked) || !ParseSize(fields[1], entry.size) ||
        !IsDigest(fields[2]) || !FromUtf8(fields[3], entry.storedName)) {
        return false;
    }
    entry.kind = BackupKind::Overwritten;
    entry.sha256 = fields[2];
    return IsPlainName(entry.storedName);
}

} // namespace

std::string ManifestText(const BackupManifest& manifest) {
    std::string text = std::string(kByteOrderMark) + kHeader + kLineEnd;
    for (const BackupEntry& entry : manifest.entries) {
        if (entry.kind == BackupKind::Overwritten) {
            text += std::string(entry.linked ? kLinked : kOverwritten) + '\t' +
                    std::to_string(entry.size) + '\t' + entry.sha256 + '\t' +
                    ToUtf8(entry.storedName);
        } else {
            text += std::string(kCreated) + '\t' + kNone + '\t' + kNone + '\t' + kNone;
        }
        text += '\t' + ToUtf8(entry.originalPath) + kLineEnd;
    }
    if (manifest.finished) {
        text += std::string(kFinished) + kLineEnd;
    }
    return text;
}

bool ParseManifest(const std::string& text, BackupManifest& manifest) {
    manifest = BackupManifest();
    std::string body = text;
    if (body.compare(0, 3, kByteOrderMark) == 0) {
        body.erase(0, 3);
    }
    std::vector<std::string> lines = SplitAt(body, '\n');
    // Every line ends with its line break: a last line without one was cut off.
    if (lines.back().empty()) {
        lines.pop_back();
    } else {
        return false;
    }
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
    }
    if (lines.empty() || lines[0] != kHeader) {
        return false;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i] == kFinished && i + 1 == lines.size()) {
            manifest.finished = true;
            continue;
        }
        BackupEntry entry;
        if (!ParseEntry(SplitAt(lines[i], '\t'), entry)) {
            return false;
        }
        manifest.entries.push_back(entry);
    }
    return true;
}

std::wstring StoredNameFor(size_t index, const std::wstring& originalPath) {
    char number[24];
    std::snprintf(number, sizeof number, "%04zu", index + 1);
    const size_t slash = originalPath.find_last_of(L"\\/");
    const std::wstring name =
        slash == std::wstring::npos ? originalPath : originalPath.substr(slash + 1);
    return std::wstring(number, number + std::char_traits<char>::length(number)) + L" " + name;
}

bool FromUtf8(const std::string& text, std::wstring& wide) {
    wide.clear();
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t at) { return static_cast<uint8_t>(text[at]); };
        const uint8_t lead = byte(i);
        size_t length = 0;
        uint32_t point = 0;
        uint32_t lowest = 0;
        if (lead < 0x80) {
            length = 1, point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, point = lead & 0x1F, lowest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, point = lead & 0x0F, lowest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, point = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond Unicode are not UTF-8; a NUL would
        // cut a path short.
        if (point < lowest || point == 0 || (point >= 0xD800 && point <= 0xDFFF) ||
            point > 0x10FFFF) {
            return false;
        }
        if (point >= 0x10000 && sizeof(wchar_t) == 2) {
            wide += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(point);
        }
        i += length;
    }
    return true;
}

} // namespace qm
