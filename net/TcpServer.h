#pragma once

#include "net/Connection.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace net {

// A threaded TCP server: one binding, a listener thread that accepts
// connections, and a thread per connection (Connection) that runs
// OnConnect, OnExecute and OnDisconnect. No greeting is sent and nothing is
// read on the client's behalf.
//
// SendToAll hands one stream of blocks to every connection through the
// listener thread (see BlockFanOut): the caller never waits for a client, and
// a client that does not take its blocks (its socket full) more than
// SendQueueBlocks blocks behind is dropped, and so is one that takes nothing
// of what waits in its socket for IdleLimitMs (see BlockFanOut for what a
// connection has taken). Beyond MaxConnections a new connection is accepted
// and closed at once, or, with MakeRoomWhenFull, served in the place of the
// connection that has read least for longest, which is dropped. When the
// process runs out of descriptors, the listener stops accepting for 100 ms,
// then 200, 400, ... up to 1 s, instead of retrying at once.
//
// Handlers are set while the server is inactive. setActive(true) binds and
// listens (throws SocketError, e.g. "Could not bind socket. Address already
// in use", leaving the server inactive); setActive(false) stops accepting,
// ends every connection and returns once every connection thread has run its
// disconnect handler and ended.
class TcpServer {
public:
    struct Binding {
        std::string IP = "0.0.0.0";
        int Port = 0;
    };

    TcpServer() = default;
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    Binding Bindings;
    int DefaultPort = 0; // used when the binding names no port
    // How long a write may wait for a client to take the bytes (ms; < 0: no limit).
    int WriteTimeoutMs = -1;
    // Connections served at once (0: no limit); connections that are ending
    // do not count.
    int MaxConnections = 0;
    // When full, drop the connection that has read least for longest to serve
    // a new one, rather than refusing the new one.
    bool MakeRoomWhenFull = false;
    // A connection that takes nothing of the stream waiting for it for this
    // long is dropped (ms; <= 0: never).
    int IdleLimitMs = 0;
    // Blocks a connection with a full socket may fall behind SendToAll before
    // it is dropped (0: SendToAll sends nothing), and the largest block.
    int SendQueueBlocks = 0;
    std::size_t MaxBlockSize = 65535;
    Connection::Handler OnConnect;
    Connection::Handler OnExecute;
    Connection::Handler OnDisconnect;
    // Told when a handler throws (from the connection's thread): which handler
    // and what it threw. The connection then ends as if the client had left.
    std::function<void(const char* handler, const std::string& what)> OnException;

    bool active() const { return active_; }
    void setActive(bool active);
    // Connection threads alive now (served or still ending).
    int threadCount();

    // Queues a block for every connection (from any thread; never blocks on
    // a connection, never allocates). Nothing while inactive.
    void sendToAll(const void* data, std::size_t size);

private:
    friend class Connection;
    void activate();
    void deactivate();
    void listenLoop();
    void accept();
    void reapFinished();
    // Connections not ending.
    int servedCount();
    void wake();
    // Out of descriptors: stop polling the listener for a while.
    void pauseAccepting();
    // Milliseconds until accepting resumes (0: accepting now).
    int acceptPauseLeft() const;

    bool active_ = false;
    Socket listener_;
    int wakeFd_ = -1; // eventfd: deactivation and finished connections wake the listener
    std::atomic<bool> stopping_{false};
    std::thread listenThread_;
    std::mutex peersMutex_;
    std::list<std::unique_ptr<Connection>> peers_;
    BlockFanOut fanOut_;
    int acceptPauseMs_ = 0; // listener thread only
    std::chrono::steady_clock::time_point acceptResumes_;
};

} // namespace net
