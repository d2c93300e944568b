#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct pollfd;

namespace net {

// One stream of blocks sent to many connections by one thread, so that the
// producer never waits for a slow reader: Push copies a block into a ring and
// returns; the sending thread (the server's listener) hands each connection,
// without blocking, whatever it has not taken yet, and polls for room only
// those whose socket is full. A connection whose socket is full and that is
// more than `slack` blocks behind is dropped (both directions shut down). The
// ring keeps kLateBlocks more, so that a connection that does read is not
// dropped when the sending thread itself is late (a burst of blocks, a loaded
// machine); one whose next block would still be overwritten is dropped too.
// Each connection thus receives whole blocks in order, or ends.
//
// What a connection has taken is what its client's side has acknowledged:
// the bytes handed to its socket less those still queued there. That is what
// the client has read plus at most its receive buffer, so a client that
// never reads stops taking within a few tens of kilobytes, long before its
// socket is full (a loopback send buffer grows to megabytes, a minute of the
// relay's sound).
class BlockFanOut {
public:
    // One connection's place in the stream; owned by the connection, listed
    // between Add and Remove. Guarded by the fan-out's lock.
    struct Receiver {
        int fd = -1;
        std::uint64_t next = 0; // the next block to send
        std::size_t Sent = 0;   // bytes of it already sent
        bool waiting = false;   // its socket was full: wait for room
        bool Polled = false;    // the sending thread is polling its descriptor
        bool dropped = false;
        std::uint64_t Handed = 0; // bytes its socket has accepted
        std::uint64_t Taken = 0;  // of those, bytes the client's side has acknowledged
        // When it joined, last took bytes or was handed bytes with nothing
        // waiting: it has read nothing since.
        std::chrono::steady_clock::time_point ActiveAt;
    };

    // Called when there is something to send (wakes the sending thread).
    std::function<void()> wake;

    static constexpr int kLateBlocks = 13;

    // Makes a ring of slack + kLateBlocks blocks of up to `maxBlockSize` bytes
    // (slack 0: Push does nothing); the sending thread runs from now on.
    void start(int slack, std::size_t maxBlockSize);
    // The sending thread has ended: nothing is polled any more.
    void stop();

    // The connection receives from the next block on.
    void add(Receiver& receiver, int fd);
    // After this the fan-out no longer touches the connection's descriptor. A
    // connection that was not dropped first gets the rest of the block in
    // progress (waiting at most finishMs), so it never ends in a torn block.
    void remove(Receiver& receiver, int finishMs);

    // Copies a block into the ring for every receiver; never blocks on a
    // connection and never allocates. Blocks larger than the ring's are cut.
    void push(const void* data, std::size_t size);

    // Sending thread: the descriptors to poll for room (appended to fds).
    void appendPollFds(std::vector<pollfd>& fds);
    // Sending thread: the results of that poll (fds: the appended entries).
    void afterPoll(const pollfd* fds, std::size_t count);
    // Sending thread: sends what each receiver with room has not taken yet.
    void sendPending();

    // Sending thread: drops each connection that has taken nothing of what
    // waits in its socket for limitMs; returns the milliseconds until the
    // next one may be due, when it must be looked at again (-1: nothing waits
    // anywhere, or limitMs <= 0: no limit). A connection with nothing waiting
    // is never due, however long the stream is silent.
    int dropIdle(int limitMs);
    // Sending thread: drops the connection that has read least for longest
    // (the longest inactive; of those equally so, the one that has taken
    // least, then the earliest joined); false when there is none.
    bool dropIdlest();

private:
    void drop(Receiver& receiver);
    void sendTo(Receiver& receiver);
    // Updates what the receiver has taken from its socket's queue; false when
    // nothing waits there.
    static bool look(Receiver& receiver, std::chrono::steady_clock::time_point now);

    std::mutex mutex_;
    std::condition_variable pollDone_;
    bool sending_ = false; // the sending thread runs
    std::vector<char> ring_;
    std::vector<std::size_t> sizes_;
    std::uint64_t slack_ = 0;
    std::size_t slot_ = 0;   // bytes per ring slot
    std::uint64_t last_ = 0; // the newest block (blocks count from 1)
    std::vector<Receiver*> receivers_;
    std::vector<Receiver*> polled_;
};

} // namespace net
