#pragma once

#include <cstddef>
#include <string>
#include <sys/socket.h>

// A TCP socket descriptor owned by one object; closed with it.
namespace net {

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd)
        : fd_(fd) {}
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept
        : fd_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void close();

private:
    int fd_ = -1;
};

// A listening socket bound to ip:port (SO_REUSEADDR, close-on-exec). Throws
// SocketError "Could not bind socket. <system text>" when the address is taken.
// The queue is as deep as the system allows: when many clients connect at once
// (players reconnecting after a restart), those beyond a short queue would
// wait for the kernel's SYN retries, one to fifteen seconds and more.
Socket listen(const std::string& ip, int port, int backlog = SOMAXCONN);

// A client connection to ip:port; throws SocketError when refused.
Socket connect(const std::string& ip, int port);

// Sends the whole buffer, waiting at most timeoutMs in all for room in the
// socket (timeoutMs < 0: no limit). Never raises SIGPIPE, never allocates.
// 0 when all was sent, else the errno value (ETIMEDOUT when the time ran out,
// EPIPE when closed); the bytes sent until then are gone.
int sendAll(int fd, const void* data, std::size_t size, int timeoutMs);

} // namespace net
