#pragma once

#include "catalog/MediaFile.h"
#include "catalog/RequestHead.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The service's transport: one thread owns every socket and never blocks on
// a client; a few workers only compute answers. A request's header block must
// arrive whole within kHeadDeadlineMs and within RequestHead's limits (else
// 408/431); Host must name this service on loopback (else 421). Answers are
// written without blocking, so a client that sends or reads slowly holds a
// socket and some memory but never a worker. When kMaxConnections are open,
// the oldest connection still sending its request makes room for a new one.
class LoopbackServer {
public:
    // Runs on a worker; head has passed every check above.
    using Handler = std::function<Outgoing(const RequestHead& head, std::string_view block)>;

    static constexpr int kHeadDeadlineMs = 5000;
    static constexpr int kAnswerDeadlineMs = 10000; // whole answer, searches
    static constexpr int kStallDeadlineMs = 60000;  // no byte taken, videos
    static constexpr size_t kMaxConnections = 256;
    static constexpr int kBacklog = 256;
    static constexpr int kWorkers = 4;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();

    // Binds address:port for this process alone (no SO_REUSEPORT; port 0: a
    // free one). The bound port, or -1 with errno kept in error.
    int bind(const std::string& address, int port, int& error);
    // Serves until stop().
    void run();
    // Safe from any thread.
    void stop();

private:
    struct Connection;
    struct Job {
        std::uint64_t id;
        RequestHead head;
        std::string block;
    };

    void accept();
    void readable(Connection& c);
    void writable(Connection& c);
    void answer(Connection& c, Outgoing out);
    void close(std::uint64_t id);
    void expireDeadlines();
    void collectAnswers();
    void watch(Connection& c, std::uint32_t events);
    void work();

    Handler handler_;
    int listener_ = -1;
    int port_ = -1;
    int epoll_ = -1;
    int wake_ = -1; // eventfd: answers ready or stop
    std::atomic<bool> stop_{false};
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;

    std::mutex mutex_;
    std::condition_variable jobReady_;
    std::deque<Job> jobs_;
    std::vector<std::pair<std::uint64_t, Outgoing>> answers_;
    bool workersStop_ = false;
    std::vector<std::thread> workers_;
};
