// xmlbench [MB...]: parses and indexes generated documents (default 1, 16 and 128 MB) with the
// XML reader, rapidxml's default parse and pugixml, and prints throughput and peak memory. Then
// it parses hostile documents with the reader and prints their time and peak heap as ratios to
// an ordinary document of the same size.
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
#include <random>
#include <string>
#include <unordered_map>
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

std::string Repeat(const std::string& part, size_t count) {
    std::string text;
    text.reserve(part.size() * count);
    for (size_t i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

// Open elements whose names hold thousands of '=' (each a place where an end tag's name may
// match), each name its own, then stray end tags: indexing every such place of every name costs
// the product of the two counts.
std::string MakeManyCutsDocument() {
    constexpr size_t kOpen = 2000;
    constexpr size_t kCuts = 10000;
    constexpr size_t kStray = 20000;
    const std::string cuts(kCuts, '=');
    std::string text;
    for (size_t i = 0; i < kOpen; ++i) {
        text += "<a" + std::to_string(i) + cuts + ">";
    }
    return text + Repeat("</b>", kStray);
}

// The polynomial hash, fixed in advance, that the reader once indexed open names by: two
// 31-bit halves, each a polynomial in the characters modulo a prime.
uint64_t FixedPolynomialHash(const std::string& text) {
    uint64_t low = 0;
    uint64_t high = 0;
    for (const char ch : text) {
        const uint64_t value = static_cast<unsigned char>(ch) + 1u;
        low = (low * 1000003u + value) % 2147483647u;
        high = (high * 999983u + value) % 2147483629u;
    }
    return (high << 32) | low;
}

// Two different texts of the same length whose hashes agree in the bits of `mask`, found by
// the birthday search among texts made by `make(i)`.
template <typename Make>
std::pair<std::string, std::string> FindCollision(uint64_t mask, Make make) {
    std::unordered_map<uint64_t, std::string> seen;
    for (uint64_t i = 0;; ++i) {
        std::string text = make(i);
        const auto found = seen.emplace(FixedPolynomialHash(text) & mask, text);
        if (!found.second && found.first->second != text) {
            return {found.first->second, text};
        }
    }
}

// Names that collide in that fixed hash, computed the way an attacker would: a pair of short
// blocks that collide in the low half, then among strings of such blocks (all colliding in the
// low half) a pair that collides in the high half too. Strings of those two blocks all collide.
// Open elements named by three of them, then stray end tags named by the fourth.
std::string MakeCollidingNamesDocument() {
    std::mt19937_64 random(12345);
    const auto lowPair = FindCollision(0xFFFFFFFFu, [&](uint64_t) {
        std::string block(8, 'a');
        for (char& ch : block) {
            ch = static_cast<char>('a' + random() % 26);
        }
        return block;
    });
    constexpr int kBlocks = 20;
    const auto fullPair = FindCollision(~0ull, [&](uint64_t i) {
        std::string name;
        for (int b = 0; b < kBlocks; ++b) {
            name += ((i >> b) & 1) != 0 ? lowPair.second : lowPair.first;
        }
        return name;
    });
    const std::string& x = fullPair.first;
    const std::string& y = fullPair.second;
    constexpr size_t kOpen = 6000;
    constexpr size_t kStray = 18000;
    return Repeat("<" + x + x + "><" + x + y + "><" + y + x + ">", kOpen) +
           Repeat("</" + y + y + ">", kStray);
}

// Names that leave a long name of '=' one after another, then that long name many times, then
// stray end tags: an index that keeps something for every place where names branch, per open
// element, would grow with the product of the two counts.
std::string MakeBranchingNamesDocument() {
    constexpr size_t kBranches = 3000;
    constexpr size_t kRepeats = 2000;
    constexpr size_t kStray = 20000;
    std::string text;
    for (size_t k = kBranches; k >= 1; --k) {
        text += "<a" + std::string(k, '=') + "x>";
    }
    text += Repeat("<a" + std::string(kBranches, '=') + ">", kRepeats);
    return text + Repeat("</b>", kStray);
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

void PrintHostileRatios() {
    struct Shape {
        const char* name;
        std::string text;
    };
    const Shape shapes[] = {
        {"2000 names of 10000 '=', 20000 stray end tags", MakeManyCutsDocument()},
        {"names colliding in a fixed hash, stray end tags", MakeCollidingNamesDocument()},
        {"a name repeated, names branching off it at each '='", MakeBranchingNamesDocument()},
    };
    std::printf("\nhostile documents, qm reader against an ordinary document of the same size "
                "(bounds: time 10, heap 5)\n");
    std::printf("%-50s %8s %10s %10s %10s %10s\n", "shape", "MB", "best ms", "heap MB",
                "time ratio", "heap ratio");
    constexpr int kRuns = 3;
    for (const Shape& shape : shapes) {
        const std::string ordinary = MakeDocument(shape.text.size());
        const Result base = MeasureInChild(Parser::Reader, ordinary, kRuns);
        const Result hostile = MeasureInChild(Parser::Reader, shape.text, kRuns);
        const double mb = static_cast<double>(shape.text.size()) / (1024.0 * 1024.0);
        std::printf("%-50s %8.1f %10.2f %10.1f\n", "  ordinary document", mb, base.seconds * 1000.0,
                    base.heapPeak / (1024.0 * 1024.0));
        std::printf("%-50s %8.1f %10.2f %10.1f %10.2f %10.2f\n", shape.name, mb,
                    hostile.seconds * 1000.0, hostile.heapPeak / (1024.0 * 1024.0),
                    hostile.seconds / base.seconds, hostile.heapPeak / base.heapPeak);
        std::fflush(stdout);
    }
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
    PrintHostileRatios();
    return 0;
}
