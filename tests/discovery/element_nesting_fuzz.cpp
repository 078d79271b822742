// libFuzzer target for the nesting guard in front of rapidxml. For every input, rapidxml's
// default parse runs on a thread whose stack holds only the levels the guard counted plus a
// small margin, above a guard region: a text that nests deeper than the guard counted overflows
// it, and that crash is the finding. A text the parser accepts must moreover nest exactly as
// deep as the guard counted, which also catches a miscount of a level or two.
//
// The stack is measured, not guessed: at start-up the parse runs on a painted stack, once at
// two depths (the bytes per level) and once for each kind of deepest leaf work (attributes,
// character references, raising an error), which with the thread's own start-up gives the
// fixed part.
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <rapidxml/rapidxml.hpp>

#include "discovery/element_nesting.h"

// Frames must stay on the thread's own stack: a heap "fake stack" would hide the depth.
extern "C" const char* __asan_default_options() {
    return "detect_stack_use_after_return=0";
}

namespace {

constexpr unsigned char kPaint = 0xA5;
constexpr std::size_t kGuardBytes = 256 * 1024;
// Room for what the measurement may not have met: a different leaf, a different alignment.
constexpr std::size_t kMarginBytes = 2048;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "nesting fuzz: %s\n", what);
        std::abort();
    }
}

std::size_t PageSize() {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A thread stack of exactly `size` bytes with an inaccessible region right below it.
class GuardedStack {
public:
    explicit GuardedStack(std::size_t size) : size_(size) {
        const std::size_t page = PageSize();
        mapped_ = kGuardBytes + (size + page - 1) / page * page;
        void* base =
            mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        Require(base != MAP_FAILED, "stack mapping");
        base_ = static_cast<unsigned char*>(base);
        Require(mprotect(base_, kGuardBytes, PROT_NONE) == 0, "guard region");
    }
    ~GuardedStack() { munmap(base_, mapped_); }
    GuardedStack(const GuardedStack&) = delete;
    GuardedStack& operator=(const GuardedStack&) = delete;

    unsigned char* bottom() const { return base_ + kGuardBytes; }
    std::size_t size() const { return size_; }

    void Paint() { std::memset(bottom(), kPaint, size_); }

    // Bytes from the top down to the lowest one the thread wrote.
    __attribute__((no_sanitize("address"))) std::size_t Used() const {
        std::size_t untouched = 0;
        while (untouched < size_ && bottom()[untouched] == kPaint) {
            ++untouched;
        }
        return size_ - untouched;
    }

private:
    std::size_t size_;
    std::size_t mapped_ = 0;
    unsigned char* base_ = nullptr;
};

struct ParseRun {
    char* text = nullptr;
    bool parsed = false;
    std::size_t deepest = 0;
};

// The deepest element of the parsed tree, walked without recursion.
std::size_t DeepestElement(const rapidxml::xml_document<char>& document) {
    std::size_t depth = 1;
    std::size_t deepest = 0;
    const rapidxml::xml_node<char>* node = document.first_node();
    while (node != nullptr) {
        if (node->type() == rapidxml::node_element) {
            deepest = std::max(deepest, depth);
        }
        if (node->first_node() != nullptr) {
            node = node->first_node();
            ++depth;
            continue;
        }
        while (node != nullptr && node->next_sibling() == nullptr) {
            node = node->parent();
            --depth;
            if (node == &document) {
                node = nullptr;
            }
        }
        if (node != nullptr) {
            node = node->next_sibling();
        }
    }
    return deepest;
}

void* Parse(void* argument) {
    auto& run = *static_cast<ParseRun*>(argument);
    // The document's own pool is 64 KB: it lives on the heap so the stack holds only the parse.
    auto document = std::make_unique<rapidxml::xml_document<char>>();
    try {
        document->parse<0>(run.text);
        run.parsed = true;
        run.deepest = DeepestElement(*document);
    } catch (const rapidxml::parse_error&) {
    }
    return nullptr;
}

ParseRun ParseOn(GuardedStack& stack, std::string text) {
    ParseRun run;
    run.text = &text[0];
    pthread_attr_t attributes;
    Require(pthread_attr_init(&attributes) == 0, "thread attributes");
    Require(pthread_attr_setstack(&attributes, stack.bottom(), stack.size()) == 0, "thread stack");
    pthread_t thread;
    Require(pthread_create(&thread, &attributes, Parse, &run) == 0, "thread start");
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return run;
}

std::string Nested(std::size_t levels, const std::string& inside) {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i) {
        text += "<a>";
    }
    return text + inside;
}

struct StackModel {
    std::size_t perLevel = 0;
    std::size_t fixed = 0;
};
StackModel model;

std::size_t MeasuredUse(const std::string& text) {
    GuardedStack stack(8 * 1024 * 1024);
    stack.Paint();
    ParseOn(stack, text);
    return stack.Used();
}

void MeasureStack() {
    constexpr std::size_t kShallow = 50;
    constexpr std::size_t kDeep = 1050;
    const std::size_t shallow = MeasuredUse(Nested(kShallow, ""));
    const std::size_t deep = MeasuredUse(Nested(kDeep, ""));
    model.perLevel = (deep - shallow + (kDeep - kShallow) - 1) / (kDeep - kShallow);
    // Work at the deepest level, and the levels open while it runs (known, not counted).
    struct Leaf {
        const char* text;
        std::size_t levels;
    };
    const Leaf leaves[] = {
        {"", 3},
        {"<b c='&#x110000;'/>", 4},
        {"<b c='x&amp;&#65;&#x1F600;' d=\"&quot;\"/>", 4},
        {"x&amp;&lt;&#x1F600;<b/>", 4},
        {"&#x110000;", 3},
        {"&#65", 3},
        {"<?pi x?><!--c--><![CDATA[x]]><!DOCTYPE d [<!ENTITY e 'f'>]><!x>", 3},
        {"</b c>", 3},
        {"<b c=>", 4},
        {"<", 4},
    };
    for (const Leaf& leaf : leaves) {
        const std::size_t levels = leaf.levels;
        const std::size_t used = MeasuredUse(Nested(3, leaf.text));
        model.fixed = std::max(model.fixed, used - std::min(used, levels * model.perLevel));
    }
    model.fixed += kMarginBytes;
    std::fprintf(stderr, "nesting fuzz: %zu bytes per level, %zu fixed (margin %zu included)\n",
                 model.perLevel, model.fixed, kMarginBytes);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MeasureStack();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t levels = qm::DeepestElementNesting(text.c_str());
    const std::size_t bytes = std::max<std::size_t>(model.fixed + levels * model.perLevel,
                                                    static_cast<std::size_t>(PTHREAD_STACK_MIN));
    GuardedStack stack(bytes);
    const ParseRun run = ParseOn(stack, std::move(text));
    Require(!run.parsed || run.deepest == levels, "a parsed text nests as deep as counted");
    return 0;
}
