#include "net/Connection.h"

#include "net/NetError.h"
#include "net/TcpServer.h"

#include <cerrno>
#include <exception>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {
// Hands the exception being handled to the server's owner, which logs it;
// the connection then ends as if the client had left.
void reportException(TcpServer& server, const char* handler) {
    if (!server.OnException)
        return;
    try {
        throw;
    } catch (const std::exception& error) {
        server.OnException(handler, error.what());
    } catch (...) {
        server.OnException(handler, "an exception of unknown type");
    }
}
} // namespace

Connection::Connection(Socket socket, int writeTimeoutMs)
    : socket_(std::move(socket))
    , writeTimeoutMs_(writeTimeoutMs) {}

Connection::~Connection() {
    disconnect();
    if (thread_.joinable())
        thread_.join();
}

void Connection::writeBuffer(const void* data, std::size_t size) {
    if (const int error = tryWriteBuffer(data, size))
        throw SocketError(error == ETIMEDOUT ? "Socket write timed out."
                                             : "Socket write failed. " + systemText(error));
}

int Connection::tryWriteBuffer(const void* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::lock_guard write(writeMutex_);
    std::shared_lock fd(fdLock_);
    if (ended_ || !socket_.valid())
        return EPIPE;
    const int error = sendAll(socket_.fd(), data, size, writeTimeoutMs_);
    if (error) {
        // A partial block has broken the stream for good: end the connection.
        ended_ = true;
        ::shutdown(socket_.fd(), SHUT_RDWR);
    }
    return error;
}

void Connection::disconnect() {
    std::shared_lock fd(fdLock_);
    ended_ = true;
    if (socket_.valid())
        ::shutdown(socket_.fd(), SHUT_RD);
}

bool Connection::waitForClient() {
    if (ended_)
        return false;
    pollfd p{socket_.fd(), POLLIN, 0};
    const int ready = ::poll(&p, 1, -1);
    if (ready < 0)
        return errno == EINTR && !ended_;
    if (p.revents & (POLLERR | POLLNVAL))
        return false;
    // The relay never reads what a client sends; it is drained so that the
    // end of the connection can be seen.
    char discard[4096];
    const ssize_t n = ::recv(socket_.fd(), discard, sizeof discard, MSG_DONTWAIT);
    if (n == 0)
        return false;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return false;
    return !ended_;
}

void Connection::run(TcpServer& server) {
    bool connected = true;
    try {
        // Joins the stream before the connect handler lists the client, so
        // that every block sent once the client is listed reaches it.
        server.fanOut_.add(receiver_, socket_.fd());
        if (server.OnConnect)
            server.OnConnect(*this);
    } catch (...) {
        connected = false;
        reportException(server, "connect");
    }
    try {
        while (connected && waitForClient()) {
            if (server.OnExecute)
                server.OnExecute(*this);
        }
    } catch (...) {
        reportException(server, "execute");
    }
    ended_ = true;
    try {
        if (server.OnDisconnect)
            server.OnDisconnect(*this);
    } catch (...) {
        reportException(server, "disconnect");
    }
    server.fanOut_.remove(receiver_, kFinishBlockMs);
    {
        std::unique_lock fd(fdLock_);
        socket_.close();
    }
    finished_ = true;
    server.wake();
}

} // namespace net
