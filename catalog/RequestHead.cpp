#include "catalog/RequestHead.h"

#include <algorithm>
#include <cctype>

namespace {

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

RequestHead::Progress RequestHead::check(std::string_view received, size_t& length) {
    // Lines end in "\n" (with or without "\r"); an empty line ends the block.
    int lines = 0;
    size_t start = 0;
    for (size_t end; (end = received.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        const std::string_view line = received.substr(start, end - start);
        if (line.empty() || line == "\r") {
            length = end + 1;
            return length > kMaxBytes ? Progress::TooLarge : Progress::Complete;
        }
        if (++lines > kMaxLines)
            return Progress::TooLarge;
    }
    return received.size() >= kMaxBytes ? Progress::TooLarge : Progress::Incomplete;
}

std::optional<RequestHead> RequestHead::parse(std::string_view block) {
    RequestHead head;
    size_t end = block.find('\n');
    const std::string_view requestLine = trim(block.substr(0, end));
    const size_t space = requestLine.find(' ');
    const size_t secondSpace = requestLine.rfind(' ');
    if (space == std::string_view::npos || secondSpace == space ||
        !requestLine.substr(secondSpace + 1).starts_with("HTTP/1."))
        return std::nullopt;
    head.method = requestLine.substr(0, space);
    head.target = requestLine.substr(space + 1, secondSpace - space - 1);
    if (head.method.empty() || head.target.empty())
        return std::nullopt;
    for (size_t start = end + 1; start < block.size(); start = end + 1) {
        end = block.find('\n', start);
        const std::string_view line = trim(block.substr(start, end - start));
        if (line.empty())
            break;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return std::nullopt;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trim(line.substr(colon + 1));
        if (sameWord(name, "Host")) {
            head.host = value;
            ++head.hostCount;
        } else if (sameWord(name, "Transfer-Encoding") ||
                   (sameWord(name, "Content-Length") && value != "0")) {
            head.hasBody = true;
        }
    }
    return head;
}

bool isLoopbackHost(std::string_view host, int port) {
    const size_t colon = host.rfind(':');
    if (colon == std::string_view::npos || host.substr(colon + 1) != std::to_string(port))
        return false;
    const std::string_view name = host.substr(0, colon);
    return name == "127.0.0.1" || name == "[::1]" || sameWord(name, "localhost");
}
