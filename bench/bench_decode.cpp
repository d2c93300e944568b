// Decoding a 10-minute FLAC to PCM: our decoder (to 44.1 kHz stereo float)
// against `flac -d -c` (to WAV on a thrown-away output), in CPU time.
#include "bench/BenchSupport.h"
#include "bench/PeerProcess.h"
#include "ffmpeg/FfmpegDecoder.h"

#include <QTemporaryDir>
#include <vector>

namespace {

std::string gFlac;

void BM_FfmpegDecoderFlac(benchmark::State& state) {
    std::vector<audio::StereoFrame> chunk(4096);
    for (auto _ : state) {
        const double start = benchsupport::threadCpuSeconds();
        audio::FfmpegDecoder decoder;
        decoder.open(gFlac);
        std::size_t frames = 0;
        while (!decoder.finished())
            frames += decoder.decode(chunk.data(), chunk.size());
        benchmark::DoNotOptimize(frames);
        state.SetIterationTime(benchsupport::threadCpuSeconds() - start);
    }
}

void BM_FlacToolDecode(benchmark::State& state) {
    for (auto _ : state) {
        const double cpu = benchsupport::peerCpuSeconds({"flac", "-d", "-c", "-s", gFlac});
        if (cpu < 0)
            state.SkipWithError("flac failed");
        state.SetIterationTime(std::max(cpu, 1e-6));
    }
}

BENCHMARK(BM_FfmpegDecoderFlac)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);
BENCHMARK(BM_FlacToolDecode)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString wav = dir.filePath("track.wav");
    gFlac = dir.filePath("track.flac").toStdString();
    if (!benchsupport::run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "600",
                                   "sine", "220-880", "sine", "330", "vol", "0.5"}) ||
        !benchsupport::run("flac", {"-s", "-f", "-o", QString::fromStdString(gFlac), wav})) {
        std::fprintf(stderr, "could not make the 10-minute FLAC (sox, flac)\n");
        return 1;
    }
    QFile::remove(wav);
    benchmark::Initialize(&argc, argv);
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchsupport::printRatio("decode_10min_flac", reporter.seconds["BM_FfmpegDecoderFlac"],
                             reporter.seconds["BM_FlacToolDecode"]);
    benchmark::Shutdown();
    return 0;
}
