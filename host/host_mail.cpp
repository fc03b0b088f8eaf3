// What the message list shows of a message: read from its header lines.
#include <cctype>

#include "host_internal.h"

namespace host {

namespace {

// The unfolded value of the first header line with this name (any letter
// case), or "" when the header has no such line.
std::string HeaderValue(const std::string& text, const std::string& name) {
    size_t headerEnd = text.find("\r\n\r\n");
    if (headerEnd == std::string::npos) headerEnd = text.size();
    size_t line = 0;
    while (line < headerEnd) {
        size_t eol = text.find("\r\n", line);
        if (eol == std::string::npos) eol = text.size();
        bool match = eol - line > name.size() && text[line + name.size()] == ':';
        for (size_t i = 0; match && i < name.size(); ++i)
            match = std::tolower(static_cast<unsigned char>(text[line + i])) ==
                    std::tolower(static_cast<unsigned char>(name[i]));
        if (match) {
            std::string value = text.substr(line + name.size() + 1, eol - line - name.size() - 1);
            // Continuation lines start with a blank.
            while (eol + 2 < text.size() && (text[eol + 2] == ' ' || text[eol + 2] == '\t')) {
                size_t next = text.find("\r\n", eol + 2);
                if (next == std::string::npos) next = text.size();
                value.append(" ").append(text, eol + 3, next - eol - 3);
                eol = next;
            }
            size_t first = value.find_first_not_of(" \t");
            size_t last = value.find_last_not_of(" \t");
            return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
        }
        line = eol + 2;
    }
    return std::string();
}

// "Display Name <address>" shows the name, a bare address shows itself.
std::string SenderShown(const std::string& from) {
    size_t lt = from.find('<');
    if (lt == std::string::npos) return from;
    std::string name = from.substr(0, lt);
    size_t last = name.find_last_not_of(" \t\"");
    size_t first = name.find_first_not_of(" \t\"");
    if (first == std::string::npos) {
        size_t gt = from.find('>', lt);
        return from.substr(lt + 1, gt == std::string::npos ? std::string::npos : gt - lt - 1);
    }
    return name.substr(first, last - first + 1);
}

}  // namespace

ListEntry DescribeMessage(const MailMessage& message) {
    ListEntry entry;
    entry.subject = message.subject.empty() ? HeaderValue(message.text, "Subject") : message.subject;
    entry.from = SenderShown(HeaderValue(message.text, "From"));
    entry.date = HeaderValue(message.text, "Date");
    return entry;
}

}  // namespace host
