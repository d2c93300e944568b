#include "catalog/LoopbackServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDrainMs = 2000;       // reading what a refused client still sends
constexpr int kAcceptPauseMs = 100;  // out of descriptors: wait before accepting again
constexpr size_t kChunk = 64 * 1024; // file bytes read per send

Clock::time_point after(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

} // namespace

struct LoopbackServer::Connection {
    enum class State { Reading, Working, Writing, Draining };

    std::uint64_t id = 0;
    int fd = -1;
    State state = State::Reading;
    Clock::time_point deadline;
    std::string received;
    Outgoing out;
    size_t piece = 0;
    size_t textSent = 0;
    std::int64_t fileSent = 0;
    std::string chunk;
    size_t chunkSent = 0;

    ~Connection() { ::close(fd); }
};

LoopbackServer::LoopbackServer(Handler handler)
    : handler_(std::move(handler)) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
    for (int i = 0; i < kWorkers; ++i)
        workers_.emplace_back([this] { work(); });
}

LoopbackServer::~LoopbackServer() {
    {
        const std::lock_guard lock(mutex_);
        workersStop_ = true;
    }
    jobReady_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    connections_.clear();
    if (listener_ >= 0)
        ::close(listener_);
    ::close(wake_);
    ::close(epoll_);
}

int LoopbackServer::bind(const std::string& address, int port, int& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        error = EINVAL;
        return -1;
    }
    const int s = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    // SO_REUSEADDR only lets a restart bind past connections in TIME_WAIT; on
    // Linux two listeners still cannot share the port without SO_REUSEPORT,
    // which is never set: a second instance must fail here.
    const bool bound = s >= 0 && setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                       (found->ai_family != AF_INET6 ||
                        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes) == 0) &&
                       ::bind(s, found->ai_addr, found->ai_addrlen) == 0 &&
                       listen(s, kBacklog) == 0;
    error = errno;
    freeaddrinfo(found);
    if (!bound) {
        if (s >= 0)
            ::close(s);
        return -1;
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    listener_ = s;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = UINT64_MAX;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &event);
    return port_;
}

void LoopbackServer::stop() {
    stop_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(wake_, &one, sizeof one);
}

void LoopbackServer::run() {
    epoll_event events[64];
    Clock::time_point acceptPausedUntil{};
    bool acceptPaused = false;
    while (!stop_) {
        const int n = epoll_wait(epoll_, events, 64, 100);
        for (int i = 0; i < n && !stop_; ++i) {
            const std::uint64_t key = events[i].data.u64;
            if (key == 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t ignored = read(wake_, &count, sizeof count);
                collectAnswers();
            } else if (key == UINT64_MAX) {
                accept();
                if (errno == EMFILE || errno == ENFILE) {
                    // Level-triggered: the listener stays readable, so it is
                    // left alone for a moment instead of spinning.
                    epoll_event none{};
                    none.data.u64 = UINT64_MAX;
                    epoll_ctl(epoll_, EPOLL_CTL_MOD, listener_, &none);
                    acceptPaused = true;
                    acceptPausedUntil = after(kAcceptPauseMs);
                }
            } else if (const auto found = connections_.find(key); found != connections_.end()) {
                Connection& c = *found->second;
                if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR) &&
                    c.state != Connection::State::Writing)
                    readable(c);
                else if (events[i].events & (EPOLLOUT | EPOLLHUP | EPOLLERR))
                    writable(c);
            }
        }
        if (acceptPaused && Clock::now() >= acceptPausedUntil) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = UINT64_MAX;
            epoll_ctl(epoll_, EPOLL_CTL_MOD, listener_, &event);
            acceptPaused = false;
        }
        expireDeadlines();
    }
}

void LoopbackServer::accept() {
    for (;;) {
        errno = 0;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (connections_.size() >= kMaxConnections) {
            // The oldest connection still sending its request is the one most
            // likely to be holding on on purpose.
            auto oldest = connections_.begin();
            while (oldest != connections_.end() &&
                   oldest->second->state != Connection::State::Reading)
                ++oldest;
            if (oldest == connections_.end()) {
                ::close(fd);
                continue;
            }
            connections_.erase(oldest);
        }
        auto c = std::make_unique<Connection>();
        c->id = nextId_++;
        c->fd = fd;
        c->deadline = after(kHeadDeadlineMs);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = c->id;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
        connections_.emplace(c->id, std::move(c));
    }
}

void LoopbackServer::watch(Connection& c, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = c.id;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
}

void LoopbackServer::readable(Connection& c) {
    char buffer[16 * 1024];
    if (c.state != Connection::State::Reading) {
        // Draining, or a request already taken: anything more is dropped.
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            if (c.state == Connection::State::Draining)
                close(c.id);
            else
                watch(c, 0); // the client stopped sending; its answer still goes out
        }
        return;
    }
    const size_t room = RequestHead::kMaxBytes + 1 - c.received.size();
    const ssize_t n = recv(c.fd, buffer, std::min(room, sizeof buffer), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        close(c.id);
        return;
    }
    if (n < 0)
        return;
    c.received.append(buffer, static_cast<size_t>(n));
    size_t length = 0;
    switch (RequestHead::check(c.received, length)) {
    case RequestHead::Progress::Incomplete:
        return;
    case RequestHead::Progress::TooLarge:
        answer(c, Outgoing::text(431, "Request Header Fields Too Large", "text/plain",
                                 "Request header fields too large\n"));
        return;
    case RequestHead::Progress::Complete:
        break;
    }
    const std::optional<RequestHead> head = RequestHead::parse({c.received.data(), length});
    if (!head) {
        answer(c, Outgoing::text(400, "Bad Request", "text/plain", "Bad request\n"));
        return;
    }
    if (head->hostCount != 1 || !isLoopbackHost(head->host, port_)) {
        answer(c, Outgoing::text(421, "Misdirected Request", "text/plain",
                                 "This service answers requests for 127.0.0.1:" +
                                     std::to_string(port_) + " only\n"));
        return;
    }
    if (head->hasBody || (head->method != "GET" && head->method != "HEAD")) {
        answer(c, Outgoing::text(405, "Method Not Allowed", "text/plain", "Only GET\n"));
        return;
    }
    c.state = Connection::State::Working;
    watch(c, EPOLLRDHUP);
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back({c.id, *head, c.received.substr(0, length)});
    }
    c.received.clear();
    jobReady_.notify_one();
}

void LoopbackServer::answer(Connection& c, Outgoing out) {
    c.out = std::move(out);
    c.state = Connection::State::Writing;
    c.deadline = after(c.out.streaming ? kStallDeadlineMs : kAnswerDeadlineMs);
    c.received.clear();
    c.received.shrink_to_fit();
    watch(c, EPOLLOUT);
    writable(c);
}

void LoopbackServer::writable(Connection& c) {
    if (c.state != Connection::State::Writing)
        return;
    const auto sent = [&](const char* data, size_t size) -> ssize_t {
        const ssize_t n = send(c.fd, data, size, MSG_NOSIGNAL);
        if (n > 0 && c.out.streaming)
            c.deadline = after(kStallDeadlineMs);
        return n;
    };
    while (c.piece < c.out.pieces.size()) {
        const Outgoing::Piece& piece = c.out.pieces[c.piece];
        if (c.textSent < piece.text.size()) {
            const ssize_t n = sent(piece.text.data() + c.textSent, piece.text.size() - c.textSent);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (n <= 0) {
                close(c.id);
                return;
            }
            c.textSent += static_cast<size_t>(n);
            continue;
        }
        if (c.chunkSent < c.chunk.size()) {
            const ssize_t n = sent(c.chunk.data() + c.chunkSent, c.chunk.size() - c.chunkSent);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (n <= 0) {
                close(c.id);
                return;
            }
            c.chunkSent += static_cast<size_t>(n);
            continue;
        }
        if (c.fileSent < piece.length) {
            c.chunk.resize(static_cast<size_t>(std::min<std::int64_t>(
                static_cast<std::int64_t>(kChunk), piece.length - c.fileSent)));
            const ssize_t n = pread(c.out.file->get(), c.chunk.data(), c.chunk.size(),
                                    static_cast<off_t>(piece.offset + c.fileSent));
            if (n <= 0) { // the file shrank: the answer cannot be completed
                close(c.id);
                return;
            }
            c.chunk.resize(static_cast<size_t>(n));
            c.chunkSent = 0;
            c.fileSent += n;
            continue;
        }
        ++c.piece;
        c.textSent = 0;
        c.fileSent = 0;
        c.chunk.clear();
        c.chunkSent = 0;
    }
    // Sent: the client sees the end, and whatever it still sends is read
    // away for a moment so that it gets the answer rather than a reset.
    c.out = Outgoing();
    c.chunk.shrink_to_fit();
    shutdown(c.fd, SHUT_WR);
    c.state = Connection::State::Draining;
    c.deadline = after(kDrainMs);
    watch(c, EPOLLIN | EPOLLRDHUP);
}

void LoopbackServer::close(std::uint64_t id) {
    connections_.erase(id);
}

void LoopbackServer::expireDeadlines() {
    const auto now = Clock::now();
    std::vector<std::uint64_t> expired;
    for (auto& [id, c] : connections_) {
        if (c->state == Connection::State::Working || now < c->deadline)
            continue;
        if (c->state == Connection::State::Reading && !c->received.empty())
            answer(*c, Outgoing::text(408, "Request Timeout", "text/plain", "Request timeout\n"));
        else
            expired.push_back(id);
    }
    for (const std::uint64_t id : expired)
        close(id);
}

void LoopbackServer::collectAnswers() {
    std::vector<std::pair<std::uint64_t, Outgoing>> ready;
    {
        const std::lock_guard lock(mutex_);
        ready.swap(answers_);
    }
    for (auto& [id, out] : ready)
        if (const auto found = connections_.find(id); found != connections_.end())
            answer(*found->second, std::move(out));
}

void LoopbackServer::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            jobReady_.wait(lock, [&] { return workersStop_ || !jobs_.empty(); });
            if (workersStop_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Outgoing out;
        try {
            out = handler_(job.head, job.block);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
            out = Outgoing::text(500, "Internal Server Error", "text/plain", "Internal error\n");
        }
        {
            const std::lock_guard lock(mutex_);
            answers_.emplace_back(job.id, std::move(out));
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = write(wake_, &one, sizeof one);
    }
}
