#include "RelayClient.h"
#include "RelayFixture.h"
#include "net/NetError.h"

#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

using AudioRelayTest = RelayFixture;

std::vector<char> concat(std::initializer_list<int> blocks) {
    std::vector<char> out;
    for (int k : blocks) {
        const auto b = RelayFixture::block(k);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST_F(AudioRelayTest, NothingListensBeforeTheStartNorAfterTheStop) {
    EXPECT_TRUE(relayPortRefuses());
    startBroadcast();
    EXPECT_FALSE(relayPortRefuses());
    stopBroadcast();
    EXPECT_TRUE(relayPortRefuses());
    // A second broadcast starts from a new, empty list.
    startBroadcast();
    EXPECT_EQ(relay_.clientCount(), 0);
    EXPECT_FALSE(relayPortRefuses());
}

TEST_F(AudioRelayTest, BlocksWithNoClientAreDropped) {
    startBroadcast();
    feedBlock(1);
    feedBlock(2);
    RelayClient client;
    ASSERT_TRUE(waitForClients(1));
    feedBlock(3);
    ASSERT_TRUE(client.waitForBytes(kBlock));
    stopBroadcast();
    ASSERT_TRUE(client.waitForEnd());
    EXPECT_EQ(client.bytes(), concat({3}));
}

TEST_F(AudioRelayTest, ClientsGetIdenticalStreamsFromTheBlockAfterJoining) {
    startBroadcast();
    RelayClient first;
    ASSERT_TRUE(waitForClients(1));
    feedBlock(1);
    feedBlock(2);
    RelayClient second;
    ASSERT_TRUE(waitForClients(2));
    feedBlock(3);
    feedBlock(4);
    ASSERT_TRUE(first.waitForBytes(4 * kBlock));
    ASSERT_TRUE(second.waitForBytes(2 * kBlock));
    stopBroadcast(); // closes both connections and runs their disconnect handlers
    EXPECT_EQ(relay_.ClientList, nullptr);
    ASSERT_TRUE(first.waitForEnd());
    ASSERT_TRUE(second.waitForEnd());

    const std::vector<char> a = first.bytes(), b = second.bytes();
    EXPECT_EQ(a, concat({1, 2, 3, 4}));
    EXPECT_EQ(b, concat({3, 4})); // begins on a block boundary
    EXPECT_TRUE(std::equal(b.begin(), b.end(), a.end() - std::ptrdiff_t(b.size())));
}

TEST_F(AudioRelayTest, AKilledClientLeavesTheBroadcastRunning) {
    startBroadcast();
    auto killed = std::make_unique<RelayClient>();
    ASSERT_TRUE(waitForClients(1));
    RelayClient survivor;
    ASSERT_TRUE(waitForClients(2));
    feedBlock(1);
    ASSERT_TRUE(killed->waitForBytes(kBlock));
    killed.reset();
    ASSERT_TRUE(waitForClients(1)); // its entry goes when its thread ends
    feedBlock(2);
    feedBlock(3);
    ASSERT_TRUE(survivor.waitForBytes(3 * kBlock));
    EXPECT_TRUE(relay_.broadcasting);
    EXPECT_TRUE(audio_->recorder().isOpen);
    EXPECT_EQ(survivor.bytes(), concat({1, 2, 3}));
    EXPECT_EQ(relay_.tcpServer.threadCount(), 1);
}

TEST_F(AudioRelayTest, AStalledClientIsDroppedAndTheOthersKeepReceiving) {
    startBroadcast();
    RelayClient reader;
    ASSERT_TRUE(waitForClients(1));
    net::Socket stalled = connectStalledClient();
    ASSERT_TRUE(waitForClients(2));
    // Blocks go on until the stalled client's socket buffers are full and it
    // falls more than the queue's slack behind. The reader takes each block
    // before the next is fed, so however slow the machine, it is never the
    // client that falls behind.
    int fed = 0;
    std::chrono::milliseconds longestPass{0};
    while (relay_.clientCount() == 2 && fed < 2000) {
        const auto before = std::chrono::steady_clock::now();
        feedBlock(++fed);
        longestPass = std::max(longestPass, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - before));
        ASSERT_TRUE(reader.waitForBytes(std::size_t(fed) * kBlock));
    }
    ASSERT_TRUE(waitForClients(1)) << "the stalled client was never dropped";
    for (int more = 0; more < 3; ++more)
        feedBlock(++fed);
    ASSERT_TRUE(reader.waitForBytes(std::size_t(fed) * kBlock));
    std::vector<char> expected;
    for (int k = 1; k <= fed; ++k) {
        const auto b = block(k);
        expected.insert(expected.end(), b.begin(), b.end());
    }
    EXPECT_EQ(reader.bytes(), expected);
    // No block waited for the stalled client (the bound is loose so that a
    // loaded machine does not fail it; a waiting write would take seconds).
    EXPECT_LT(longestPass.count(), 1000);
    // The dropped connection was closed by the server.
    char byte;
    std::size_t drained = 0;
    ssize_t n;
    while ((n = ::recv(stalled.fd(), &byte, 1, 0)) > 0)
        ++drained;
    EXPECT_EQ(n, 0);
    EXPECT_LT(drained, std::size_t(fed) * kBlock);
}

TEST_F(AudioRelayTest, ATakenPortMakesTheActivationFail) {
    net::Socket other = net::listen("127.0.0.1", 8099);
    relay_.broadcasting = true;
    relay_.ClientList = std::make_unique<ThreadList<ClientEntry*>>();
    try {
        relay_.tcpServer.setActive(true);
        FAIL() << "activation succeeded on a taken port";
    } catch (const net::SocketError& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address already in use");
    }
    EXPECT_FALSE(relay_.tcpServer.active());
    relay_.ClientList.reset();
    relay_.broadcasting = false;
}

TEST_F(AudioRelayTest, ServerBindsOnlyTheLoopbackAddress) {
    startBroadcast();
    // Another address of this machine on the same port is free to bind.
    EXPECT_NO_THROW(net::listen("127.0.0.2", 8099));
}

// Sixty-four clients connecting while nobody accepts are all taken into the
// listen queue at once; a short queue leaves the rest to the kernel's SYN
// retries, a second or more each.
TEST(TcpServer, AFullRelayOfClientsFitsTheListenQueue) {
    net::Socket listener = net::listen("127.0.0.1", 8099);
    std::vector<net::Socket> clients;
    for (int i = 0; i < 64; ++i)
        clients.emplace_back(startConnecting());
    int established = 0;
    for (auto& c : clients) {
        pollfd p{c.fd(), POLLOUT, 0};
        int error = -1;
        socklen_t size = sizeof error;
        if (::poll(&p, 1, 500) == 1)
            ::getsockopt(c.fd(), SOL_SOCKET, SO_ERROR, &error, &size);
        established += error == 0;
    }
    EXPECT_EQ(established, 64);
}

TEST(TcpServer, WriteBufferRaisesOnAClosedConnection) {
    net::TcpServer server;
    server.Bindings = {"127.0.0.1", 8099};
    std::mutex m;
    net::Connection* peer = nullptr;
    std::atomic<int> disconnects{0};
    server.OnConnect = [&](net::Connection& t) {
        std::lock_guard lock(m);
        peer = &t;
    };
    server.OnDisconnect = [&](net::Connection& t) {
        EXPECT_THROW(t.writeBuffer("x", 1), net::SocketError);
        ++disconnects;
    };
    server.setActive(true);
    {
        net::Socket client = net::connect("127.0.0.1", 8099);
        ASSERT_TRUE(waitUntil([&] {
            std::lock_guard lock(m);
            return peer != nullptr;
        }));
        char data[4] = {1, 2, 3, 4};
        peer->writeBuffer(data, 4);
        char got[4];
        ASSERT_EQ(::recv(client.fd(), got, 4, MSG_WAITALL), 4);
        EXPECT_EQ(std::memcmp(got, data, 4), 0);
    }
    ASSERT_TRUE(waitUntil([&] { return disconnects == 1; }));
    ASSERT_TRUE(waitUntil([&] { return server.threadCount() == 0; }));
    server.setActive(false);
    EXPECT_EQ(disconnects, 1);
}

// A handler that throws ends its connection; the owner hears which handler
// and what it threw, and the disconnect handler still runs.
TEST(TcpServer, AThrowingHandlerIsReportedAndTheConnectionEnds) {
    net::TcpServer server;
    server.Bindings = {"127.0.0.1", 8099};
    std::mutex m;
    std::vector<std::string> reports;
    std::atomic<int> disconnects{0};
    server.OnConnect = [](net::Connection&) { throw std::runtime_error("list is gone"); };
    server.OnDisconnect = [&](net::Connection&) { ++disconnects; };
    server.OnException = [&](const char* handler, const std::string& what) {
        std::lock_guard lock(m);
        reports.push_back(std::string(handler) + ": " + what);
    };
    server.setActive(true);
    net::Socket client = net::connect("127.0.0.1", 8099);
    char byte;
    EXPECT_EQ(::recv(client.fd(), &byte, 1, 0), 0); // closed by the server
    ASSERT_TRUE(waitUntil([&] { return server.threadCount() == 0; }));
    server.setActive(false);
    EXPECT_EQ(disconnects, 1);
    std::lock_guard lock(m);
    EXPECT_EQ(reports, std::vector<std::string>{"connect: list is gone"});
}

} // namespace
