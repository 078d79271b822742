// The node scanner: one function per construct over a zero-terminated buffer.
#include "xml/node_scanner.h"

#include "xml/xml_chars.h"
#include "xml/xml_messages.h"

namespace qm {

namespace {

// Scanner state bits.
constexpr uint32_t AfterLt = 0x1;
constexpr uint32_t AfterBang = 0x2;
constexpr uint32_t AfterBangDash = 0x4;
constexpr uint32_t AfterBangBracket = 0x8;
constexpr uint32_t InWhitespace = 0x10;
constexpr uint32_t InDocType = 0x20;
constexpr uint32_t InSingleQuote = 0x40;
constexpr uint32_t InDoubleQuote = 0x80;
constexpr uint32_t InQuote = InSingleQuote | InDoubleQuote;

// The delimiter that closes a node once its kind is known; "" means none yet.
struct Terminator {
    const char* text = "";
    int32_t length = 0;
};
constexpr Terminator kNoTerminator{"", 0};
constexpr Terminator kLt{"<", 1};
constexpr Terminator kGt{">", 1};
constexpr Terminator kPiEnd{"?>", 2};
constexpr Terminator kCommentEnd{"-->", 3};
constexpr Terminator kCDataEnd{"]]>", 3};

// Characters that stop a run of characters the scan has nothing to do with, per situation.
// Skipping such runs in a tight loop gives the same result as stepping through them.
constexpr uint8_t kNameStop = 0x1;   // end of a name: whitespace, '/', '>'
constexpr uint8_t kTextStop = 0x2;   // text: '<', '>'
constexpr uint8_t kMarkupStop = 0x4; // end tag, comment, processing instruction, CDATA: '>'
constexpr uint8_t kTagStop = 0x8;    // start tag after its name: quotes, '>'

struct StopTable {
    uint8_t bits[256];
};

constexpr StopTable MakeStopTable() {
    StopTable table{};
    table.bits[0] = kNameStop | kTextStop | kMarkupStop | kTagStop; // the terminator
    for (const unsigned char ch : {' ', '\t', '\n', '\r', '/'}) {
        table.bits[ch] |= kNameStop;
    }
    table.bits[static_cast<unsigned char>('>')] |= kNameStop | kTextStop | kMarkupStop | kTagStop;
    table.bits[static_cast<unsigned char>('<')] |= kTextStop;
    table.bits[static_cast<unsigned char>('"')] |= kTagStop;
    table.bits[static_cast<unsigned char>('\'')] |= kTagStop;
    return table;
}

constexpr StopTable kStops = MakeStopTable();

bool IsEmptyTagLead(char ch) {
    return ch == '\0' || IsXmlWhitespace(ch) || ch == '\'' || ch == '"';
}

const char* UnterminatedWord(int32_t kind, uint32_t state) {
    if ((state & InDocType) != 0 || kind == NodeDocType) {
        return "Doctype";
    }
    switch (kind) {
    case NodeElement:
        return "Element tag";
    case NodeEndTag:
        return "Element end tag";
    case NodeCData:
        return "CDATA Section";
    case NodeProcessingInstruction:
        return "Processing instruction";
    case NodeComment:
        return "Comment";
    default:
        return "tag";
    }
}

// The mutable state of one scan; one member function per step.
class NodeScan {
public:
    NodeScan(TokenCursor& cursor, NodeInfo& node)
        : cursor_(cursor), node_(node), doc_(cursor.doc), start_(cursor.next),
          errorOffset_(cursor.next) {}

    int32_t Run() {
        node_.start = start_;
        node_.nodeFlags = 0;
        if (doc_[start_] == '\0') {
            node_.length = 0;
            node_.type = 0;
            return NodeEnd;
        }
        for (int32_t k = start_;; ++k) {
            k = SkipQuiet(k);
            const char ch = doc_[k];
            if (ch == '\0') {
                return FinishUnterminated(k - 1);
            }
            if (nameStart_ != 0 && !EndName(ch, k)) {
                continue;
            }
            const bool ended = terminator_.length != 0 ? InsideNode(ch, k) : BeforeKind(ch, k);
            if (ended) {
                return Finish(endAt_);
            }
        }
    }

private:
    int32_t SkipTo(int32_t k, uint8_t stops) const {
        while ((kStops.bits[static_cast<unsigned char>(doc_[k])] & stops) == 0) {
            ++k;
        }
        return k;
    }

    // Moves past characters that would change nothing but the last two characters seen.
    int32_t SkipQuiet(int32_t k) {
        if (nameStart_ != 0) {
            return SkipTo(k, kNameStop);
        }
        if (terminator_.length == 0) {
            if (state_ == InWhitespace) {
                while (IsXmlWhitespace(doc_[k])) {
                    ++k;
                }
            }
            return k;
        }
        switch (kind_) {
        case NodeText:
            return SkipTo(k, kTextStop);
        case NodeEndTag:
        case NodeComment:
        case NodeProcessingInstruction:
        case NodeCData:
            return SkipTo(k, kMarkupStop);
        case NodeElement: {
            const int32_t stop = SkipTo(k, kTagStop);
            if (stop - k >= 2) {
                prevChar_ = doc_[stop - 2];
                lastChar_ = doc_[stop - 1];
            } else if (stop - k == 1) {
                prevChar_ = lastChar_;
                lastChar_ = doc_[stop - 1];
            }
            return stop;
        }
        default:
            return k;
        }
    }

    // Step 1: false while the character still belongs to the name being collected.
    bool EndName(char ch, int32_t k) {
        if (!IsXmlWhitespace(ch) && ch != '/' && ch != '>') {
            return false;
        }
        if (kind_ == NodeEndTag) {
            cursor_.left = nameStart_;
            cursor_.right = k - 1;
        } else {
            node_.text.assign(doc_ + nameStart_, static_cast<size_t>(k - nameStart_));
        }
        nameStart_ = 0;
        lastChar_ = 0;
        prevChar_ = 0;
        return true;
    }

    // Step 2: the terminator is known. True when the node ends (at endAt_).
    bool InsideNode(char ch, int32_t k) {
        if (ch == '>' && (state_ & InQuote) == 0) {
            if (terminator_.length == 1) {
                if (kind_ == NodeElement && lastChar_ == '/' && IsEmptyTagLead(prevChar_)) {
                    node_.nodeFlags |= NodeEmptyElement;
                }
            } else if (!TerminatorPrecedes(k)) {
                return false;
            }
            terminator_ = kNoTerminator;
            // A nested declaration ended; an error ends the whole node so that it is reported.
            if ((state_ & InDocType) != 0 && kind_ != NodeError) {
                errorOffset_ = k;
                return false;
            }
            return EndAt(k);
        }
        if (ch == '<' && (kind_ == NodeText || kind_ == NodeError)) {
            return EndAt(k - 1);
        }
        if (kind_ == NodeElement || kind_ == NodeDocType || kind_ == NodeError) {
            if (ch == '"' && (state_ & InSingleQuote) == 0) {
                state_ ^= InDoubleQuote;
            } else if (ch == '\'' && (state_ & InDoubleQuote) == 0) {
                state_ ^= InSingleQuote;
            }
        }
        if (kind_ == NodeElement) {
            prevChar_ = lastChar_;
            lastChar_ = ch;
        }
        return false;
    }

    // "?>", "-->" and "]]>" count only past the node's own opening characters, so that the
    // result does not depend on where the node sits in the text.
    bool TerminatorPrecedes(int32_t k) const {
        const int32_t lead = terminator_.length - 1;
        if (k - start_ <= terminator_.length) {
            return false;
        }
        for (int32_t i = 0; i < lead; ++i) {
            if (doc_[k - lead + i] != terminator_.text[i]) {
                return false;
            }
        }
        return true;
    }

    // Step 3: the kind is not settled yet. True when the node ends.
    bool BeforeKind(char ch, int32_t k) {
        if (state_ == 0) {
            FirstChar(ch);
        } else if ((state_ & InWhitespace) != 0) {
            if (ch == '<') {
                return EndAt(k - 1);
            }
            if (!IsXmlWhitespace(ch)) {
                state_ &= ~InWhitespace;
                kind_ = NodeText;
                terminator_ = kLt;
            }
        } else if ((state_ & AfterLt) != 0) {
            state_ &= ~AfterLt;
            AfterOpen(ch, k);
        } else if ((state_ & AfterBang) != 0) {
            state_ &= ~AfterBang;
            AfterOpenBang(ch);
        } else if ((state_ & AfterBangDash) != 0) {
            state_ &= ~AfterBangDash;
            if (ch == '-') {
                kind_ = NodeComment;
                terminator_ = kCommentEnd;
            } else {
                Fail("comment tag");
            }
        } else if ((state_ & AfterBangBracket) != 0) {
            state_ &= ~AfterBangBracket;
            if (ch == 'C') {
                kind_ = NodeCData;
                terminator_ = kCDataEnd;
            } else {
                Fail("tag");
            }
        } else if ((state_ & InDocType) != 0) {
            if (ch == '<') {
                state_ |= AfterLt;
            } else if (ch == '>') {
                kind_ = NodeDocType;
                return EndAt(k);
            }
        }
        return false;
    }

    void FirstChar(char ch) {
        if (ch == '<') {
            state_ |= AfterLt;
            return;
        }
        kind_ = NodeWhitespace;
        if (IsXmlWhitespace(ch)) {
            state_ |= InWhitespace;
        } else {
            kind_ = NodeText;
            terminator_ = kLt;
        }
    }

    void AfterOpen(char ch, int32_t k) {
        if (IsNameStartChar(ch)) {
            kind_ = NodeElement;
            terminator_ = kGt;
            nameStart_ = k;
        } else if (ch == '/') {
            kind_ = NodeEndTag;
            terminator_ = kGt;
            nameStart_ = k + 1;
        } else if (ch == '!') {
            state_ |= AfterBang;
        } else if (ch == '?') {
            kind_ = NodeProcessingInstruction;
            terminator_ = kPiEnd;
            nameStart_ = k + 1;
        } else {
            Fail("tag name character");
        }
    }

    void AfterOpenBang(char ch) {
        const bool inDocType = (state_ & InDocType) != 0;
        if (ch == '-') {
            state_ |= AfterBangDash;
        } else if (ch == '[' && !inDocType) {
            state_ |= AfterBangBracket;
        } else if (ch == 'D' && !inDocType) {
            state_ |= InDocType;
        } else {
            terminator_ = kGt;
            if (ch == 'E' || ch == 'A' || ch == 'N') {
                kind_ = NodeDocType;
            } else {
                Fail("! tag");
            }
        }
    }

    // The offending character belongs to the error node; the scan runs on to the next '>'
    // outside quotes or to just before the next '<'.
    void Fail(const char* word) {
        node_.text = FormatXmlMessage(xml_message::kIncorrect, {word, errorOffset_});
        kind_ = NodeError;
        terminator_ = kGt;
    }

    bool EndAt(int32_t end) {
        endAt_ = end;
        return true;
    }

    int32_t FinishUnterminated(int32_t last) {
        if (kind_ != NodeWhitespace && kind_ != NodeText) {
            node_.text = FormatXmlMessage(xml_message::kUnterminated,
                                          {UnterminatedWord(kind_, state_), start_});
            kind_ = NodeError;
        }
        return Finish(last);
    }

    int32_t Finish(int32_t end) {
        node_.length = end + 1 - start_;
        node_.type = kind_;
        cursor_.next = end + 1;
        return kind_;
    }

    TokenCursor& cursor_;
    NodeInfo& node_;
    const char* const doc_;
    const int32_t start_;
    int32_t kind_ = NodeError; // undecided
    uint32_t state_ = 0;
    Terminator terminator_ = kNoTerminator;
    int32_t nameStart_ = 0; // 0: no name being collected (a name never starts at offset 0)
    char lastChar_ = 0;
    char prevChar_ = 0;
    int32_t errorOffset_;
    int32_t endAt_ = 0;
};

} // namespace

int32_t ScanNode(TokenCursor& cursor, NodeInfo& node) {
    return NodeScan(cursor, node).Run();
}

} // namespace qm
