// One block delivered by the relay (relayBlock queues a 32768-byte block,
// the server's listener thread sends it to every client) until every one of
// 1, 8, 32 and 64 loopback clients has read it, against a floor of blocking
// writes of the same block to as many plain loopback connections in a plain
// loop, also until every reader has read it.
#include "broadcast/AudioCapture.h"
#include "broadcast/AudioRelay.h"
#include "net/Socket.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kBlock = 32768;
const std::vector<char> gBlock(kBlock, 7);

// Loopback clients that read and discard everything until the server closes,
// counting the bytes all of them have read.
class Readers {
public:
    void add(net::Socket socket) {
        const int fd = socket.fd();
        sockets_.push_back(std::move(socket));
        threads_.emplace_back([this, fd] {
            std::vector<char> sink(65536);
            ssize_t n;
            while ((n = ::recv(fd, sink.data(), sink.size(), 0)) > 0)
                bytes_ += std::size_t(n);
        });
    }
    // Waits until the readers have read `total` bytes in all.
    void waitFor(std::size_t total) const {
        while (bytes_ < total)
            std::this_thread::yield();
    }
    ~Readers() {
        for (auto& s : sockets_)
            ::shutdown(s.fd(), SHUT_RDWR);
        for (auto& t : threads_)
            t.join();
    }

private:
    std::vector<net::Socket> sockets_;
    std::vector<std::thread> threads_;
    std::atomic<std::size_t> bytes_{0};
};

void BM_PlainWrites(benchmark::State& state) {
    const int clients = int(state.range(0));
    net::Socket listener = net::listen("127.0.0.1", 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    Readers readers;
    std::vector<net::Socket> servers;
    for (int i = 0; i < clients; ++i) {
        readers.add(net::connect("127.0.0.1", port));
        servers.emplace_back(::accept(listener.fd(), nullptr, nullptr));
    }
    std::size_t total = 0;
    for (auto _ : state) {
        for (auto& s : servers)
            benchmark::DoNotOptimize(net::sendAll(s.fd(), gBlock.data(), kBlock, -1));
        total += kBlock * std::size_t(clients);
        readers.waitFor(total);
    }
}

void BM_RelayBlock(benchmark::State& state) {
    const int clients = int(state.range(0));
    AudioCapture audio;
    AudioRelay relay;
    relay.broadcasting = true;
    relay.ClientList = std::make_unique<ThreadList<ClientEntry*>>();
    relay.tcpServer.setActive(true);
    {
        Readers readers;
        for (int i = 0; i < clients; ++i)
            readers.add(net::connect("127.0.0.1", AudioRelay::kPort));
        while (relay.clientCount() < clients)
            std::this_thread::yield();
        char* block = const_cast<char*>(gBlock.data());
        std::size_t total = 0;
        for (auto _ : state) {
            relay.relayBlock(audio.recorder(), block, nullptr, std::uint16_t(kBlock));
            total += kBlock * std::size_t(clients);
            readers.waitFor(total);
        }
        relay.tcpServer.setActive(false);
    }
    relay.ClientList.reset();
}

BENCHMARK(BM_PlainWrites)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Repetitions(3)->UseRealTime();
BENCHMARK(BM_RelayBlock)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Repetitions(3)->UseRealTime();

// Keeps the fastest wall time per iteration of each benchmark and argument:
// the least disturbed by other work on the shared machine.
class FastestPerArgument : public benchmark::ConsoleReporter {
public:
    FastestPerArgument()
        : ConsoleReporter(OO_Tabular) {} // no colour codes before `ratio`
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            const double t = run.real_accumulated_time / double(run.iterations);
            auto [it, fresh] = seconds.emplace(key, t);
            if (!fresh)
                it->second = std::min(it->second, t);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("KOLVADECK_AUDIO", "virtual");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    FastestPerArgument reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* clients : {"1", "8", "32", "64"}) {
        const double floor = reporter.seconds[std::string("BM_PlainWrites/") + clients];
        const double ours = reporter.seconds[std::string("BM_RelayBlock/") + clients];
        if (floor > 0)
            std::printf("ratio audio1record_%s %.3f\n", clients, ours / floor);
    }
    benchmark::Shutdown();
    return 0;
}
