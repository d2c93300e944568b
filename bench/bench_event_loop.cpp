// The window's event loop while the program works: the longest time a posted
// event waits to be handled during a search that trickles one byte a second,
// and during a whole conversion by the real yt and mconv (download, pause,
// conversion), each against the same measure of the idle loop in this run.
#include "bench/BenchSupport.h"
#include "convert/ConversionPipeline.h"
#include "platform/Dialogs.h"
#include "search/MusicLibrary.h"
#include "tests/support/EventLoopProbe.h"

// The tests' loopback HTTP server and media maker, compiled into this program.
#include "../tests/convert/Media.cpp"
#include "../tests/search/LoopbackServer.cpp"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace std::chrono_literals;

constexpr auto kWindow = 3s; // how long each measure watches the loop

struct Setup {
    QTemporaryDir folder;
    LoopbackServer server;
    ToolState tools;
    std::unique_ptr<QWidget> page;
    MusicLibrary* library = nullptr;
    ConversionPipeline* conversion = nullptr;
};
Setup* g_setup = nullptr;

// Turns the loop for `window` (or until `done`) with the probe running.
std::chrono::microseconds watch(std::chrono::milliseconds window,
                                const std::function<bool()>& done = {}) {
    EventLoopProbe probe;
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done())
                loop.quit();
        });
        check.start(20);
    }
    probe.start();
    end.start(window);
    loop.exec();
    probe.stop();
    return probe.longest();
}

void report(benchmark::State& state, std::chrono::microseconds longest) {
    state.SetIterationTime(std::chrono::duration<double>(longest).count());
}

void BM_IdleLoopStall(benchmark::State& state) {
    for (auto _ : state)
        report(state, watch(kWindow));
}

void BM_TricklingSearchStall(benchmark::State& state) {
    for (auto _ : state) {
        g_setup->library->runQuery("track.search", "a trickle");
        report(state, watch(kWindow));
        g_setup->library->runQuery("youtube.sources", "clip"); // cancels the trickle
        watch(2s, [] { return !g_setup->library->searching(); });
    }
}

void BM_ConversionStall(benchmark::State& state) {
    for (auto _ : state) {
        QTreeWidget* results = g_setup->library->widgets().resultsList;
        if (results->topLevelItemCount() == 0) {
            state.SkipWithError("no video row to convert");
            return;
        }
        results->setCurrentItem(results->topLevelItem(0));
        g_setup->conversion->startOrCancel();
        if (!g_setup->conversion->converting()) {
            state.SkipWithError("the conversion did not start");
            return;
        }
        report(state, watch(60s, [] { return !g_setup->conversion->converting(); }));
    }
}

BENCHMARK(BM_IdleLoopStall)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TricklingSearchStall)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConversionStall)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Setup setup;
    g_setup = &setup;
    if (!setup.folder.isValid() || !QDir(setup.folder.path()).mkpath("data/queries") ||
        testClip().empty())
        return 1;
    const std::string clip = "http://" + setup.server.host() + "/media/clip.mp4";
    setup.server.serve("/media/clip.mp4", {200, "video/mp4", readFile(testClip()), {}});
    setup.server.serve("/api/video/", {200,
                                       "text/xml",
                                       replaced(answer("youtube_sources.xml"),
                                                "http://video.example/watch?v=", clip + "?v="),
                                       {}});
    LoopbackServer::Response trickle{200, "text/xml", answer("track_search.xml"), {}};
    trickle.trickleMs = 1000;
    setup.server.serve("/api/music/", trickle);
    setenv("KOLVADECK_SEARCH_HOST", setup.server.host().c_str(), 1);
    setenv("KOLVADECK_SITE_HOST", setup.server.host().c_str(), 1);
    int conversions = 0;
    dialogs::setHandler([&](const dialogs::Request& r, const dialogs::Reply& reply) {
        if (r.kind != dialogs::Kind::SaveFile)
            reply(dialogs::Answer{true, {}});
        reply(dialogs::Answer{true,
                              {setup.folder.filePath(QString("out%1.mp3").arg(++conversions))}});
    });
    setup.page = std::make_unique<QWidget>();
    setup.page->resize(1013, 655);
    setup.library = new MusicLibrary(setup.page.get(), setup.folder.filePath("data/").toStdString(),
                                     setup.page.get());
    setup.conversion =
        new ConversionPipeline(setup.library, &setup.tools, setup.page.get(),
                               QCoreApplication::applicationDirPath().toStdString() + "/../app");
    setup.page->show();
    setup.library->runQuery("youtube.sources", "clip");
    watch(5s, [&] { return !setup.library->searching(); });

    benchmark::Initialize(&argc, argv);
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    // The fastest of three is the least disturbed by other work on the machine.
    benchsupport::printRatio("event_loop_stall_trickling_search",
                             reporter.seconds["BM_TricklingSearchStall"],
                             reporter.seconds["BM_IdleLoopStall"]);
    benchsupport::printRatio("event_loop_stall_conversion", reporter.seconds["BM_ConversionStall"],
                             reporter.seconds["BM_IdleLoopStall"]);
    benchmark::Shutdown();
    dialogs::setHandler({});
    return 0;
}
