#include "net/Socket.h"

#include "net/NetError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

std::string systemText(int error) {
    char buffer[256];
    // GNU strerror_r returns the text (which may not be in buffer).
    return strerror_r(error, buffer, sizeof buffer);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

int Socket::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Socket::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

namespace {

sockaddr_in socketAddress(const std::string& ip, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1)
        throw SocketError("Invalid IP address: " + ip);
    return address;
}

} // namespace

Socket listen(const std::string& ip, int port, int backlog) {
    const sockaddr_in address = socketAddress(ip, port);
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        throw SocketError("Could not create socket. " + systemText(errno));
    const int on = 1;
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw SocketError("Could not bind socket. " + systemText(errno));
    if (::listen(socket.fd(), backlog) != 0)
        throw SocketError("Could not listen on socket. " + systemText(errno));
    return socket;
}

Socket connect(const std::string& ip, int port) {
    const sockaddr_in address = socketAddress(ip, port);
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        throw SocketError("Could not create socket. " + systemText(errno));
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw SocketError("Could not connect. " + systemText(errno));
    return socket;
}

int sendAll(int fd, const void* data, std::size_t size, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes += sent;
            size -= std::size_t(sent);
            continue;
        }
        if (sent == 0)
            return EPIPE;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return ETIMEDOUT;
            wait = int(left.count());
        }
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)))
            return EPIPE;
    }
    return 0;
}

} // namespace net
