// Play-to-sound latency and dropouts of the real output, on a private
// PulseAudio server (the tests' configuration):
//   - latency: from DeckPlayer::Play to the tone at ci_sink.monitor, against
//     `paplay` of the same tone measured the same way (from the spawn), each
//     the median of several repetitions;
//   - dropouts: two decks play for a minute while two processes spin on the
//     CPU at normal priority; printed as underruns (the engine's counter) and
//     gaps longer than 5 ms in the recorded monitor, both per hour;
//   - the decode margin: the longest the decoder thread took, under the same
//     load, from a deck's ring falling short to it being full again.
#include "bench/BenchSupport.h"
#include "platform/audio/DeckChannel.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/UnderrunCount.h"
#include "tests/support/SignalMeasure.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;

std::string gMp3, gWav;
std::vector<double> gOursMs, gPaplayMs;

pid_t Spawn(std::vector<std::string> args, int stdoutFd = -1) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return err == 0 ? pid : -1;
}

void End(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

// parec on the speakers' monitor, read by a thread that dates every sample:
// the arrival of its block, less the samples that follow it in the block.
class MonitorTap {
public:
    explicit MonitorTap(bool keep)
        : keep_(keep) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = Spawn({"parec", "-d", "ci_sink.monitor", "--raw", "--format=float32le",
                      "--rate=44100", "--channels=1", "--latency-msec=5"},
                     fds[1]);
        ::close(fds[1]);
        fd_ = fds[0];
        reader_ = std::thread([this] { Read(); });
    }
    ~MonitorTap() {
        End(pid_);
        reader_.join();
        ::close(fd_);
    }
    // The time of the first sound after since, or nullopt after the limit.
    std::optional<Clock::time_point> SoundAfter(Clock::time_point since) {
        const auto limit = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < limit) {
            {
                std::lock_guard lock(mutex_);
                for (auto t : loud_)
                    if (t >= since)
                        return t;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::nullopt;
    }
    std::vector<float> Samples() {
        std::lock_guard lock(mutex_);
        return samples_;
    }

private:
    void Read() {
        std::vector<float> block(4096);
        for (;;) {
            const ssize_t got = ::read(fd_, block.data(), block.size() * sizeof(float));
            if (got <= 0)
                return;
            const auto arrival = Clock::now();
            const std::size_t n = std::size_t(got) / sizeof(float);
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < n; ++i) {
                if (std::abs(block[i]) > 0.05f) {
                    loud_.push_back(arrival -
                                    std::chrono::microseconds((n - 1 - i) * 1000000 / kRate));
                    break;
                }
            }
            if (keep_)
                samples_.insert(samples_.end(), block.begin(), block.begin() + long(n));
        }
    }
    const bool keep_;
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Clock::time_point> loud_; // the first loud sample of each block
    std::vector<float> samples_;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Quiet(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BM_PaplayLatency(benchmark::State& state) {
    MonitorTap tap(false);
    Quiet(300);
    for (auto _ : state) {
        const auto start = Clock::now();
        const pid_t pid = Spawn({"paplay", gWav});
        const auto heard = tap.SoundAfter(start);
        End(pid);
        if (!heard) {
            state.SkipWithError("paplay was not heard");
            return;
        }
        gPaplayMs.push_back(Ms(*heard - start));
        state.SetIterationTime(Ms(*heard - start) / 1000);
        Quiet(300);
    }
}

void BM_PlayLatency(benchmark::State& state) {
    audio::RealtimeAudioEngine engine;
    MonitorTap tap(false);
    for (auto _ : state) {
        audio::DeckPlayer deck(engine);
        deck.Open(gMp3);
        Quiet(300); // the decoder fills the deck's ring; the monitor falls silent
        const auto start = Clock::now();
        deck.Play();
        const auto heard = tap.SoundAfter(start);
        deck.Close();
        if (!heard) {
            state.SkipWithError("the deck was not heard");
            return;
        }
        gOursMs.push_back(Ms(*heard - start));
        state.SetIterationTime(Ms(*heard - start) / 1000);
    }
}

BENCHMARK(BM_PaplayLatency)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayLatency)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Two shell loops that spin at normal priority until ended.
struct Burners {
    Burners() {
        for (pid_t& pid : pids)
            pid = Spawn({"sh", "-c", "while :; do :; done"});
    }
    ~Burners() {
        for (pid_t pid : pids)
            End(pid);
    }
    pid_t pids[2]{};
};

// The longest the decoder took to top up a deck's ring (wake-up included),
// on this thread at normal priority while the burners run: the margin the
// ring must keep ahead of the output at the least.
double WorstDecodeBurstMs(int seconds) {
    audio::DeckChannel channel;
    channel.Open(gMp3);
    double worst = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<audio::StereoFrame> sink(kRate / 50);
    while (Clock::now() < end) {
        // The output takes 20 ms; the decoder sleeps its 20 ms and refills.
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        channel.Play();
        channel.MixInto(sink.data(), sink.size());
        channel.Refill(audio::DeckChannel::kRingFrames);
        worst = std::max(worst, Ms(Clock::now() - start) - 20);
        if (!channel.IsPlaying()) // the file ended: start it again
            channel.Open(gMp3);
    }
    return worst;
}

struct DropoutRun {
    std::uint64_t underruns = 0;
    std::size_t gaps = 0;
    double seconds = 0;
};

DropoutRun PlayUnderLoad(int seconds) {
    DropoutRun run;
    audio::RealtimeAudioEngine engine;
    audio::DeckPlayer a(engine), b(engine);
    MonitorTap tap(true);
    a.Open(benchsupport::Mp3("tone-1k-long", {"130", "sine", "1000", "vol", "0.3"}, 192));
    b.Open(benchsupport::Mp3("tone-3k-long", {"130", "sine", "3000", "vol", "0.3"}, 192));
    Quiet(300);
    const std::uint64_t before = audio::UnderrunCount();
    a.Play();
    b.Play();
    Quiet(seconds * 1000);
    run.underruns = audio::UnderrunCount() - before;
    a.Close();
    b.Close();
    Quiet(300);
    run.gaps = measure::Gaps(tap.Samples(), kRate * 5 / 1000).size();
    run.seconds = seconds;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir pulse;
    const QString script = QStringLiteral(KV_SOURCE_DIR "/scripts/pulse-server.sh");
    if (!benchsupport::Run(script, {"start", pulse.path()})) {
        std::fprintf(stderr, "the private PulseAudio server did not start\n");
        return 1;
    }
    ::setenv("PULSE_SERVER", ("unix:" + pulse.path() + "/native").toUtf8().constData(), 1);
    gMp3 = benchsupport::Mp3("tone-1k-3s", {"3", "sine", "1000", "vol", "0.5"}, 192);
    gWav = "/tmp/kolvadeck-bench-tone-1k-3s.wav";
    const bool wav =
        benchsupport::Run("sox", {"-n", "-r", "44100", "-c", "2", QString::fromStdString(gWav),
                                  "synth", "3", "sine", "1000", "vol", "0.5"});
    int status = 0;
    if (gMp3.empty() || !wav) {
        std::fprintf(stderr, "could not make the tone files (sox, lame)\n");
        status = 1;
    } else {
        benchmark::Initialize(&argc, argv);
        benchsupport::FastestRunReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        const double ours = Median(gOursMs), paplay = Median(gPaplayMs);
        std::printf("play-to-sound median: kolvadeck %.1f ms, paplay %.1f ms\n", ours, paplay);
        benchsupport::PrintRatio("play_to_sound_latency_vs_paplay", ours, paplay);

        const int seconds = std::getenv("KV_BENCH_DROPOUT_SECONDS")
                                ? std::atoi(std::getenv("KV_BENCH_DROPOUT_SECONDS"))
                                : 60;
        Burners burners;
        std::printf("decode burst under load, worst: %.1f ms (ring: %.0f ms)\n",
                    WorstDecodeBurstMs(10),
                    1000.0 * double(audio::DeckChannel::kRingFrames) / kRate);
        const DropoutRun run = PlayUnderLoad(seconds);
        std::printf("output thread: %s\n", audio::RealtimeSchedulingState().c_str());
        std::printf("underruns_per_hour %.0f gaps_over_5ms_per_hour %.0f "
                    "(%llu underruns, %zu gaps in %.0f s of two decks under two CPU burners)\n",
                    double(run.underruns) * 3600 / run.seconds,
                    double(run.gaps) * 3600 / run.seconds,
                    static_cast<unsigned long long>(run.underruns), run.gaps, run.seconds);
        benchmark::Shutdown();
    }
    benchsupport::Run(script, {"stop", pulse.path()});
    return status;
}
