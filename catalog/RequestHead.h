#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The header block of a request, checked before any worker sees it: it must
// end within kMaxBytes and kMaxLines, and the service only reads what it needs
// to route and to refuse (method, target, Host, whether a body follows).
struct RequestHead {
    static constexpr size_t kMaxBytes = 64 * 1024;
    static constexpr int kMaxLines = 100;

    enum class Progress { Incomplete, Complete, TooLarge };
    // Whether what has arrived so far holds the whole block; length is then
    // its size including the blank line that ends it.
    static Progress check(std::string_view received, size_t& length);
    // Nothing when the request line or a header line is malformed.
    static std::optional<RequestHead> parse(std::string_view block);

    std::string method;
    std::string target;
    std::string host; // empty when there is none
    int hostCount = 0;
    bool hasBody = false; // Content-Length other than 0, or Transfer-Encoding
};

// Whether a Host value names this service on loopback: 127.0.0.1, localhost or
// [::1], with its port. Anything else may be a name rebound to 127.0.0.1 by a
// web page, which must not read the catalogue.
bool isLoopbackHost(std::string_view host, int port);
