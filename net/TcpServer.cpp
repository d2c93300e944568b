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
    SetActive(false);
}

void TcpServer::SetActive(bool active) {
    if (active == active_)
        return;
    if (active)
        Activate();
    else
        Deactivate();
}

void TcpServer::Activate() {
    const int port = Bindings.Port ? Bindings.Port : DefaultPort;
    listener_ = Listen(Bindings.IP, port);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        listener_.Close();
        throw SocketError("Could not create event. " + SystemText(errno));
    }
    stopping_ = false;
    acceptPauseMs_ = 0;
    fanOut_.Wake = [this] { Wake(); };
    fanOut_.Start(SendQueueBlocks, MaxBlockSize);
    listenThread_ = std::thread([this] { ListenLoop(); });
    active_ = true;
}

void TcpServer::Deactivate() {
    stopping_ = true;
    Wake();
    if (listenThread_.joinable())
        listenThread_.join();
    fanOut_.Stop();
    listener_.Close();

    std::list<std::unique_ptr<Connection>> peers;
    {
        std::lock_guard lock(peersMutex_);
        peers.swap(peers_);
    }
    for (auto& peer : peers)
        peer->Disconnect();
    peers.clear(); // each destructor joins its thread, after its disconnect handler

    ::close(wakeFd_);
    wakeFd_ = -1;
    active_ = false;
}

int TcpServer::ThreadCount() {
    std::lock_guard lock(peersMutex_);
    return int(peers_.size());
}

int TcpServer::ServedCount() {
    std::lock_guard lock(peersMutex_);
    return int(std::count_if(peers_.begin(), peers_.end(),
                             [](const auto& peer) { return !peer->ended_; }));
}

void TcpServer::Wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

void TcpServer::SendToAll(const void* data, std::size_t size) {
    fanOut_.Push(data, size);
}

void TcpServer::ListenLoop() {
    std::vector<pollfd> fds;
    while (!stopping_) {
        const int pauseLeft = AcceptPauseLeft();
        const int idleLeft = fanOut_.DropIdle(IdleLimitMs);
        int timeout = pauseLeft > 0 ? pauseLeft : -1;
        if (idleLeft >= 0 && (timeout < 0 || idleLeft < timeout))
            timeout = idleLeft;
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        if (pauseLeft == 0)
            fds.push_back({listener_.Fd(), POLLIN, 0});
        const std::size_t firstClient = fds.size();
        fanOut_.AppendPollFds(fds);
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        fanOut_.AfterPoll(fds.data() + firstClient, fds.size() - firstClient);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
            ReapFinished();
        }
        if (!stopping_ && pauseLeft == 0 && (fds[1].revents & POLLIN))
            Accept();
        fanOut_.SendPending();
    }
}

int TcpServer::AcceptPauseLeft() const {
    if (acceptPauseMs_ == 0)
        return 0;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        acceptResumes_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

void TcpServer::PauseAccepting() {
    acceptPauseMs_ = acceptPauseMs_ == 0 ? 100 : std::min(2 * acceptPauseMs_, 1000);
    acceptResumes_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(acceptPauseMs_);
}

void TcpServer::Accept() {
    const int fd = ::accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        // Retrying at once would find the same pending connection and fail
        // again: a busy loop until a descriptor comes free.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            PauseAccepting();
        return; // else the client gave up already
    }
    acceptPauseMs_ = 0;
    Socket socket(fd);
    ReapFinished();
    // Full: refused (closed at once), unless the idlest connection makes room.
    if (MaxConnections > 0 && ServedCount() >= MaxConnections &&
        !(MakeRoomWhenFull && fanOut_.DropIdlest()))
        return;
    auto peer = std::make_unique<Connection>(std::move(socket), WriteTimeoutMs);
    Connection* raw = peer.get();
    std::lock_guard lock(peersMutex_);
    try {
        raw->thread_ = std::thread([this, raw] { raw->Run(*this); });
    } catch (const std::system_error&) {
        return; // no thread to serve it: closed at once
    }
    peers_.push_back(std::move(peer));
}

void TcpServer::ReapFinished() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(peersMutex_);
        for (auto it = peers_.begin(); it != peers_.end();) {
            auto next = std::next(it);
            if ((*it)->Finished())
                finished.splice(finished.end(), peers_, it);
            it = next;
        }
    }
    finished.clear(); // joins threads that have already ended
}

} // namespace net
