#pragma once

#include "broadcast/CaptureRecorder.h"
#include "broadcast/ThreadList.h"
#include "net/TcpServer.h"

#include <atomic>
#include <cstdint>
#include <memory>

// One relay client: the connection's thread, through which the block handler
// writes to it. The thread's data slot points back at the entry.
struct ClientEntry {
    net::Connection* Thread = nullptr;
};

// The local audio relay: while Broadcasting, every block the capture engine
// records goes, unchanged and unframed, to every TCP client connected to
// 127.0.0.1:8099. The server only sends.
//
// Threads: the server's listener and one thread per connection (connect,
// execute, disconnect handlers), the capture thread (relayBlock) and the
// main thread (creating and freeing ClientList, activating and deactivating
// the server). ClientList exists only while a broadcast runs; it is created
// before the server is activated and before capture starts, and freed only
// after capture has stopped and the server has been deactivated.
//
// No client can hold up the capture or the others: a block is copied once
// into the server's send ring and sent to each client without blocking by
// the server's listener thread. A client that stops taking blocks is dropped
// once it is more than kSlackBlocks (the capture ring's slack) behind; a
// client that keeps up receives every block whole. A client that reads none
// of the sound waiting for it for kIdleLimitMs is dropped, long before its
// socket's buffers are full; one with nothing waiting (the capture silent)
// is not. At most kMaxClients are served; a further client takes the place
// of the one that has read least for longest, so clients that never read
// cannot lock the listeners out.
class AudioRelay {
public:
    static constexpr const char* kIP = "127.0.0.1";
    static constexpr int kPort = 8099;
    static constexpr int kSlackBlocks = 3; // the capture ring's four buffers, less the one filling
    static constexpr int kMaxClients = 64;
    static constexpr int kIdleLimitMs = 10000; // tcpServer.IdleLimitMs, set before activation

    AudioRelay();

    net::TcpServer tcpServer;
    std::atomic<bool> broadcasting{false};
    std::unique_ptr<ThreadList<ClientEntry*>> ClientList;

    void onClientConnected(net::Connection& AThread);
    void onClientGone(net::Connection& AThread);
    void serveClient(net::Connection& AThread);
    // The capture engine's OnRecord handler (capture thread).
    void relayBlock(CaptureRecorder& Sender, char* LP, char* RP, std::uint16_t BufferSize);

    // The broadcast mix in the wire format (mix thread): the same as a block.
    void relayMix(const char* bytes, std::size_t size);

    // Entries in ClientList now (0 when there is no list).
    int clientCount();
};
