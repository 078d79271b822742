#pragma once
// Every message the reader records, and the one place where they are formatted.
#include <cstdint>
#include <initializer_list>
#include <string>

namespace qm {

namespace xml_message {
constexpr const char* kEmptyDocument = "Empty document";
constexpr const char* kDocumentTooLarge = "Document too large";
constexpr const char* kNoRootElement = "No root element";
constexpr const char* kRootHasSibling = "Root element has sibling";
constexpr const char* kNoStartTag = "No start tag for end tag '%s' at offset %d";
constexpr const char* kEndTagMismatch =
    "End tag '%s' at offset %d does not match start tag '%s' at offset %d";
constexpr const char* kNotEnded = "Element '%s' at offset %d not ended";
constexpr const char* kIncorrect = "Incorrect %s at offset %d";
constexpr const char* kUnterminated = "%s at offset %d unterminated";
} // namespace xml_message

// One argument: a text for "%s" or a number for "%d".
class XmlMessageArg {
public:
    XmlMessageArg(std::string text) : text_(std::move(text)) {}
    XmlMessageArg(const char* text) : text_(text) {}
    XmlMessageArg(int32_t number) : text_(std::to_string(number)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Fills "%s" and "%d" in order; a placeholder without an argument stays as it is.
std::string FormatXmlMessage(const char* pattern, std::initializer_list<XmlMessageArg> args);

} // namespace qm
