#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests. It answers each
// request from the registered routes (the first route whose prefix starts the
// request target wins; none gives 404), honours single byte ranges so that media
// players can fetch from it, and records every request line it received.
class LoopbackServer {
public:
    struct Response {
        int status = 200;
        std::string contentType = "text/xml; charset=utf-8";
        std::string body;
        std::string location; // sent as Location for redirects
        // For answers larger than a test wants to hold: the body is sent this
        // many times over (Content-Length counts them all).
        std::size_t repeat = 1;
        // When >= 0, the connection is closed after this many body bytes,
        // as a server that dies mid-answer; with announceLength false no
        // Content-Length is sent, so only the close ends the answer.
        long long dropAfter = -1;
        bool announceLength = true;
        // When > 0, the body goes out one byte per this many milliseconds
        // (a server that trickles); a client that hangs up ends it at once.
        int trickleMs = 0;
    };

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

    void serve(const std::string& targetPrefix, Response response);
    void clearRoutes();

    std::vector<std::string> requestLines() const;
    std::string lastRequestLine() const;
    void clearRequestLines();
    // Connections whose answer is still being sent.
    int openConnections() const { return open_; }

private:
    void acceptLoop();
    void handleConnection(int client);
    Response find(const std::string& target) const;

    int port_ = 0; // set while the listener is made: declared first
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> open_{0};
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, Response>> routes_;
    std::vector<std::string> requestLines_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// A port on 127.0.0.1 that accepts connections but never answers: the kernel
// completes the handshake, nothing reads or writes.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int port_ = 0; // set while the listener is made: declared first
    int listener_ = -1;
};

// A port on 127.0.0.1 on which nothing listens (connections are refused).
int refusedPort();

// The contents of a file below tests/search/answers.
std::string answer(const std::string& name);

// Reads a whole file.
std::string readFile(const std::string& path);
