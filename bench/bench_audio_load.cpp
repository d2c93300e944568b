// Loading a deck: open + length of a 10-minute 320 kbps MP3 (the deck scans
// the whole file so the length is exact), against the floor of a bare
// mpg123_open + mpg123_scan on the same file.
#include "bench/BenchSupport.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/VirtualSoundCard.h"

#include <cstdio>
#include <mpg123.h>

namespace {

std::string gFile;

void BM_Mpg123OpenScan(benchmark::State& state) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    for (auto _ : state) {
        mpg123_open(h, gFile.c_str());
        mpg123_scan(h);
        benchmark::DoNotOptimize(mpg123_length(h));
        mpg123_close(h);
    }
    mpg123_delete(h);
}

void BM_DeckOpenLength(benchmark::State& state) {
    audio::VirtualSoundCard card;
    audio::DeckPlayer deck(card);
    for (auto _ : state) {
        deck.open(gFile);
        benchmark::DoNotOptimize(deck.length());
    }
}

BENCHMARK(BM_Mpg123OpenScan)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_DeckOpenLength)->Unit(benchmark::kMillisecond)->Repetitions(5);

} // namespace

int main(int argc, char** argv) {
    gFile = benchsupport::mp3("10min-320k", {"600", "sine", "220-880", "sine", "330"}, 320);
    if (gFile.empty()) {
        std::fprintf(stderr, "could not make the 10-minute MP3 (sox, lame)\n");
        return 1;
    }
    mpg123_init();
    benchmark::Initialize(&argc, argv);
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // CPU time: both sides are single-threaded work on a file in the page
    // cache, and on a shared machine the wall clock mostly measures the others.
    benchsupport::printRatio("load_10min_320k", reporter.cpuSeconds["BM_DeckOpenLength"],
                             reporter.cpuSeconds["BM_Mpg123OpenScan"]);
    benchmark::Shutdown();
    return 0;
}
