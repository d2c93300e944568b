#include "net/TcpServer.h"

#include "net/NetError.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

TIdTCPServer::~TIdTCPServer() {
    SetActive(false);
}

void TIdTCPServer::SetActive(bool active) {
    if (active == active_)
        return;
    if (active)
        Activate();
    else
        Deactivate();
}

void TIdTCPServer::Activate() {
    const int port = Bindings.Port ? Bindings.Port : DefaultPort;
    listener_ = Listen(Bindings.IP, port);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        listener_.Close();
        throw SocketError("Could not create event. " + SystemText(errno));
    }
    stopping_ = false;
    listenThread_ = std::thread([this] { ListenLoop(); });
    active_ = true;
}

void TIdTCPServer::Deactivate() {
    stopping_ = true;
    Wake();
    if (listenThread_.joinable())
        listenThread_.join();
    listener_.Close();

    std::list<std::unique_ptr<TIdPeerThread>> peers;
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

int TIdTCPServer::ThreadCount() {
    std::lock_guard lock(peersMutex_);
    return int(peers_.size());
}

void TIdTCPServer::Wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

void TIdTCPServer::ListenLoop() {
    while (!stopping_) {
        pollfd p[2] = {{listener_.Fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            break;
        if (p[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
            ReapFinished();
        }
        if (!stopping_ && (p[0].revents & POLLIN))
            Accept();
    }
}

void TIdTCPServer::Accept() {
    const int fd = ::accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return; // the client gave up already, or out of descriptors: try again later
    auto peer = std::make_unique<TIdPeerThread>(Socket(fd), WriteTimeoutMs);
    TIdPeerThread* raw = peer.get();
    {
        std::lock_guard lock(peersMutex_);
        peers_.push_back(std::move(peer));
    }
    raw->thread_ = std::thread(
        [this, raw] { raw->Run(OnConnect, OnExecute, OnDisconnect, [this] { Wake(); }); });
}

void TIdTCPServer::ReapFinished() {
    std::list<std::unique_ptr<TIdPeerThread>> finished;
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
