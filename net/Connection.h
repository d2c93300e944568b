#pragma once

#include "net/BlockFanOut.h"
#include "net/Socket.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace net {

class TcpServer;

// One accepted connection and the thread that serves it. The thread runs the
// server's connect handler, then the execute handler each time the client
// sends something, until the connection ends (the client closes it, a write
// fails, it falls behind the server's SendToAll or the server is
// deactivated); then the disconnect handler, and the socket is closed.
class Connection {
public:
    using Handler = std::function<void(Connection&)>;

    // How long an ending connection may wait for the rest of its block in
    // progress of the server's SendToAll.
    static constexpr int kFinishBlockMs = 250;

    Connection(Socket socket, int writeTimeoutMs);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The handler's per-connection data slot.
    void* Data = nullptr;

    // Writes the whole buffer at once, bypassing any write buffering; returns
    // when every byte is in the socket. Throws SocketError on a closed or
    // broken connection and when the client has not taken the bytes within
    // the server's write time-out; the connection is then ended (its thread
    // runs the disconnect handler), so a client that stops reading is dropped.
    void writeBuffer(const void* data, std::size_t size);
    // The same without raising or allocating (for the capture thread): 0 when
    // written, else the errno value (ETIMEDOUT, EPIPE, ...).
    int tryWriteBuffer(const void* data, std::size_t size);

    // Ends the connection: wakes the thread, which then runs the disconnect
    // handler. Safe from any thread. Only reading is shut down here, so that
    // a block in progress can still be finished before the socket closes.
    void disconnect();

    bool finished() const { return finished_; }

private:
    friend class TcpServer;
    void run(TcpServer& server);
    // True while the client is connected: waits for data or the end, and
    // throws nothing.
    bool waitForClient();

    Socket socket_;
    const int writeTimeoutMs_;
    std::shared_mutex fdLock_; // shared: users of the descriptor; exclusive: closing it
    std::mutex writeMutex_;    // one write at a time, so blocks never interleave
    std::atomic<bool> ended_{false};
    std::atomic<bool> finished_{false};
    BlockFanOut::Receiver receiver_; // its place in the server's SendToAll stream
    std::thread thread_;
};

} // namespace net
