// The relay under abuse from the same machine: clients that never read, more
// clients than it serves (taking the places of those that read least), and
// more clients than the process has descriptors.
#include "RelayClient.h"
#include "RelayFixture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using RelaySecurity = RelayFixture;

long ms(Clock::duration d) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

// Loopback readers served by one polling thread, which notes when each reader
// completes a block and the longest wait between two blocks of one reader.
class TimedReaders {
public:
    explicit TimedReaders(int n) {
        for (int i = 0; i < n; ++i)
            sockets_.push_back(net::connect("127.0.0.1", 8099));
        bytes_.assign(std::size_t(n), 0);
        thread_ = std::thread([this] { run(); });
    }
    ~TimedReaders() {
        for (auto& s : sockets_)
            ::shutdown(s.fd(), SHUT_RDWR);
        thread_.join();
    }
    // Starts timing: the first block of each reader is due from now.
    void start() {
        std::lock_guard lock(mutex_);
        last_.assign(sockets_.size(), Clock::now());
        timing_ = true;
    }
    void stopTiming() {
        std::lock_guard lock(mutex_);
        timing_ = false;
    }
    Clock::duration longestGap() {
        std::lock_guard lock(mutex_);
        return longest_;
    }
    std::size_t fewestBytes() {
        std::lock_guard lock(mutex_);
        return *std::min_element(bytes_.begin(), bytes_.end());
    }

private:
    void run() {
        std::vector<pollfd> fds;
        for (auto& s : sockets_)
            fds.push_back({s.fd(), POLLIN, 0});
        std::vector<char> chunk(1 << 16);
        std::size_t open = fds.size();
        while (open > 0 && ::poll(fds.data(), fds.size(), -1) >= 0) {
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || !fds[i].revents)
                    continue;
                const ssize_t n = ::recv(fds[i].fd, chunk.data(), chunk.size(), MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    fds[i].fd = -1;
                    --open;
                    continue;
                }
                if (n > 0)
                    count(i, std::size_t(n));
            }
        }
    }
    void count(std::size_t reader, std::size_t n) {
        std::lock_guard lock(mutex_);
        const std::size_t before = bytes_[reader] / RelayFixture::kBlock;
        bytes_[reader] += n;
        if (!timing_ || bytes_[reader] / RelayFixture::kBlock == before)
            return;
        const auto now = Clock::now();
        longest_ = std::max(longest_, now - last_[reader]);
        last_[reader] = now;
    }

    std::vector<net::Socket> sockets_;
    std::mutex mutex_;
    std::vector<std::size_t> bytes_;
    std::vector<Clock::time_point> last_;
    Clock::duration longest_{};
    bool timing_ = false;
    std::thread thread_;
};

// Fifty readers keep hearing a block every 50 ms while twenty clients that
// never read join in two waves and are dropped; no block waits for them.
TEST_F(RelaySecurity, ReadersKeepTheirPaceBesideClientsThatNeverRead) {
    startBroadcast();
    TimedReaders readers(50);
    ASSERT_TRUE(waitForClients(50));

    const std::vector<char> block = this->block(1);
    std::atomic<bool> done{false};
    std::atomic<int> fed{0};
    Clock::duration longestHandOver{};
    readers.start();
    std::thread capture([&] {
        auto next = Clock::now();
        while (!done) {
            const auto before = Clock::now();
            relay_.relayBlock(audio_->recorder(), const_cast<char*>(block.data()), nullptr,
                              std::uint16_t(kBlock));
            longestHandOver = std::max(longestHandOver, Clock::now() - before);
            ++fed;
            next += std::chrono::milliseconds(50);
            std::this_thread::sleep_until(next);
        }
    });
    for (int wave = 0; wave < 2; ++wave) {
        std::vector<net::Socket> silent;
        for (int i = 0; i < 10; ++i)
            silent.push_back(connectStalledClient());
        ASSERT_TRUE(waitForClients(60));
        EXPECT_TRUE(waitForClients(50)) << "clients that never read were not dropped";
    }
    const int target = fed + 10;
    EXPECT_TRUE(waitUntil([&] { return fed >= target; }));
    done = true;
    capture.join();
    readers.stopTiming();
    EXPECT_TRUE(waitUntil([&] { return readers.fewestBytes() >= std::size_t(fed) * kBlock; }))
        << "a reader lost blocks";
    const long gap = ms(readers.longestGap());
    std::printf("longest reader gap %ld ms, longest block hand-over %ld ms, %d blocks\n", gap,
                ms(longestHandOver), fed.load());
    std::fflush(stdout);
    EXPECT_LT(gap, 300);
}

// The connections the relay lists now. A newcomer's is none of those listed
// before it came, all of which still exist when it is made.
std::set<net::Connection*> listedIn(AudioRelay& relay) {
    ThreadListLock lock(*relay.ClientList);
    std::set<net::Connection*> listed;
    for (const ClientEntry* entry : lock.items())
        listed.insert(entry->Thread);
    return listed;
}

// Sixty-four clients that never read fill the relay before any sound; a
// reader still gets in, in the place of the one that joined first, and hears
// the broadcast.
TEST_F(RelaySecurity, SixtyFourIdleClientsDoNotLockAReaderOut) {
    startBroadcast();
    std::vector<net::Socket> idle;
    idle.push_back(net::connect("127.0.0.1", 8099));
    ASSERT_TRUE(waitForClients(1));
    for (int i = 1; i < 64; ++i)
        idle.push_back(net::connect("127.0.0.1", 8099));
    ASSERT_TRUE(waitForClients(64));

    const std::set<net::Connection*> before = listedIn(relay_);
    RelayClient reader;
    ASSERT_TRUE(waitUntil([&] { return !std::ranges::includes(before, listedIn(relay_)); }))
        << "the reader was not served";
    pollfd p{idle[0].fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1) << "the client that joined first was not dropped";
    char byte;
    EXPECT_EQ(::recv(idle[0].fd(), &byte, 1, 0), 0);
    EXPECT_TRUE(waitForClients(64));
    feedBlock(1);
    ASSERT_TRUE(reader.waitForBytes(kBlock));
    EXPECT_EQ(reader.bytes(), block(1));
}

// With sound flowing, the place goes to the newcomer at the expense of a
// client that stopped taking it, not of the reader that joined first.
TEST_F(RelaySecurity, ANewcomerTakesTheIdlestPlaceNotAReaders) {
    startBroadcast();
    RelayClient first;
    ASSERT_TRUE(waitForClients(1));
    std::vector<net::Socket> idle;
    for (int i = 1; i < 64; ++i)
        idle.push_back(net::connect("127.0.0.1", 8099));
    ASSERT_TRUE(waitForClients(64));
    // More than an idle client's receive buffer takes in.
    for (int k = 1; k <= 8; ++k)
        feedBlock(k);
    ASSERT_TRUE(first.waitForBytes(8 * kBlock));

    const std::set<net::Connection*> before = listedIn(relay_);
    RelayClient second;
    ASSERT_TRUE(waitUntil([&] { return !std::ranges::includes(before, listedIn(relay_)); }))
        << "the newcomer was not served";
    EXPECT_TRUE(waitForClients(64));
    feedBlock(9);
    ASSERT_TRUE(first.waitForBytes(9 * kBlock)) << "the reader was dropped";
    ASSERT_TRUE(second.waitForBytes(kBlock));
    EXPECT_EQ(second.bytes(), block(9));
}

// A client that takes none of the sound waiting for it is dropped after the
// idle limit, long before its socket's buffers are full. The reader, with
// nothing waiting for it through the same silence, stays.
TEST_F(RelaySecurity, AClientThatTakesNothingIsDroppedAfterTheIdleLimit) {
    relay_.tcpServer.IdleLimitMs = 1000;
    startBroadcast();
    RelayClient reader;
    ASSERT_TRUE(waitForClients(1));
    net::Socket idle = net::connect("127.0.0.1", 8099);
    ASSERT_TRUE(waitForClients(2));
    for (int k = 1; k <= 8; ++k)
        feedBlock(k);
    ASSERT_TRUE(reader.waitForBytes(8 * kBlock));
    ASSERT_TRUE(waitForClients(1)) << "the idle client was not dropped, or the reader was too";

    feedBlock(9);
    ASSERT_TRUE(reader.waitForBytes(9 * kBlock)) << "the reader was dropped";
    // The dropped connection ends after what its socket already held.
    std::vector<char> chunk(65536);
    ssize_t n;
    while ((n = ::recv(idle.fd(), chunk.data(), chunk.size(), 0)) > 0) {
    }
    EXPECT_EQ(n, 0);
}

// CPU time of this process so far, in clock ticks, read through a descriptor
// opened before the descriptors ran out.
long cpuTicks(int statFd) {
    char text[1024];
    const ssize_t n = ::pread(statFd, text, sizeof text - 1, 0);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const char* p = std::strrchr(text, ')'); // the command name may hold spaces
    long utime = 0, stime = 0;
    // Fields after the name: state, then 10 numbers before utime and stime.
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime,
                          &stime) != 2)
        return -1;
    return utime + stime;
}

// A child process that opens `count` connections to the relay and holds them
// until its pipe closes. Only system calls run after the fork.
pid_t holdConnections(int count, const int pipe[2], rlim_t descriptors) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::close(pipe[1]);
    struct rlimit limit {
        descriptors, descriptors
    };
    ::setrlimit(RLIMIT_NOFILE, &limit);
    // One at a time, as clients arrive, so that those the relay cannot take
    // wait in its listen queue.
    const timespec pause{0, 2'000'000};
    for (int i = 0; i < count; ++i) {
        startConnecting();
        ::nanosleep(&pause, nullptr);
    }
    char byte;
    while (::read(pipe[0], &byte, 1) > 0) {
    }
    ::_exit(0);
}

// Out of descriptors, the relay stops accepting for a while instead of
// retrying at once; given descriptors again, it serves its 64 clients.
TEST_F(RelaySecurity, OutOfDescriptorsTheRelayWaitsQuietly) {
    startBroadcast();
    const int statFd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(statFd, 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    struct rlimit saved {};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    struct rlimit tight = saved;
    tight.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const pid_t child = holdConnections(74, pipeFds, saved.rlim_max);
    ASSERT_GT(child, 0);
    ::close(pipeFds[0]);

    // The connections arrive, the descriptors run out; then the relay idles.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const int served = relay_.clientCount();
    const long ticksBefore = cpuTicks(statFd);
    const auto before = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const long ticks = cpuTicks(statFd) - ticksBefore;
    const double seconds = std::chrono::duration<double>(Clock::now() - before).count();
    const double percent = 100.0 * double(ticks) / double(::sysconf(_SC_CLK_TCK)) / seconds;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    std::printf("%d clients served at 64 descriptors; CPU %.1f %% over %.1f s\n", served, percent,
                seconds);
    std::fflush(stdout);
    EXPECT_GE(ticksBefore, 0);
    EXPECT_LT(served, 64);
    EXPECT_LT(percent, 5.0);

    EXPECT_TRUE(waitUntil([&] { return relay_.clientCount() >= 64; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(relay_.clientCount(), 64);

    ::close(pipeFds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(statFd);
    EXPECT_TRUE(waitForClients(0));
}

} // namespace
