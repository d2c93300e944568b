#pragma once

#include "net/Socket.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

// A local client of the relay that reads everything it is sent on a thread of
// its own, until the server closes the connection or the test closes it.
class RelayClient {
public:
    RelayClient();
    ~RelayClient();

    // Waits (at most 20 s) until `count` bytes have arrived; false otherwise.
    bool waitForBytes(std::size_t count);
    // Waits (at most 20 s) until the server has closed the connection.
    bool waitForEnd();
    std::vector<char> bytes();
    // Closes the socket at once (a killed client).
    void kill();

private:
    void readLoop();
    net::Socket socket_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<char> bytes_;
    bool ended_ = false;
    std::thread thread_;
};

// The relay's address, 127.0.0.1:8099.
sockaddr_in relayAddress();
// A non-blocking socket that has begun connecting to the relay; the
// connection is made or refused later. Only system calls, so a child
// process may call it after fork.
int startConnecting();
// Connects a client that never reads, with a small receive buffer.
net::Socket connectStalledClient();
// True when a connection to 127.0.0.1:8099 is refused.
bool relayPortRefuses();

// Waits (at most 20 s) for a condition another thread brings about.
bool waitUntil(const std::function<bool()>& condition);
