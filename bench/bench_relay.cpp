// One pass of the relay's block handler (Audio1Record: a 32768-byte block
// written to every connected client under the client list's lock) over 1, 8,
// 32 and 100 loopback clients, against a floor of the same blocking writes of
// the same block to as many plain loopback connections in a plain loop.
#include "broadcast/Audio.h"
#include "broadcast/AudioRelay.h"
#include "net/Socket.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
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

// Loopback clients that read and discard everything until the server closes.
class Readers {
public:
    void Add(net::Socket socket) {
        const int fd = socket.Fd();
        sockets_.push_back(std::move(socket));
        threads_.emplace_back([fd] {
            std::vector<char> sink(65536);
            while (::recv(fd, sink.data(), sink.size(), 0) > 0) {
            }
        });
    }
    ~Readers() {
        for (auto& s : sockets_)
            ::shutdown(s.Fd(), SHUT_RDWR);
        for (auto& t : threads_)
            t.join();
    }

private:
    std::vector<net::Socket> sockets_;
    std::vector<std::thread> threads_;
};

void BM_PlainWrites(benchmark::State& state) {
    const int clients = int(state.range(0));
    net::Socket listener = net::Listen("127.0.0.1", 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener.Fd(), reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    Readers readers;
    std::vector<net::Socket> servers;
    for (int i = 0; i < clients; ++i) {
        readers.Add(net::Connect("127.0.0.1", port));
        servers.emplace_back(::accept(listener.Fd(), nullptr, nullptr));
    }
    for (auto _ : state)
        for (auto& s : servers)
            benchmark::DoNotOptimize(net::SendAll(s.Fd(), gBlock.data(), kBlock, -1));
}

void BM_Audio1Record(benchmark::State& state) {
    const int clients = int(state.range(0));
    TAudio audio;
    TAudioRelay relay;
    relay.Broadcasting = true;
    relay.ClientList = std::make_unique<TThreadList<ClientEntry*>>();
    relay.audiotcpserver.SetActive(true);
    {
        Readers readers;
        for (int i = 0; i < clients; ++i)
            readers.Add(net::Connect("127.0.0.1", TAudioRelay::kPort));
        while (relay.ClientCount() < clients)
            std::this_thread::yield();
        char* block = const_cast<char*>(gBlock.data());
        for (auto _ : state)
            relay.Audio1Record(audio.Recorder(), block, nullptr, std::uint16_t(kBlock));
        relay.audiotcpserver.SetActive(false);
    }
    relay.ClientList.reset();
}

BENCHMARK(BM_PlainWrites)->Arg(1)->Arg(8)->Arg(32)->Arg(100)->Repetitions(3)->UseRealTime();
BENCHMARK(BM_Audio1Record)->Arg(1)->Arg(8)->Arg(32)->Arg(100)->Repetitions(3)->UseRealTime();

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
    for (const char* clients : {"1", "8", "32", "100"}) {
        const double floor = reporter.seconds[std::string("BM_PlainWrites/") + clients];
        const double ours = reporter.seconds[std::string("BM_Audio1Record/") + clients];
        if (floor > 0)
            std::printf("ratio audio1record_%s %.3f\n", clients, ours / floor);
    }
    benchmark::Shutdown();
    return 0;
}
