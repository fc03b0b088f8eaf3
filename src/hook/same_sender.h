// Ctrl + wheel: move the message list's selection to the nearest message
// above or below that has the same sender as the selected one.
#pragma once
#include <windows.h>

#include <cstdlib>

// A sender key: a NUL-terminated CP932 string on the C heap, owned by its
// holder and freed with it. Empty (null) when a message has no sender.
class SenderKey {
public:
    SenderKey() = default;
    explicit SenderKey(char* text) : text_(text) {}
    SenderKey(SenderKey&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    SenderKey& operator=(SenderKey&& other) noexcept {
        if (this != &other) {
            std::free(text_);
            text_ = other.text_;
            other.text_ = nullptr;
        }
        return *this;
    }
    SenderKey(const SenderKey&) = delete;
    SenderKey& operator=(const SenderKey&) = delete;
    ~SenderKey() { std::free(text_); }

    const char* Get() const { return text_; }
    explicit operator bool() const { return text_ != nullptr; }

private:
    char* text_ = nullptr;
};

// Status-bar texts of the navigation.
constexpr char kStatusNoSender[] = "'From' is not found.";
constexpr char kStatusFound[] = "";
constexpr char kStatusNotFound[] = "not found";
// Size of the buffer the host writes the selected message's path into.
constexpr int kMessagePathSize = 261;

// The Ctrl + wheel handler: walks up for delta > 0, down otherwise, and
// reports the outcome on the host's status bar.
void NavigateSameSender(int delta);
// Walks the list from item start, one item at a time, until a message with
// this sender is focused and selected. False, with start selected again,
// when the end of the list is reached first.
bool FindSameSender(int start, const char* sender, bool up);
// The first "From:" of text (code page 932 aware; a match never starts on a
// trail byte), or null.
const char* FindFromHeader(const char* text);
// The address in angle brackets of text's "From:" value, else the whole
// value; empty when there is no "From:", its value has no CRLF after it, or
// a "<" has no ">".
SenderKey ExtractSender(const char* text);
// The CRLF that ends the header value starting at s: the first one not
// followed by a space or a tab. Null when the text ends first.
const char* FindHeaderEnd(const char* s);
// Switches the drawing of the list, the status bar, the view and the view's
// later siblings off (true) or back on with one repaint (false).
void FreezePanes(bool freeze);
