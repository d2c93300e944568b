#pragma once

#include <stdexcept>
#include <string>

// Errors raised by the network library: a socket that cannot be bound, a write
// to a closed or broken connection, a write that timed out.
namespace net {

struct SocketError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The system's text for an errno value.
std::string systemText(int error);

} // namespace net
