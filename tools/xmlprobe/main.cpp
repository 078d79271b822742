// xmlprobe nodes|parse|count FILE, xmlprobe query FILE ELEMENTPATH [ATTRIBUTE]
// Exit codes: 0 done, 1 the file cannot be read, 2 usage, 3 the text is longer than the reader
// takes (2^31 bytes or more before its first zero byte).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/codepage.h"
#include "xml/node_scanner.h"
#include "xml/xml_document.h"
#include "xml/xml_file_query.h"
#include "xml/xml_messages.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTooLarge = 3;
constexpr size_t kReadChunk = 1 << 16;

const char kUsage[] = "usage: xmlprobe nodes|parse|count FILE | xmlprobe query FILE "
                      "ELEMENTPATH [ATTRIBUTE]\n";

enum class ReadResult { Ok, Unreadable, TooLarge };

// Reads the file up to its first zero byte; stops as soon as the text is longer than the reader
// takes, so that an overlong file is reported without being held whole.
ReadResult ReadText(const char* path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return ReadResult::Unreadable;
    }
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(file.gcount());
        const char* begin = chunk.data();
        const char* end = begin + got;
        const char* zero = std::find(begin, end, '\0');
        const auto length = static_cast<size_t>(zero - begin);
        if (length > qm::XmlDocument::kMaxTextLength - text.size()) {
            return ReadResult::TooLarge;
        }
        text.append(begin, length);
        if (zero != end || !file) {
            return file.bad() ? ReadResult::Unreadable : ReadResult::Ok;
        }
    }
}

void Write(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::string Hex(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
}

void PrintNodes(const std::string& text) {
    qm::TokenCursor cursor;
    cursor.doc = text.c_str();
    qm::NodeInfo node;
    for (;;) {
        const int32_t kind = qm::ScanNode(cursor, node);
        if (kind == qm::NodeEnd) {
            return;
        }
        std::string last;
        if (kind == qm::NodeElement || kind == qm::NodeProcessingInstruction ||
            kind == qm::NodeError) {
            last = node.text;
        } else if (kind == qm::NodeEndTag && cursor.right >= cursor.left) {
            last.assign(text, static_cast<size_t>(cursor.left),
                        static_cast<size_t>(cursor.right - cursor.left + 1));
        }
        Write(std::to_string(kind) + '\t' + std::to_string(node.start) + '\t' +
              std::to_string(node.length) + '\t' + Hex(node.nodeFlags) + '\t' + last + '\n');
    }
}

void PrintSummary(const qm::XmlDocument& document, bool wellFormed) {
    Write(std::string("well-formed\t") + (wellFormed ? "1" : "0") + '\n');
    Write("error\t" + document.ErrorText() + '\n');
}

void PrintRecords(const qm::XmlDocument& document) {
    for (int32_t i = 0; i < document.PosFree(); ++i) {
        const qm::ElementRecord& r = document.Record(i);
        Write(std::to_string(i) + '\t' + std::to_string(r.start) + '\t' + std::to_string(r.length) +
              '\t' + std::to_string(r.StartTagLength()) + '\t' + std::to_string(r.EndTagLength()) +
              '\t' + Hex(r.flags) + '\t' + std::to_string(r.parent) + '\t' +
              std::to_string(r.firstChild) + '\t' + std::to_string(r.next) + '\t' +
              std::to_string(r.prev) + '\n');
    }
}

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes on every platform: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    const char* path = argv[2];
    const bool query = command == "query";
    if (query ? (argc != 4 && argc != 5) : argc != 3) {
        return Usage();
    }
    if (!query && command != "nodes" && command != "parse" && command != "count") {
        return Usage();
    }
    std::string text;
    ReadResult read = ReadResult::Unreadable;
    try {
        read = ReadText(path, text);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "xmlprobe: cannot read %s: out of memory\n", path);
        return kExitUnreadable;
    }
    if (read == ReadResult::Unreadable) {
        std::fprintf(stderr, "xmlprobe: cannot read %s\n", path);
        return kExitUnreadable;
    }
    if (read == ReadResult::TooLarge) {
        const std::string limit = std::to_string(qm::XmlDocument::kMaxTextLength);
        std::fprintf(stderr, "xmlprobe: %s: %s (more than %s bytes)\n", path,
                     qm::xml_message::kDocumentTooLarge, limit.c_str());
        return kExitTooLarge;
    }
    if (command == "nodes") {
        PrintNodes(text);
    } else if (query) {
        const std::wstring value = qm::QueryXmlFileValue(qm::ToWide(path), qm::ToWide(argv[3]),
                                                         argc == 5 ? qm::ToWide(argv[4]) : L"");
        Write(qm::ToNarrow(value) + '\n');
    } else {
        qm::XmlDocument document;
        const bool wellFormed = document.SetDocument(std::move(text));
        PrintSummary(document, wellFormed);
        if (command == "parse") {
            PrintRecords(document);
        } else {
            Write("records\t" + std::to_string(document.PosFree() - 1) + '\n');
        }
    }
    std::fflush(stdout);
    return kExitOk;
}
