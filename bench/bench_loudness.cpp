// Loudness analysis of a 10-minute track (decode + integrated loudness +
// true peak + audible ends) against ffmpeg's ebur128 filter on the same file
// (`ffmpeg -i track -af ebur128 -f null -`). Both sides in CPU time: the
// work done, which a shared machine's wall clock does not show.
#include "analysis/LoudnessAnalysis.h"
#include "bench/BenchSupport.h"
#include "bench/PeerProcess.h"

#include <QTemporaryDir>

namespace {

std::string gFlac;
std::string gMp3;

void ours(benchmark::State& state, const std::string& file) {
    for (auto _ : state) {
        const double start = benchsupport::threadCpuSeconds();
        benchmark::DoNotOptimize(analysis::analyseLoudness(file));
        state.SetIterationTime(benchsupport::threadCpuSeconds() - start);
    }
}

void ffmpeg(benchmark::State& state, const std::string& file) {
    for (auto _ : state) {
        const double cpu = benchsupport::peerCpuSeconds(
            {"ffmpeg", "-nostdin", "-i", file, "-af", "ebur128", "-f", "null", "-"});
        if (cpu < 0)
            state.SkipWithError("ffmpeg failed");
        state.SetIterationTime(std::max(cpu, 1e-6));
    }
}

void BM_AnalyseFlac(benchmark::State& state) {
    ours(state, gFlac);
}
void BM_FfmpegEbur128Flac(benchmark::State& state) {
    ffmpeg(state, gFlac);
}
void BM_AnalyseMp3(benchmark::State& state) {
    ours(state, gMp3);
}
void BM_FfmpegEbur128Mp3(benchmark::State& state) {
    ffmpeg(state, gMp3);
}

BENCHMARK(BM_AnalyseFlac)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_FfmpegEbur128Flac)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_AnalyseMp3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_FfmpegEbur128Mp3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString wav = dir.filePath("track.wav");
    gFlac = dir.filePath("track.flac").toStdString();
    gMp3 = dir.filePath("track.mp3").toStdString();
    if (!benchsupport::run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "600",
                                   "sine", "220-880", "sine", "330", "vol", "0.5"}) ||
        !benchsupport::run("flac", {"-s", "-f", "-o", QString::fromStdString(gFlac), wav}) ||
        !benchsupport::run("lame", {"--quiet", "-b", "320", wav, QString::fromStdString(gMp3)})) {
        std::fprintf(stderr, "could not make the 10-minute track (sox, flac, lame)\n");
        return 1;
    }
    QFile::remove(wav);
    benchmark::Initialize(&argc, argv);
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchsupport::printRatio("loudness_10min_flac", reporter.seconds["BM_AnalyseFlac"],
                             reporter.seconds["BM_FfmpegEbur128Flac"]);
    benchsupport::printRatio("loudness_10min_mp3", reporter.seconds["BM_AnalyseMp3"],
                             reporter.seconds["BM_FfmpegEbur128Mp3"]);
    benchmark::Shutdown();
    return 0;
}
