#include "net/TcpServer.h"

#include "net/NetError.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace net {

TcpServer::~TcpServer() {
    setActive(false);
}

void TcpServer::setActive(bool active) {
    if (active == active_)
        return;
    if (active)
        activate();
    else
        deactivate();
}

void TcpServer::activate() {
    const int port = Bindings.Port ? Bindings.Port : DefaultPort;
    listener_ = listen(Bindings.IP, port);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        listener_.close();
        throw SocketError("Could not create event. " + systemText(errno));
    }
    stopping_ = false;
    acceptPauseMs_ = 0;
    fanOut_.wake = [this] { wake(); };
    fanOut_.start(SendQueueBlocks, MaxBlockSize);
    listenThread_ = std::thread([this] { listenLoop(); });
    active_ = true;
}

void TcpServer::deactivate() {
    stopping_ = true;
    wake();
    if (listenThread_.joinable())
        listenThread_.join();
    fanOut_.stop();
    listener_.close();

    std::list<std::unique_ptr<Connection>> peers;
    {
        std::lock_guard lock(peersMutex_);
        peers.swap(peers_);
    }
    for (auto& peer : peers)
        peer->disconnect();
    peers.clear(); // each destructor joins its thread, after its disconnect handler

    ::close(wakeFd_);
    wakeFd_ = -1;
    active_ = false;
}

int TcpServer::threadCount() {
    std::lock_guard lock(peersMutex_);
    return int(peers_.size());
}

int TcpServer::servedCount() {
    std::lock_guard lock(peersMutex_);
    return int(std::count_if(peers_.begin(), peers_.end(),
                             [](const auto& peer) { return !peer->ended_; }));
}

void TcpServer::wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

void TcpServer::sendToAll(const void* data, std::size_t size) {
    fanOut_.push(data, size);
}

void TcpServer::listenLoop() {
    std::vector<pollfd> fds;
    while (!stopping_) {
        const int pauseLeft = acceptPauseLeft();
        const int idleLeft = fanOut_.dropIdle(IdleLimitMs);
        int timeout = pauseLeft > 0 ? pauseLeft : -1;
        if (idleLeft >= 0 && (timeout < 0 || idleLeft < timeout))
            timeout = idleLeft;
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        if (pauseLeft == 0)
            fds.push_back({listener_.fd(), POLLIN, 0});
        const std::size_t firstClient = fds.size();
        fanOut_.appendPollFds(fds);
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        fanOut_.afterPoll(fds.data() + firstClient, fds.size() - firstClient);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
            reapFinished();
        }
        if (!stopping_ && pauseLeft == 0 && (fds[1].revents & POLLIN))
            accept();
        fanOut_.sendPending();
    }
}

int TcpServer::acceptPauseLeft() const {
    if (acceptPauseMs_ == 0)
        return 0;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        acceptResumes_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

void TcpServer::pauseAccepting() {
    acceptPauseMs_ = acceptPauseMs_ == 0 ? 100 : std::min(2 * acceptPauseMs_, 1000);
    acceptResumes_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(acceptPauseMs_);
}

void TcpServer::accept() {
    const int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        // Retrying at once would find the same pending connection and fail
        // again: a busy loop until a descriptor comes free.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            pauseAccepting();
        return; // else the client gave up already
    }
    acceptPauseMs_ = 0;
    Socket socket(fd);
    reapFinished();
    // Full: refused (closed at once), unless the idlest connection makes room.
    if (MaxConnections > 0 && servedCount() >= MaxConnections &&
        !(MakeRoomWhenFull && fanOut_.dropIdlest()))
        return;
    auto peer = std::make_unique<Connection>(std::move(socket), WriteTimeoutMs);
    Connection* raw = peer.get();
    std::lock_guard lock(peersMutex_);
    try {
        raw->thread_ = std::thread([this, raw] { raw->run(*this); });
    } catch (const std::system_error&) {
        return; // no thread to serve it: closed at once
    }
    peers_.push_back(std::move(peer));
}

void TcpServer::reapFinished() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(peersMutex_);
        for (auto it = peers_.begin(); it != peers_.end();) {
            auto next = std::next(it);
            if ((*it)->finished())
                finished.splice(finished.end(), peers_, it);
            it = next;
        }
    }
    finished.clear(); // joins threads that have already ended
}

} // namespace net
