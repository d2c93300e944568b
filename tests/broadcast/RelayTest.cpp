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

std::vector<char> Concat(std::initializer_list<int> blocks) {
    std::vector<char> out;
    for (int k : blocks) {
        const auto b = RelayFixture::Block(k);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST_F(AudioRelayTest, NothingListensBeforeTheStartNorAfterTheStop) {
    EXPECT_TRUE(RelayPortRefuses());
    StartBroadcast();
    EXPECT_FALSE(RelayPortRefuses());
    StopBroadcast();
    EXPECT_TRUE(RelayPortRefuses());
    // A second broadcast starts from a new, empty list.
    StartBroadcast();
    EXPECT_EQ(relay_.ClientCount(), 0);
    EXPECT_FALSE(RelayPortRefuses());
}

TEST_F(AudioRelayTest, BlocksWithNoClientAreDropped) {
    StartBroadcast();
    FeedBlock(1);
    FeedBlock(2);
    RelayClient client;
    ASSERT_TRUE(WaitForClients(1));
    FeedBlock(3);
    ASSERT_TRUE(client.WaitForBytes(kBlock));
    StopBroadcast();
    ASSERT_TRUE(client.WaitForEnd());
    EXPECT_EQ(client.Bytes(), Concat({3}));
}

TEST_F(AudioRelayTest, ClientsGetIdenticalStreamsFromTheBlockAfterJoining) {
    StartBroadcast();
    RelayClient first;
    ASSERT_TRUE(WaitForClients(1));
    FeedBlock(1);
    FeedBlock(2);
    RelayClient second;
    ASSERT_TRUE(WaitForClients(2));
    FeedBlock(3);
    FeedBlock(4);
    ASSERT_TRUE(first.WaitForBytes(4 * kBlock));
    ASSERT_TRUE(second.WaitForBytes(2 * kBlock));
    StopBroadcast(); // closes both connections and runs their disconnect handlers
    EXPECT_EQ(relay_.ClientList, nullptr);
    ASSERT_TRUE(first.WaitForEnd());
    ASSERT_TRUE(second.WaitForEnd());

    const std::vector<char> a = first.Bytes(), b = second.Bytes();
    EXPECT_EQ(a, Concat({1, 2, 3, 4}));
    EXPECT_EQ(b, Concat({3, 4})); // begins on a block boundary
    EXPECT_TRUE(std::equal(b.begin(), b.end(), a.end() - std::ptrdiff_t(b.size())));
}

TEST_F(AudioRelayTest, AKilledClientLeavesTheBroadcastRunning) {
    StartBroadcast();
    auto killed = std::make_unique<RelayClient>();
    ASSERT_TRUE(WaitForClients(1));
    RelayClient survivor;
    ASSERT_TRUE(WaitForClients(2));
    FeedBlock(1);
    ASSERT_TRUE(killed->WaitForBytes(kBlock));
    killed.reset();
    ASSERT_TRUE(WaitForClients(1)); // its entry goes when its thread ends
    FeedBlock(2);
    FeedBlock(3);
    ASSERT_TRUE(survivor.WaitForBytes(3 * kBlock));
    EXPECT_TRUE(relay_.Broadcasting);
    EXPECT_TRUE(audio_->Recorder().IsOpen);
    EXPECT_EQ(survivor.Bytes(), Concat({1, 2, 3}));
    EXPECT_EQ(relay_.tcpServer.ThreadCount(), 1);
}

TEST_F(AudioRelayTest, AStalledClientIsDroppedAndTheOthersKeepReceiving) {
    StartBroadcast();
    RelayClient reader;
    ASSERT_TRUE(WaitForClients(1));
    net::Socket stalled = ConnectStalledClient();
    ASSERT_TRUE(WaitForClients(2));
    // Blocks go on until the stalled client's socket buffers are full and it
    // falls more than the queue's slack behind. The reader takes each block
    // before the next is fed, so however slow the machine, it is never the
    // client that falls behind.
    int fed = 0;
    std::chrono::milliseconds longestPass{0};
    while (relay_.ClientCount() == 2 && fed < 2000) {
        const auto before = std::chrono::steady_clock::now();
        FeedBlock(++fed);
        longestPass = std::max(longestPass, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - before));
        ASSERT_TRUE(reader.WaitForBytes(std::size_t(fed) * kBlock));
    }
    ASSERT_TRUE(WaitForClients(1)) << "the stalled client was never dropped";
    for (int more = 0; more < 3; ++more)
        FeedBlock(++fed);
    ASSERT_TRUE(reader.WaitForBytes(std::size_t(fed) * kBlock));
    std::vector<char> expected;
    for (int k = 1; k <= fed; ++k) {
        const auto b = Block(k);
        expected.insert(expected.end(), b.begin(), b.end());
    }
    EXPECT_EQ(reader.Bytes(), expected);
    // No block waited for the stalled client (the bound is loose so that a
    // loaded machine does not fail it; a waiting write would take seconds).
    EXPECT_LT(longestPass.count(), 1000);
    // The dropped connection was closed by the server.
    char byte;
    std::size_t drained = 0;
    ssize_t n;
    while ((n = ::recv(stalled.Fd(), &byte, 1, 0)) > 0)
        ++drained;
    EXPECT_EQ(n, 0);
    EXPECT_LT(drained, std::size_t(fed) * kBlock);
}

TEST_F(AudioRelayTest, ATakenPortMakesTheActivationFail) {
    net::Socket other = net::Listen("127.0.0.1", 8099);
    relay_.Broadcasting = true;
    relay_.ClientList = std::make_unique<ThreadList<ClientEntry*>>();
    try {
        relay_.tcpServer.SetActive(true);
        FAIL() << "activation succeeded on a taken port";
    } catch (const net::SocketError& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address already in use");
    }
    EXPECT_FALSE(relay_.tcpServer.Active());
    relay_.ClientList.reset();
    relay_.Broadcasting = false;
}

TEST_F(AudioRelayTest, ServerBindsOnlyTheLoopbackAddress) {
    StartBroadcast();
    // Another address of this machine on the same port is free to bind.
    EXPECT_NO_THROW(net::Listen("127.0.0.2", 8099));
}

// Sixty-four clients connecting while nobody accepts are all taken into the
// listen queue at once; a short queue leaves the rest to the kernel's SYN
// retries, a second or more each.
TEST(TcpServer, AFullRelayOfClientsFitsTheListenQueue) {
    net::Socket listener = net::Listen("127.0.0.1", 8099);
    std::vector<net::Socket> clients;
    for (int i = 0; i < 64; ++i)
        clients.emplace_back(StartConnecting());
    int established = 0;
    for (auto& c : clients) {
        pollfd p{c.Fd(), POLLOUT, 0};
        int error = -1;
        socklen_t size = sizeof error;
        if (::poll(&p, 1, 500) == 1)
            ::getsockopt(c.Fd(), SOL_SOCKET, SO_ERROR, &error, &size);
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
        EXPECT_THROW(t.WriteBuffer("x", 1), net::SocketError);
        ++disconnects;
    };
    server.SetActive(true);
    {
        net::Socket client = net::Connect("127.0.0.1", 8099);
        ASSERT_TRUE(WaitUntil([&] {
            std::lock_guard lock(m);
            return peer != nullptr;
        }));
        char data[4] = {1, 2, 3, 4};
        peer->WriteBuffer(data, 4);
        char got[4];
        ASSERT_EQ(::recv(client.Fd(), got, 4, MSG_WAITALL), 4);
        EXPECT_EQ(std::memcmp(got, data, 4), 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return disconnects == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return server.ThreadCount() == 0; }));
    server.SetActive(false);
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
    server.SetActive(true);
    net::Socket client = net::Connect("127.0.0.1", 8099);
    char byte;
    EXPECT_EQ(::recv(client.Fd(), &byte, 1, 0), 0); // closed by the server
    ASSERT_TRUE(WaitUntil([&] { return server.ThreadCount() == 0; }));
    server.SetActive(false);
    EXPECT_EQ(disconnects, 1);
    std::lock_guard lock(m);
    EXPECT_EQ(reports, std::vector<std::string>{"connect: list is gone"});
}

} // namespace
