#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
int listenOnLoopback(int* port, int backlog) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on loopback");
    *port = ntohs(address.sin_port);
    return fd;
}

void sendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

// Sends one byte per interval until done, the client hangs up (its end
// becomes readable: nothing more is expected from it) or the server stops.
void trickle(int fd, const std::string& data, int intervalMs, const std::atomic<bool>& stopping) {
    for (char byte : data) {
        pollfd p{fd, POLLIN, 0};
        for (int waited = 0; waited < intervalMs && !stopping; waited += 20)
            if (poll(&p, 1, 20) != 0)
                return;
        if (stopping || send(fd, &byte, 1, MSG_NOSIGNAL) != 1)
            return;
    }
}

std::string readHead(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        head.append(buffer, static_cast<size_t>(n));
    }
    return head;
}

const char* reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Error";
    }
}

// The first byte of a "Range: bytes=N-" or "bytes=N-M" header, or -1.
long long rangeStart(const std::string& head, long long* last) {
    const size_t at = head.find("\r\nRange: bytes=");
    if (at == std::string::npos)
        return -1;
    std::istringstream in(head.substr(at + 15));
    long long first = -1;
    char dash = 0;
    in >> first >> dash;
    *last = -1;
    if (in.peek() >= '0' && in.peek() <= '9')
        in >> *last;
    return dash == '-' ? first : -1;
}
} // namespace

LoopbackServer::LoopbackServer()
    : listener_(listenOnLoopback(&port_, 64)) {
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    acceptor_.join();
    for (std::thread& t : connections_)
        t.join();
    close(listener_);
}

void LoopbackServer::serve(const std::string& targetPrefix, Response response) {
    std::lock_guard lock(mutex_);
    routes_.emplace_back(targetPrefix, std::move(response));
}

void LoopbackServer::clearRoutes() {
    std::lock_guard lock(mutex_);
    routes_.clear();
}

std::vector<std::string> LoopbackServer::requestLines() const {
    std::lock_guard lock(mutex_);
    return requestLines_;
}

std::string LoopbackServer::lastRequestLine() const {
    std::lock_guard lock(mutex_);
    return requestLines_.empty() ? std::string() : requestLines_.back();
}

void LoopbackServer::clearRequestLines() {
    std::lock_guard lock(mutex_);
    requestLines_.clear();
}

LoopbackServer::Response LoopbackServer::find(const std::string& target) const {
    std::lock_guard lock(mutex_);
    for (const auto& [prefix, response] : routes_)
        if (target.rfind(prefix, 0) == 0)
            return response;
    return {404, "text/html", "<html><body>Not Found</body></html>", {}};
}

void LoopbackServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, client] { handleConnection(client); });
    }
}

void LoopbackServer::handleConnection(int client) {
    ++open_;
    const std::string head = readHead(client);
    const std::string requestLine = head.substr(0, head.find("\r\n"));
    {
        std::lock_guard lock(mutex_);
        requestLines_.push_back(requestLine);
    }
    const size_t targetStart = requestLine.find(' ') + 1;
    const std::string target =
        requestLine.substr(targetStart, requestLine.rfind(' ') - targetStart);
    Response response = find(target);
    long long last = -1;
    const long long first = response.status == 200 ? rangeStart(head, &last) : -1;
    std::string extra;
    if (first >= 0 && first < static_cast<long long>(response.body.size())) {
        const long long size = static_cast<long long>(response.body.size());
        if (last < 0 || last >= size)
            last = size - 1;
        extra = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                std::to_string(size) + "\r\n";
        response.body =
            response.body.substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1));
        response.status = 206;
    }
    if (!response.location.empty())
        extra += "Location: " + response.location + "\r\n";
    const size_t total = response.body.size() * response.repeat;
    std::string reply =
        "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) +
        "\r\nContent-Type: " + response.contentType +
        (response.announceLength ? "\r\nContent-Length: " + std::to_string(total) : std::string()) +
        "\r\nAccept-Ranges: bytes\r\n" + extra + "Connection: close\r\n\r\n";
    sendAll(client, reply);
    if (response.trickleMs > 0) {
        trickle(client, response.body, response.trickleMs, stopping_);
    } else if (requestLine.rfind("HEAD ", 0) != 0) {
        size_t left = response.dropAfter >= 0
                          ? std::min(total, static_cast<size_t>(response.dropAfter))
                          : total;
        for (size_t i = 0; i < response.repeat && left > 0; ++i) {
            const size_t n = std::min(left, response.body.size());
            sendAll(client, n == response.body.size() ? response.body : response.body.substr(0, n));
            left -= n;
        }
    }
    shutdown(client, SHUT_WR);
    close(client);
    --open_;
}

SilentServer::SilentServer()
    : listener_(listenOnLoopback(&port_, 16)) {}

SilentServer::~SilentServer() {
    close(listener_);
}

int refusedPort() {
    int port = 0;
    close(listenOnLoopback(&port, 1));
    return port;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string answer(const std::string& name) {
    return readFile(std::string(KV_SOURCE_DIR) + "/tests/search/answers/" + name);
}
