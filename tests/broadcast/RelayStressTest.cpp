#include "RelayClient.h"
#include "RelayFixture.h"

#include <QCoreApplication>
#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

namespace {

int entries(const char* folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

using RelayStress = RelayFixture;

// Clients join and leave at random (reading a while, or never reading and
// hanging up) while blocks are recorded on a capture thread and re-queued by
// the main thread, for about eight seconds. One client stays throughout and
// must see whole blocks in recording order. Blocks come every 20 ms, about
// eighteen times the real rate at 22050 Hz: fast enough to keep the stalled
// clients timing out, yet within what a reading client takes from loopback
// under a sanitizer, so the steady client is never the one dropped.
TEST_F(RelayStress, ClientsComingAndGoingDuringABroadcast) {
    // A first thread makes a sanitizer runtime start its own helper thread,
    // which would otherwise count as one the broadcast left behind.
    std::thread([] {}).join();
    const int fdsBefore = entries("/proc/self/fd");
    const int threadsBefore = entries("/proc/self/task");
    startBroadcast();
    auto steady = std::make_unique<RelayClient>();
    ASSERT_TRUE(waitForClients(1));

    std::atomic<bool> done{false};
    std::atomic<int> fed{0}, joins{0};
    std::thread capture([&] {
        while (!done) {
            const std::vector<char> bytes = block(fed + 1);
            audio::virtual_input::feed(bytes.data(), bytes.size());
            ++fed;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::vector<std::thread> churn;
    for (int c = 0; c < 4; ++c) {
        churn.emplace_back([&, c] {
            std::mt19937 random(unsigned(c + 1));
            while (!done) {
                ++joins;
                if (random() % 3 == 0) {
                    net::Socket quiet = connectStalledClient(); // hangs up unread
                    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 30));
                } else {
                    RelayClient client;
                    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
                }
            }
        });
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    done = true;
    capture.join();
    for (auto& t : churn)
        t.join();
    stopBroadcast();
    ASSERT_TRUE(steady->waitForEnd());

    const std::vector<char> got = steady->bytes();
    ASSERT_EQ(got.size() % kBlock, 0u) << got.size() << " bytes after " << fed << " blocks fed";
    ASSERT_GT(got.size(), 10 * kBlock);
    int last = 0;
    for (std::size_t at = 0; at < got.size(); at += kBlock) {
        std::int16_t first;
        std::memcpy(&first, got.data() + at, 2);
        const int k = first / 1000 + (first % 1000 ? 1 : 0); // a block starts at k*1000 mod 2^15
        bool matched = false;
        for (int candidate = last + 1; candidate <= fed && !matched; ++candidate) {
            const auto block = this->block(candidate);
            if (std::equal(block.begin(), block.end(), got.begin() + std::ptrdiff_t(at))) {
                last = candidate;
                matched = true;
            }
        }
        ASSERT_TRUE(matched) << "block at " << at << " (first sample " << first << ", ~" << k
                             << ") is no recorded block after " << last;
    }
    steady.reset();
    EXPECT_GT(joins.load(), 20);
    EXPECT_EQ(relay_.tcpServer.threadCount(), 0);
    EXPECT_EQ(entries("/proc/self/fd"), fdsBefore);
    EXPECT_EQ(entries("/proc/self/task"), threadsBefore);
}

} // namespace
