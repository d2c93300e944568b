#pragma once

#include "net/PeerThread.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace net {

// A threaded TCP server: one binding, a listener thread that accepts
// connections, and a thread per connection (TIdPeerThread) that runs
// OnConnect, OnExecute and OnDisconnect. No greeting is sent and nothing is
// read on the client's behalf.
//
// Handlers are set while the server is inactive. SetActive(true) binds and
// listens (throws SocketError, e.g. "Could not bind socket. Address already
// in use", leaving the server inactive); SetActive(false) stops accepting,
// ends every connection and returns once every connection thread has run its
// disconnect handler and ended.
class TIdTCPServer {
public:
    struct Binding {
        std::string IP = "0.0.0.0";
        int Port = 0;
    };

    TIdTCPServer() = default;
    ~TIdTCPServer();
    TIdTCPServer(const TIdTCPServer&) = delete;
    TIdTCPServer& operator=(const TIdTCPServer&) = delete;

    Binding Bindings;
    int DefaultPort = 0; // used when the binding names no port
    // How long a write may wait for a client to take the bytes (ms; < 0: no limit).
    int WriteTimeoutMs = -1;
    TIdPeerThread::Handler OnConnect;
    TIdPeerThread::Handler OnExecute;
    TIdPeerThread::Handler OnDisconnect;

    bool Active() const { return active_; }
    void SetActive(bool active);
    // Connection threads alive now (served or still ending).
    int ThreadCount();

private:
    void Activate();
    void Deactivate();
    void ListenLoop();
    void Accept();
    void ReapFinished();
    void Wake();

    bool active_ = false;
    Socket listener_;
    int wakeFd_ = -1; // eventfd: deactivation and finished connections wake the listener
    std::atomic<bool> stopping_{false};
    std::thread listenThread_;
    std::mutex peersMutex_;
    std::list<std::unique_ptr<TIdPeerThread>> peers_;
};

} // namespace net
