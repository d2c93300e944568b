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
void ReportException(TcpServer& server, const char* handler) {
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
    Disconnect();
    if (thread_.joinable())
        thread_.join();
}

void Connection::WriteBuffer(const void* data, std::size_t size) {
    if (const int error = TryWriteBuffer(data, size))
        throw SocketError(error == ETIMEDOUT ? "Socket write timed out."
                                             : "Socket write failed. " + SystemText(error));
}

int Connection::TryWriteBuffer(const void* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::lock_guard write(writeMutex_);
    std::shared_lock fd(fdLock_);
    if (ended_ || !socket_.Valid())
        return EPIPE;
    const int error = SendAll(socket_.Fd(), data, size, writeTimeoutMs_);
    if (error) {
        // A partial block has broken the stream for good: end the connection.
        ended_ = true;
        ::shutdown(socket_.Fd(), SHUT_RDWR);
    }
    return error;
}

void Connection::Disconnect() {
    std::shared_lock fd(fdLock_);
    ended_ = true;
    if (socket_.Valid())
        ::shutdown(socket_.Fd(), SHUT_RD);
}

bool Connection::WaitForClient() {
    if (ended_)
        return false;
    pollfd p{socket_.Fd(), POLLIN, 0};
    const int ready = ::poll(&p, 1, -1);
    if (ready < 0)
        return errno == EINTR && !ended_;
    if (p.revents & (POLLERR | POLLNVAL))
        return false;
    // The relay never reads what a client sends; it is drained so that the
    // end of the connection can be seen.
    char discard[4096];
    const ssize_t n = ::recv(socket_.Fd(), discard, sizeof discard, MSG_DONTWAIT);
    if (n == 0)
        return false;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return false;
    return !ended_;
}

void Connection::Run(TcpServer& server) {
    bool connected = true;
    try {
        // Joins the stream before the connect handler lists the client, so
        // that every block sent once the client is listed reaches it.
        server.fanOut_.Add(receiver_, socket_.Fd());
        if (server.OnConnect)
            server.OnConnect(*this);
    } catch (...) {
        connected = false;
        ReportException(server, "connect");
    }
    try {
        while (connected && WaitForClient()) {
            if (server.OnExecute)
                server.OnExecute(*this);
        }
    } catch (...) {
        ReportException(server, "execute");
    }
    ended_ = true;
    try {
        if (server.OnDisconnect)
            server.OnDisconnect(*this);
    } catch (...) {
        ReportException(server, "disconnect");
    }
    server.fanOut_.Remove(receiver_, kFinishBlockMs);
    {
        std::unique_lock fd(fdLock_);
        socket_.Close();
    }
    finished_ = true;
    server.Wake();
}

} // namespace net
