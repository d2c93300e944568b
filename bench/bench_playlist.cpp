// Filling the playlist: addFile over 10,000 tagged MP3 files and one
// refreshTitles over them, each against a floor that only opens every
// file, reads its last 128 bytes and closes it.
#include "decks/Playlist.h"
#include "decks/tags/Id3v1Tag.h"

#include "bench/BenchSupport.h"
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

constexpr int kFiles = 10000;
std::vector<std::string> gPaths;

bool run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(60000) && process.exitCode() == 0;
}

// One short lame-made MP3, copied kFiles times, each copy with its own tag.
bool makeFiles(const QTemporaryDir& dir) {
    const QString wav = dir.filePath("tone.wav"), mp3 = dir.filePath("tone.mp3");
    if (!run("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", "0.1", "sine", "440"}) ||
        !run("lame", {"--quiet", wav, mp3}))
        return false;
    for (int i = 0; i < kFiles; ++i) {
        const QString path = dir.filePath(QString("track%1.mp3").arg(i, 5, 10, QChar('0')));
        ID3Tag tag;
        tag.title = "Title " + std::to_string(i);
        tag.artist = "Artist " + std::to_string(i % 97);
        tag.genre = uint8_t(i % 80);
        if (!QFile::copy(mp3, path) || !writeTag(path.toStdString(), tag))
            return false;
        gPaths.push_back(path.toStdString());
    }
    return true;
}

void BM_Floor(benchmark::State& state) {
    char block[128];
    for (auto _ : state) {
        for (const std::string& path : gPaths) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            const off_t size = ::lseek(fd, 0, SEEK_END);
            benchmark::DoNotOptimize(::pread(fd, block, sizeof block, size - 128));
            ::close(fd);
        }
    }
}

void BM_AddFile(benchmark::State& state) {
    for (auto _ : state) {
        Playlist playlist;
        for (const std::string& path : gPaths)
            playlist.addFile(path);
        benchmark::DoNotOptimize(playlist.count());
    }
}

void BM_UpdateTracklist(benchmark::State& state) {
    Playlist playlist;
    for (const std::string& path : gPaths)
        playlist.addFile(path);
    for (auto _ : state) {
        playlist.refreshTitles();
        benchmark::DoNotOptimize(playlist.count());
    }
}

BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateTracklist)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !makeFiles(dir)) {
        std::fprintf(stderr, "could not make the test files (sox, lame)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double floor = reporter.seconds["BM_Floor"];
    benchsupport::printRatio("addfile_10k", reporter.seconds["BM_AddFile"], floor);
    benchsupport::printRatio("update_tracklist_10k", reporter.seconds["BM_UpdateTracklist"], floor);
    benchmark::Shutdown();
    return 0;
}
