// CPU time to play 60 s on both decks with cross-fades, rendered on the
// virtual sound card (open, decode, gain, mix), against the mpg123 program
// decoding the same two files (`mpg123 -q -w /dev/null`, CPU time of the
// child from wait4).
#include "bench/BenchSupport.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/VirtualSoundCard.h"

#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

std::string gFileA, gFileB;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) * 1e-6;
}

void BM_Mpg123Decode(benchmark::State& state) {
    for (auto _ : state) {
        std::string a = gFileA, b = gFileB;
        char prog[] = "mpg123", q[] = "-q", w[] = "-w", out[] = "/dev/null";
        char* argv[] = {prog, q, w, out, a.data(), b.data(), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "mpg123", nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("mpg123 did not start");
            return;
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        state.SetIterationTime(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    }
}

void BM_DecksRender(benchmark::State& state) {
    for (auto _ : state) {
        const double start = processCpuSeconds();
        audio::VirtualSoundCard card;
        audio::DeckPlayer a(card), b(card);
        a.open(gFileA);
        b.open(gFileB);
        a.play();
        b.play();
        b.setVolume(0);
        // Cross-fades back and forth in steps of 100 a second.
        for (int second = 0; second < 60; ++second) {
            const int step = second % 20 < 10 ? second % 10 + 1 : 10 - second % 10 - 1;
            a.setVolume(1000 - 100 * step);
            b.setVolume(100 * step);
            card.render(1000);
        }
        benchmark::DoNotOptimize(a.position() + b.position());
        state.SetIterationTime(processCpuSeconds() - start);
    }
}

BENCHMARK(BM_Mpg123Decode)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecksRender)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    gFileA = benchsupport::mp3("60s-a", {"60", "pinknoise", "vol", "0.3"}, 192);
    gFileB = benchsupport::mp3("60s-b", {"60", "sine", "300-3000", "vol", "0.5"}, 192);
    if (gFileA.empty() || gFileB.empty()) {
        std::fprintf(stderr, "could not make the 60-second MP3s (sox, lame)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchsupport::printRatio("render_60s_two_decks", reporter.seconds["BM_DecksRender"],
                             reporter.seconds["BM_Mpg123Decode"]);
    benchmark::Shutdown();
    return 0;
}
