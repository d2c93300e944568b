// The real output on a private PulseAudio server (the tests' configuration),
// each figure against a peer or a floor measured in the same run:
//   - play to sound: from DeckPlayer::play on a program already running (its
//     stream resting) to the tone at ci_sink.monitor, against the same tone
//     written to an already connected `pacat` at the same moment; medians;
//   - a deck started while another plays, and Stop, against their targets
//     (heard within 150 ms; silent within 50 ms);
//   - dropouts: two decks for KV_BENCH_DROPOUT_SECONDS (default 180) beside
//     two real-time processes (SCHED_FIFO 3, busy 40 ms of 50) and a CPU
//     burner, then `paplay` of the same two tones under the same stress;
//     runs of zero samples of 3 ms or more in the monitor, (ours + 1) over
//     (paplay's + 1);
//   - the hand-over under the same stress: a list of two tones played by the
//     deck engine on its own timers; from the monitor recording, how far from
//     its due sample the incoming tone started (the shift that best fits its
//     rise to the planned fade), against 20 ms, and the largest departure of
//     any 100 ms window of the fade from the planned gain, against 0.5 dB;
//   - idle: this process's CPU time over 10 s with the engine connected and
//     nothing playing, against a floor of 10 ms.
#include "bench/BenchSupport.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/audio/DeckChannel.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/GainCurve.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/UnderrunCount.h"
#include "tests/support/SignalMeasure.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;

std::string gMp3, gWav;
std::vector<double> gOursMs, gPeerMs;

pid_t spawn(std::vector<std::string> args, int stdoutFd = -1) {
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

void end(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// parec on the speakers' monitor, read by a thread that dates every sample:
// the arrival of its block, less the samples that follow it in the block.
class MonitorTap {
public:
    // keep: the samples are kept for reading back. A deep recording asks the
    // server to hold a second for this client: beside real-time work the
    // recorder is starved too, and with a shallow buffer the server drops
    // what it could not hand over, which shortens the recording's timeline.
    // Only the first-sound dating (SoundAfter, MsUntil) needs a shallow one.
    enum class Depth { Shallow, Deep };
    explicit MonitorTap(bool keep, Depth depth = Depth::Shallow)
        : keep_(keep) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = spawn({"parec", "-d", "ci_sink.monitor", "--raw", "--format=float32le",
                      "--rate=44100", "--channels=1",
                      depth == Depth::Deep ? "--latency-msec=1000" : "--latency-msec=5"},
                     fds[1]);
        ::close(fds[1]);
        fd_ = fds[0];
        reader_ = std::thread([this] { read(); });
    }
    ~MonitorTap() {
        end(pid_);
        reader_.join();
        ::close(fd_);
    }
    // The time of the first sound after since, or nullopt after the limit.
    std::optional<Clock::time_point> soundAfter(Clock::time_point since) {
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
    std::vector<float> samples() {
        std::lock_guard lock(mutex_);
        return samples_;
    }
    // Ms from `since` to the first 10 ms window after it for which test()
    // holds; each sample is dated by its block's arrival. -1 when none does.
    template <typename Test> double msUntil(Clock::time_point since, Test test) {
        std::lock_guard lock(mutex_);
        const std::size_t window = kRate / 100;
        for (std::size_t i = 0; i + window <= samples_.size(); i += window / 4) {
            const Clock::time_point at = timeOf(i);
            if (at < since)
                continue;
            if (test(std::vector<float>(samples_.begin() + long(i),
                                        samples_.begin() + long(i + window))))
                return ms(at - since);
        }
        return -1;
    }

private:
    void read() {
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
            if (keep_) {
                samples_.insert(samples_.end(), block.begin(), block.begin() + long(n));
                blocks_.push_back({samples_.size(), arrival});
            }
        }
    }
    const bool keep_;
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Clock::time_point> loud_; // the first loud sample of each block
    std::vector<float> samples_;
    // The end of each block in samples_, and when it arrived.
    struct Block {
        std::size_t end;
        Clock::time_point arrival;
    };
    std::vector<Block> blocks_;

    Clock::time_point timeOf(std::size_t sample) const {
        const auto block =
            std::lower_bound(blocks_.begin(), blocks_.end(), sample + 1,
                             [](const Block& b, std::size_t s) { return b.end < s; });
        if (block == blocks_.end())
            return Clock::time_point::max();
        return block->arrival -
               std::chrono::microseconds((block->end - 1 - sample) * 1000000 / kRate);
    }
};

void quiet(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// `pacat` connected before the command and fed the tone at the command.
void BM_PacatLatency(benchmark::State& state) {
    MonitorTap tap(false);
    // Three seconds: more than pacat's default prebuffer (2 s), so that its
    // stream starts on the write itself rather than at the end of its input.
    std::vector<float> tone(std::size_t(kRate) * 2 * 3);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * float(std::sin(2 * M_PI * 1000 * double(i / 2) / kRate));
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<std::string> args{"pacat", "--raw", "--format=float32le", "--rate=44100",
                                      "--channels=2"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        posix_spawnp(&pid, "pacat", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        quiet(500); // connected, waiting for its input
        const auto start = Clock::now();
        [[maybe_unused]] const auto written =
            ::write(fds[1], tone.data(), tone.size() * sizeof(float));
        const auto heard = tap.soundAfter(start);
        ::close(fds[1]);
        end(pid);
        if (!heard) {
            state.SkipWithError("pacat was not heard");
            return;
        }
        gPeerMs.push_back(ms(*heard - start));
        state.SetIterationTime(ms(*heard - start) / 1000);
        quiet(300);
    }
}

void BM_PlayLatency(benchmark::State& state) {
    audio::RealtimeAudioEngine engine;
    MonitorTap tap(false);
    for (auto _ : state) {
        audio::DeckPlayer deck(engine);
        deck.open(gMp3);
        quiet(1000); // the decoder fills the deck's ring; the stream rests
        const auto start = Clock::now();
        deck.play();
        const auto heard = tap.soundAfter(start);
        deck.close();
        if (!heard) {
            state.SkipWithError("the deck was not heard");
            return;
        }
        gOursMs.push_back(ms(*heard - start));
        state.SetIterationTime(ms(*heard - start) / 1000);
    }
}

BENCHMARK(BM_PacatLatency)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayLatency)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Work that contends with the sound: two real-time processes below the
// sound server's priority, busy 40 ms of every 50, and one CPU burner.
struct Stress {
    Stress() {
        for (pid_t& pid : realtime)
            pid = spawn({"chrt", "-f", "3", "python3", "-c",
                         "import time\nwhile True:\n    t = time.monotonic()\n"
                         "    while time.monotonic() - t < 0.04: pass\n    time.sleep(0.01)\n"});
        burner = spawn({"sh", "-c", "while :; do :; done"});
    }
    ~Stress() {
        for (pid_t pid : realtime)
            end(pid);
        end(burner);
    }
    pid_t realtime[2]{};
    pid_t burner = 0;
};

// Runs of zero samples of 3 ms or more in what the monitor recorded, from
// the first sound on for `seconds` less one (the lead-in and the tail are no
// gap).
// Each is said with where it fell: gaps only at the start point to the
// server's first moments, gaps spread out to the client.
std::size_t dropouts(std::vector<float> samples, int seconds, const char* who) {
    const auto first =
        std::find_if(samples.begin(), samples.end(), [](float x) { return std::abs(x) > 0.05f; });
    samples.erase(samples.begin(), first);
    samples.resize(std::min(samples.size(), std::size_t(seconds - 1) * kRate));
    std::size_t run = 0, count = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) < 1e-3f) {
            ++run;
            continue;
        }
        if (run > kRate * 3 / 1000) {
            ++count;
            std::printf("%s: a gap of %.1f ms at %.2f s\n", who, double(run) * 1000 / kRate,
                        double(i - run) / kRate);
        }
        run = 0;
    }
    return count;
}

std::size_t ourDropouts(int seconds) {
    audio::RealtimeAudioEngine engine;
    audio::DeckPlayer a(engine), b(engine);
    a.open(benchsupport::mp3("tone-1k-long", {"200", "sine", "1000", "vol", "0.3"}, 192));
    b.open(benchsupport::mp3("tone-3k-long", {"200", "sine", "3000", "vol", "0.3"}, 192));
    quiet(300);
    MonitorTap tap(true, MonitorTap::Depth::Deep);
    quiet(300);
    a.play();
    b.play();
    quiet(seconds * 1000);
    a.close();
    b.close();
    return dropouts(tap.samples(), seconds, "kolvadeck");
}

std::size_t paplayDropouts(int seconds) {
    const std::string wav = "/tmp/kolvadeck-bench-two-tones.wav";
    benchsupport::run("sox",
                      {"-n", "-r", "44100", "-c", "2", QString::fromStdString(wav), "synth",
                       QString::number(seconds + 2), "sine", "1000", "sine", "3000", "vol", "0.3"});
    MonitorTap tap(true, MonitorTap::Depth::Deep);
    quiet(300);
    const pid_t pid = spawn({"paplay", wav});
    quiet(seconds * 1000);
    end(pid);
    return dropouts(tap.samples(), seconds, "paplay");
}

// A deck started while another plays (a 3 kHz tone over a 1 kHz one), and
// then Stop of both: the time to the new tone at the monitor, and to silence.
std::pair<double, double> startAndStopMs() {
    audio::RealtimeAudioEngine engine;
    audio::DeckPlayer a(engine), b(engine);
    a.open(benchsupport::mp3("tone-1k-long", {"200", "sine", "1000", "vol", "0.3"}, 192));
    b.open(benchsupport::mp3("tone-3k-long", {"200", "sine", "3000", "vol", "0.3"}, 192));
    MonitorTap tap(true);
    a.play();
    quiet(2000);
    const auto startAt = Clock::now();
    b.play();
    quiet(1000);
    const auto stopAt = Clock::now();
    a.stop();
    b.stop();
    quiet(1000);
    return {
        tap.msUntil(
            startAt,
            [](const std::vector<float>& w) { return measure::goertzel(w, kRate, 3000) > 0.02; }),
        tap.msUntil(stopAt, [](const std::vector<float>& w) { return measure::rms(w) < 0.001; })};
}

struct HandOver {
    double startErrorMs = 0;  // the incoming track's start, less its due
    double worstWindowDb = 0; // the largest departure of a 100 ms window from the plan
    int windows = 0;
};

// Two tones as a list, each half a second of silence and then its tone: 200 Hz
// for 14 s, then 8 kHz for 30 s (long enough that its own advance comes after
// the fade). The advance falls due 4 s into the first file; the engine runs
// on its own timers while this thread only spins the event loop. Both tones
// begin half a second into their files, so the distance between their onsets
// in the recording is the distance between the two starts plus nothing else.
HandOver measureHandOver() {
    constexpr double kAmplitude = 0.3;
    audio::RealtimeAudioEngine engine;
    Playlist list;
    DeckEngine decks(engine, list);
    for (auto [name, seconds, hz] :
         {std::tuple{"handover-200hz", "13.5", "200"}, std::tuple{"handover-8khz", "29.5", "8000"}})
        list.items().insert(
            list.count(),
            {benchsupport::mp3(name, {seconds, "sine", hz, "vol", "0.3", "pad", "0.5"}, 192),
             QString::fromLatin1(name),
             Playability::Untried,
             {}});
    MonitorTap tap(true, MonitorTap::Depth::Deep);
    quiet(300);
    decks.playOrStop();
    QEventLoop loop;
    QTimer::singleShot(16000, &loop, &QEventLoop::quit);
    loop.exec();
    decks.playOrStop();
    const auto sound = tap.samples();
    HandOver result;
    const auto low =
        std::find_if(sound.begin(), sound.end(), [](float x) { return std::abs(x) > 0.05f; });
    if (low == sound.end())
        return result;
    const std::size_t lowOnset = std::size_t(low - sound.begin());
    // The 8 kHz tone's onset through a second difference, which leaves 1/1000
    // of the 200 Hz tone and keeps the 8 kHz one whole: at half a second into
    // the fade its amplitude is 0.3 * 0.078.
    const double threshold = kAmplitude * audio::FadePlan{0, +1}.gainAt(kRate / 2) / 2;
    std::size_t highOnset = 0;
    for (std::size_t i = lowOnset + 2; i < sound.size() && !highOnset; ++i)
        if (std::abs(sound[i] - 2 * sound[i - 1] + sound[i - 2]) > threshold)
            highOnset = i;
    result.startErrorMs = (double(highOnset) - double(lowOnset)) * 1000 / kRate - 4000;
    // Each 100 ms window of the fade against the plan dated from the due
    // sample; windows with a dropout in them say nothing of the fade.
    const std::size_t due = lowOnset + 4 * kRate - kRate / 2;
    const audio::FadePlan in{0, +1}, out{1000, -1};
    auto db = [](double x) { return 20 * std::log10(std::max(x, 1e-6)); };
    for (std::size_t w = 0; w < 100; ++w) {
        const std::size_t at = due + w * kRate / 10;
        if (at + kRate / 10 > sound.size())
            break;
        const std::vector<float> x(sound.begin() + long(at), sound.begin() + long(at + kRate / 10));
        if (!measure::gaps(x, kRate * 3 / 1000).empty())
            continue;
        const auto mid = std::int64_t(w * kRate / 10 + kRate / 20);
        for (auto [plan, hz] : {std::pair{in, 8000.0}, std::pair{out, 200.0}}) {
            const double planned = kAmplitude * plan.gainAt(mid);
            if (planned < kAmplitude / 10 || (hz > 1000 && mid < kRate / 2))
                continue; // below -20 dB the level says little; the 8 kHz file's silent head
            result.worstWindowDb = std::max(
                result.worstWindowDb, std::abs(db(measure::goertzel(x, kRate, hz)) - db(planned)));
            ++result.windows;
        }
    }
    return result;
}

// This process's CPU time (user and system) in ms.
double cpuMs() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1000 +
           double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1000;
}

double idleCpuMsPer10s() {
    audio::RealtimeAudioEngine engine;
    audio::DeckPlayer deck(engine);
    quiet(2000); // the stream rests after its first half second of silence
    const double before = cpuMs();
    quiet(10000);
    return cpuMs() - before;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir pulse;
    const QString script = QStringLiteral(KV_SOURCE_DIR "/scripts/pulse-server.sh");
    if (!benchsupport::run(script, {"start", pulse.path()})) {
        std::fprintf(stderr, "the private PulseAudio server did not start\n");
        return 1;
    }
    ::setenv("PULSE_SERVER", ("unix:" + pulse.path() + "/native").toUtf8().constData(), 1);
    gMp3 = benchsupport::mp3("tone-1k-3s", {"3", "sine", "1000", "vol", "0.5"}, 192);
    gWav = "/tmp/kolvadeck-bench-tone-1k-3s.wav";
    const bool wav =
        benchsupport::run("sox", {"-n", "-r", "44100", "-c", "2", QString::fromStdString(gWav),
                                  "synth", "3", "sine", "1000", "vol", "0.5"});
    int status = 0;
    if (gMp3.empty() || !wav) {
        std::fprintf(stderr, "could not make the tone files (sox, lame)\n");
        status = 1;
    } else {
        benchmark::Initialize(&argc, argv);
        benchsupport::RunReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        const double ours = median(gOursMs), peer = median(gPeerMs);
        std::printf("play-to-sound median: kolvadeck %.1f ms, pacat %.1f ms\n", ours, peer);
        benchsupport::printRatio("play_to_sound_latency_vs_pacat", ours, peer);

        const auto [startMs, stopMs] = startAndStopMs();
        std::printf("deck started during play heard after %.1f ms; Stop silent after %.1f ms\n",
                    startMs, stopMs);
        benchsupport::printRatio("start_during_play_vs_150ms", startMs, 150);
        benchsupport::printRatio("stop_silent_vs_50ms", stopMs, 50);

        const double idle = idleCpuMsPer10s();
        std::printf("idle CPU with the server connected: %.1f ms in 10 s\n", idle);
        benchsupport::printRatio("idle_cpu_vs_10ms", idle, 10);

        const int seconds = std::getenv("KV_BENCH_DROPOUT_SECONDS")
                                ? std::atoi(std::getenv("KV_BENCH_DROPOUT_SECONDS"))
                                : 180;
        Stress stress;
        const HandOver handOver = measureHandOver();
        std::printf("hand-over beside real-time work: started %+.1f ms from its due sample; "
                    "worst 100 ms window of the fade %.2f dB from the plan (%d windows)\n",
                    handOver.startErrorMs, handOver.worstWindowDb, handOver.windows);
        benchsupport::printRatio("handover_error_vs_20ms", std::abs(handOver.startErrorMs), 20);
        benchsupport::printRatio("fade_window_error_vs_0_5db", handOver.worstWindowDb, 0.5);
        const std::size_t oursDropouts = ourDropouts(seconds);
        const std::size_t paplayDropouts = ::paplayDropouts(seconds);
        std::printf("output thread: %s\n", audio::realtimeSchedulingState().c_str());
        std::printf("dropouts (zero runs of 3 ms or more) in %d s beside real-time work: "
                    "kolvadeck %zu, paplay %zu\n",
                    seconds, oursDropouts, paplayDropouts);
        benchsupport::printRatio("dropouts_vs_paplay", double(oursDropouts + 1),
                                 double(paplayDropouts + 1));
        benchmark::Shutdown();
    }
    benchsupport::run(script, {"stop", pulse.path()});
    return status;
}
