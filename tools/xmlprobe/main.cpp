// xmlprobe nodes|parse|count FILE, xmlprobe query FILE ELEMENTPATH [ATTRIBUTE]
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/codepage.h"
#include "xml/node_scanner.h"
#include "xml/xml_document.h"
#include "xml/xml_file_query.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "usage: xmlprobe nodes|parse|count FILE | xmlprobe query FILE "
                      "ELEMENTPATH [ATTRIBUTE]\n";

bool ReadText(const char* path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    text.resize(std::strlen(text.c_str())); // up to the first zero byte
    return true;
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
    if (!ReadText(path, text)) {
        std::fprintf(stderr, "xmlprobe: cannot read %s\n", path);
        return kExitUnreadable;
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
