#include "RelayClient.h"

#include "net/NetError.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

RelayClient::RelayClient()
    : socket_(net::connect("127.0.0.1", 8099)) {
    thread_ = std::thread([this] { readLoop(); });
}

RelayClient::~RelayClient() {
    kill();
    thread_.join();
}

void RelayClient::readLoop() {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(socket_.fd(), chunk, sizeof chunk, 0);
        std::lock_guard lock(mutex_);
        if (n <= 0) {
            ended_ = true;
            changed_.notify_all();
            return;
        }
        bytes_.insert(bytes_.end(), chunk, chunk + n);
        changed_.notify_all();
    }
}

bool RelayClient::waitForBytes(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
        return bytes_.size() >= count || ended_;
    }) && bytes_.size() >= count;
}

bool RelayClient::waitForEnd() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return ended_; });
}

std::vector<char> RelayClient::bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
}

void RelayClient::kill() {
    // shutdown wakes the reading thread; the descriptor is closed with the object.
    ::shutdown(socket_.fd(), SHUT_RDWR);
}

sockaddr_in relayAddress() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(8099);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int startConnecting() {
    const sockaddr_in a = relayAddress();
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return s;
}

net::Socket connectStalledClient() {
    net::Socket s(::socket(AF_INET, SOCK_STREAM, 0));
    const int small = 4096;
    ::setsockopt(s.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const sockaddr_in a = relayAddress();
    if (::connect(s.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        throw net::SocketError("stalled client could not connect");
    return s;
}

bool relayPortRefuses() {
    try {
        net::connect("127.0.0.1", 8099);
        return false;
    } catch (const net::SocketError&) {
        return true;
    }
}

bool waitUntil(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
