// The level meter's block handler: onCaptureBlock (peak of an 8192-byte
// stereo buffer, meter update) against a floor that only scans the same buffer
// for its peak; and the same handler followed by the window's paint that copies
// the changed rows to the screen. Drawn on a private Xvfb through the xcb
// platform (a real X server) unless QT_QPA_PLATFORM names another.
#include "mixer/InputLevel.h"
#include "mixer/InputMeterDesign.h"
#include "mixer/LevelMeter.h"

#include "bench/BenchSupport.h"
#include "bench/PrivateXvfb.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kBytes = 8192;

// Two buffers of a 440 Hz tone whose peaks differ by a few segments, as a
// voice or music moves the bar from one buffer to the next.
std::vector<std::vector<char>> gBuffers;

void makeBuffers() {
    for (double amplitude : {9000.0, 14000.0}) {
        std::vector<std::int16_t> samples(kBytes / 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = std::int16_t(amplitude * std::sin(double(i / 2) * 0.0627));
        std::vector<char> bytes(kBytes);
        std::memcpy(bytes.data(), samples.data(), kBytes);
        gBuffers.push_back(std::move(bytes));
    }
}

void BM_PeakScanFloor(benchmark::State& state) {
    std::size_t n = 0;
    for (auto _ : state) {
        const auto* s = reinterpret_cast<const std::int16_t*>(gBuffers[n++ & 1].data());
        int peak = 0;
        for (int i = 0; i < kBytes / 2; ++i)
            peak = s[i] > peak ? s[i] : peak;
        benchmark::DoNotOptimize(peak);
    }
}

// Buffers fed to the program's meter, which is on screen (each level is
// copied there); with paint, each buffer is followed by the paint it asks for,
// as the event loop runs it between two buffers 46 ms apart.
void feedBuffers(benchmark::State& state, bool paint) {
    std::unique_ptr<LevelMeter> meter(createInputMeter(nullptr));
    meter->show();
    QApplication::processEvents();
    InputLevel level(meter.get());
    std::size_t n = 0;
    for (auto _ : state) {
        level.onCaptureBlock(gBuffers[n++ & 1]);
        if (paint)
            QApplication::processEvents();
    }
    benchmark::DoNotOptimize(meter->litCount(0));
}

void BM_BufferFilled(benchmark::State& state) {
    feedBuffers(state, false);
}
void BM_BufferFilledAndPainted(benchmark::State& state) {
    feedBuffers(state, true);
}

BENCHMARK(BM_PeakScanFloor)->Repetitions(3);
BENCHMARK(BM_BufferFilled)->Repetitions(3);
BENCHMARK(BM_BufferFilledAndPainted)->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    std::unique_ptr<benchsupport::PrivateXvfb> xvfb;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        xvfb = std::make_unique<benchsupport::PrivateXvfb>();
        if (xvfb->display().empty()) {
            std::fprintf(stderr, "bench_meter: Xvfb did not start\n");
            return 1;
        }
        qputenv("DISPLAY", xvfb->display().c_str());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    std::printf("platform %s\n", qgetenv("QT_QPA_PLATFORM").constData());
    QApplication app(argc, argv);
    makeBuffers();
    benchmark::Initialize(&argc, argv);
    // The fastest CPU time of each (this process's work only: the machine is shared).
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchsupport::printRatio("buffer_filled_8k", reporter.cpuSeconds["BM_BufferFilled"],
                             reporter.cpuSeconds["BM_PeakScanFloor"]);
    benchsupport::printRatio("buffer_filled_painted_8k",
                             reporter.cpuSeconds["BM_BufferFilledAndPainted"],
                             reporter.cpuSeconds["BM_PeakScanFloor"]);
    benchmark::Shutdown();
    return 0;
}
