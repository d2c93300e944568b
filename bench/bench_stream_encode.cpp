// Encoding CPU for a stream: the broadcast's encoders (LAME, libvorbisenc,
// libopus as the Icecast source drives them, 10 ms of mix at a time)
// against ffmpeg encoding the same PCM to the same format and bit rate.
// The figure is CPU seconds per hour of stream; the PCM is
// KOLVADECK_BENCH_STREAM_SECONDS long (300 by default, 3600 for a whole
// hour), and both sides are scaled to an hour alike.
#include "bench/BenchSupport.h"
#include "bench/PeerProcess.h"
#include "broadcast/StreamEncoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <ctime>
#include <random>

namespace {

constexpr int kRate = 44100;
constexpr int kKbps = 128;

int streamSeconds() {
    const QByteArray env = qgetenv("KOLVADECK_BENCH_STREAM_SECONDS");
    return env.isEmpty() ? 300 : std::max(1, env.toInt());
}

// Something like music: three drifting tones, a beat and some noise.
const std::vector<audio::StereoFrame>& pcm() {
    static const std::vector<audio::StereoFrame> pcm = [] {
        std::vector<audio::StereoFrame> x(std::size_t(streamSeconds()) * kRate);
        std::mt19937 random(7);
        std::normal_distribution<float> noise(0.0f, 0.02f);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double t = double(i) / kRate;
            const double beat = std::exp(-8 * std::fmod(t, 0.5));
            const double l = 0.2 * std::sin(2 * M_PI * (220 + 3 * std::sin(t)) * t) +
                             0.15 * std::sin(2 * M_PI * 330 * t) * beat +
                             0.1 * std::sin(2 * M_PI * 1760 * t);
            const double r = 0.2 * std::sin(2 * M_PI * (277 + 2 * std::cos(t)) * t) +
                             0.15 * std::sin(2 * M_PI * 440 * t) * beat;
            x[i] = {float(l) + noise(random), float(r) + noise(random)};
        }
        return x;
    }();
    return pcm;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

const StreamFormat kFormats[] = {StreamFormat::Mp3, StreamFormat::Vorbis, StreamFormat::Opus};
const char* const kNames[] = {"mp3", "vorbis", "opus"};

void BM_OurEncoder(benchmark::State& state) {
    const auto format = kFormats[state.range(0)];
    const auto& pcm = ::pcm();
    for (auto _ : state) {
        std::size_t bytes = 0;
        const double start = threadCpuSeconds();
        auto encoder = makeStreamEncoder(format, kKbps, "Artist - Title",
                                         [&](const unsigned char*, std::size_t n) { bytes += n; });
        for (std::size_t at = 0; at < pcm.size(); at += 441)
            encoder->encode(pcm.data() + at, std::min<std::size_t>(441, pcm.size() - at));
        encoder->finish();
        state.SetIterationTime(threadCpuSeconds() - start);
        state.counters["kbit/s"] = double(bytes) * 8 / 1000 / streamSeconds();
    }
}

void BM_Ffmpeg(benchmark::State& state) {
    static QTemporaryDir dir;
    const QString raw = dir.filePath("pcm.f32");
    if (!QFile::exists(raw)) {
        QFile f(raw);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(pcm().data()),
                qint64(pcm().size() * sizeof(audio::StereoFrame)));
    }
    const char* const codecs[] = {"libmp3lame", "libvorbis", "libopus"};
    const char* const containers[] = {"mp3", "ogg", "ogg"};
    for (auto _ : state) {
        const double cpu = benchsupport::peerCpuSeconds({"ffmpeg",    "-nostdin",
                                                         "-loglevel", "error",
                                                         "-f",        "f32le",
                                                         "-ar",       "44100",
                                                         "-ac",       "2",
                                                         "-i",        raw.toStdString(),
                                                         "-c:a",      codecs[state.range(0)],
                                                         "-b:a",      std::to_string(kKbps) + "k",
                                                         "-f",        containers[state.range(0)],
                                                         "-y",        "/dev/null"});
        if (cpu < 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(cpu);
    }
}

BENCHMARK(BM_OurEncoder)->DenseRange(0, 2)->Iterations(1)->Repetitions(2)->UseManualTime();
BENCHMARK(BM_Ffmpeg)->DenseRange(0, 2)->Iterations(1)->Repetitions(2)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::map<std::string, double> ours, peer;
    class Keep : public benchmark::ConsoleReporter {
    public:
        Keep(std::map<std::string, double>& o, std::map<std::string, double>& p)
            : ConsoleReporter(OO_Tabular)
            , ours_(o)
            , peer_(p) {}
        void ReportRuns(const std::vector<Run>& runs) override {
            for (const Run& run : runs) {
                if (run.run_type != Run::RT_Iteration)
                    continue;
                const std::string name = run.benchmark_name();
                auto& into = name.rfind("BM_Ffmpeg", 0) == 0 ? peer_ : ours_;
                const std::string key = name.substr(name.find('/') + 1, 1);
                const double t = run.real_accumulated_time / double(run.iterations);
                auto [it, fresh] = into.emplace(key, t);
                if (!fresh)
                    it->second = std::min(it->second, t); // the least disturbed run
            }
            ConsoleReporter::ReportRuns(runs);
        }

    private:
        std::map<std::string, double>&ours_, &peer_;
    } reporter(ours, peer);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double perHour = 3600.0 / streamSeconds();
    for (int i = 0; i < 3; ++i) {
        const std::string key = std::to_string(i);
        if (!ours.count(key) || !peer.count(key))
            continue;
        std::printf("%s: %.1f CPU s per hour of stream, ffmpeg %.1f\n", kNames[i],
                    ours[key] * perHour, peer[key] * perHour);
        benchsupport::printRatio(std::string("stream_encode_cpu_") + kNames[i], ours[key],
                                 peer[key]);
    }
    benchmark::Shutdown();
}
