#pragma once
// The program's error exception: a complete message for the user. Its what() is the message in
// the thread's ANSI code page; the box and the log take text(), every character as formatted.
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace qm {

class UserError : public std::runtime_error {
public:
    explicit UserError(const std::wstring& text);
    const std::wstring& text() const { return text_; }

private:
    std::wstring text_;
};

// What a failure says: a UserError's whole text, else what() read in the thread's code page.
std::wstring MessageOf(const std::exception& error);

// One argument of a message pattern: a wide text for "%s" or a number for "%d".
class MessageArg {
public:
    MessageArg(const std::wstring& text) : text_(text) {}
    MessageArg(const wchar_t* text) : text_(text) {}
    MessageArg(long number) : text_(std::to_wstring(number)) {}
    MessageArg(int number) : text_(std::to_wstring(number)) {}
    // Error codes are DWORDs; "%d" shows them as signed 32-bit values.
    MessageArg(unsigned long number) : text_(std::to_wstring(static_cast<int32_t>(number))) {}
    const std::wstring& text() const { return text_; }

private:
    std::wstring text_;
};

// Fills "%s" and "%d" in order with the arguments, as printf would ("%d" of an error code is
// its signed 32-bit value); "%%" gives "%".
std::wstring FormatUserMessage(const std::wstring& pattern, std::initializer_list<MessageArg> args);

// A failure's message for path and code: the path fills a "%s" when the pattern has one.
std::wstring FailureMessage(const wchar_t* pattern, const std::wstring& path, unsigned long code);

// Formats the message and throws it as UserError.
[[noreturn]] void ThrowUserError(const std::wstring& pattern,
                                 std::initializer_list<MessageArg> args);

} // namespace qm
