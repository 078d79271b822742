// xmlbench [MB...]: parses and indexes generated documents (default 1, 16 and 128 MB) with the
// XML reader, rapidxml's default parse and pugixml, and prints throughput and peak memory.
// Each measurement runs in a child process of its own, so that one parser's freed memory does
// not flatter the next; peak memory is counted twice: heap bytes allocated (peak live) and
// resident memory (VmHWM, reset before the document copy is made).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>

#include "xml/xml_document.h"

namespace {

// ---- heap accounting: every allocation carries its size in a header ----
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};
constexpr size_t kHeader = 16;

void* CountedAlloc(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, &size, sizeof size);
    const size_t live = g_live += size;
    size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return block + kHeader;
}

void CountedFree(void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
    size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    g_live -= size;
    std::free(block);
}

void ResetPeak() {
    g_peak = g_live.load();
}

// ---- resident memory ----
long ReadStatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) {
            return std::atol(line.c_str() + length);
        }
    }
    return -1;
}

void ResetResidentPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// ---- documents ----
// A catalogue-like document: components with attributes, a child element each and text with
// references, indented with CRLF.
std::string MakeDocument(size_t targetBytes) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<catalogue>\r\n";
    text.reserve(targetBytes + 512);
    for (unsigned i = 0; text.size() < targetBytes; ++i) {
        const std::string n = std::to_string(i);
        text += "  <Component id=\"c" + n + "\" ref=\"MWClientServer;1.0." + n +
                "\" type=\"client\">\r\n    <File name=\"file" + n + ".dll\" size=\"" +
                std::to_string(i * 7919u % 100000u) + "\"/>\r\n    <Note>build " + n +
                " &amp; notes</Note>\r\n  </Component>\r\n";
    }
    text += "</catalogue>\r\n";
    return text;
}

enum class Parser { Reader, RapidXml, PugiXml };
const char* Name(Parser parser) {
    switch (parser) {
    case Parser::Reader:
        return "qm reader";
    case Parser::RapidXml:
        return "rapidxml";
    default:
        return "pugixml";
    }
}

struct Result {
    double seconds = 0;  // best of the runs
    double heapPeak = 0; // bytes
    double residentPeak = 0;
    long elements = 0;
};

long CountRapid(const rapidxml::xml_node<char>* node) {
    long count = 0;
    for (auto* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_element) {
            count += 1 + CountRapid(child);
        }
    }
    return count;
}

long CountPugi(const pugi::xml_node& node) {
    long count = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            count += 1 + CountPugi(child);
        }
    }
    return count;
}

using Clock = std::chrono::steady_clock;

// One copy of the document made, parsed and indexed; returns the seconds spent parsing and
// the number of elements (outside the timing).
double ParseOnce(Parser parser, const std::string& document, long& elements) {
    switch (parser) {
    case Parser::Reader: {
        std::string copy = document;
        qm::XmlDocument doc;
        const auto start = Clock::now();
        const bool ok = doc.SetDocument(std::move(copy));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        elements = ok ? doc.PosFree() - 1 : -1;
        return seconds;
    }
    case Parser::RapidXml: {
        std::vector<char> copy(document.begin(), document.end());
        copy.push_back('\0');
        rapidxml::xml_document<char> doc;
        const auto start = Clock::now();
        doc.parse<0>(copy.data());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        elements = CountRapid(&doc);
        return seconds;
    }
    default: {
        std::vector<char> copy(document.begin(), document.end());
        pugi::xml_document doc;
        const auto start = Clock::now();
        const pugi::xml_parse_result ok = doc.load_buffer_inplace(copy.data(), copy.size());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        elements = ok ? CountPugi(doc) : -1;
        return seconds;
    }
    }
}

Result Measure(Parser parser, const std::string& document, int runs) {
    Result result;
    // Memory first, while the heap of this fresh child holds nothing it could reuse.
    const long residentBefore = ReadStatusKb("VmRSS:");
    ResetResidentPeak();
    ResetPeak();
    const size_t heapBefore = g_live.load();
    ParseOnce(parser, document, result.elements);
    result.heapPeak = static_cast<double>(g_peak.load() - heapBefore);
    result.residentPeak = static_cast<double>(ReadStatusKb("VmHWM:") - residentBefore) * 1024.0;
    result.seconds = 1e30;
    for (int run = 0; run < runs; ++run) {
        result.seconds = std::min(result.seconds, ParseOnce(parser, document, result.elements));
    }
    return result;
}

// Runs Measure in a child so that each parser starts from the same heap.
Result MeasureInChild(Parser parser, const std::string& document, int runs) {
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const Result result = Measure(parser, document, runs);
        const ssize_t written = write(fds[1], &result, sizeof result);
        _exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    close(fds[1]);
    Result result;
    const ssize_t got = read(fds[0], &result, sizeof result);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(sizeof result) || status != 0) {
        std::fprintf(stderr, "xmlbench: %s failed\n", Name(parser));
        std::exit(1);
    }
    return result;
}

} // namespace

void* operator new(size_t size) {
    void* pointer = CountedAlloc(size == 0 ? 1 : size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* pointer) noexcept {
    CountedFree(pointer);
}
void operator delete[](void* pointer) noexcept {
    CountedFree(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    CountedFree(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    CountedFree(pointer);
}

int main(int argc, char** argv) {
    pugi::set_memory_management_functions(CountedAlloc, CountedFree);
    std::vector<size_t> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(static_cast<size_t>(std::atof(argv[i]) * 1024 * 1024));
    }
    if (sizes.empty()) {
        sizes = {1u << 20, 16u << 20, 128u << 20};
    }
    std::printf("%-10s %-10s %9s %10s %10s %9s %9s %10s\n", "document", "parser", "MB/s", "best ms",
                "elements", "heap/doc", "rss/doc", "bytes/elem");
    for (const size_t size : sizes) {
        const std::string document = MakeDocument(size);
        const double mb = static_cast<double>(document.size()) / (1024.0 * 1024.0);
        const int runs = size <= (2u << 20) ? 30 : size <= (32u << 20) ? 6 : 3;
        Result results[3];
        for (const Parser parser : {Parser::Reader, Parser::RapidXml, Parser::PugiXml}) {
            const Result r = MeasureInChild(parser, document, runs);
            results[static_cast<int>(parser)] = r;
            std::printf("%7.1f MB %-10s %9.1f %10.2f %10ld %9.2f %9.2f %10.1f\n", mb, Name(parser),
                        mb / r.seconds, r.seconds * 1000.0, r.elements,
                        r.heapPeak / static_cast<double>(document.size()),
                        r.residentPeak / static_cast<double>(document.size()),
                        static_cast<double>(document.size()) / static_cast<double>(r.elements));
        }
        const Result& ours = results[0];
        std::printf("%7.1f MB speed: reader/rapidxml %.2f, reader/pugixml %.2f; heap peak: "
                    "reader/rapidxml %.2f, reader/pugixml %.2f\n",
                    mb, results[1].seconds / ours.seconds, results[2].seconds / ours.seconds,
                    ours.heapPeak / results[1].heapPeak, ours.heapPeak / results[2].heapPeak);
        std::fflush(stdout);
    }
    return 0;
}
