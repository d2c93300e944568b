// The music never waits for the rest of the program: on the real audio
// engine (silent clock), two short tracks loop on the decks while a search
// hangs on a server that sends one byte a second, a video is downloaded and
// converted by the real tools, and a third deck loads a track from a pipe
// that a writer fills slowly. Every automatic advance must start on time and
// the window's event loop must keep answering posted events.
#include "../convert/Media.h"
#include "../search/LoopbackServer.h"
#include "convert/ConversionPipeline.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/Dialogs.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "search/MusicLibrary.h"
#include "tests/decks/SlowPipe.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/search/AwaitAnswer.h"
#include "tests/support/EventLoopProbe.h"
#include "tests/support/TestApp.h"

#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(NeverWaits, AdvancesStayOnTimeWhileSearchConversionAndSlowLoadRun) {
    ensureTestApp();
    std::signal(SIGPIPE, SIG_IGN);
    ASSERT_FALSE(testClip().empty()) << "ffmpeg could not make the test clip";
    QTemporaryDir folder;
    ASSERT_TRUE(QDir().mkpath(folder.filePath("data/queries")));

    // The search service: video sources answer at once and link to a clip it
    // serves; a track search trickles one byte a second.
    LoopbackServer server;
    const std::string clip = "http://" + server.host() + "/media/clip.mp4";
    server.serve("/media/clip.mp4", {200, "video/mp4", readFile(testClip()), {}});
    server.serve("/api/video/", {200,
                                 "text/xml",
                                 replaced(answer("youtube_sources.xml"),
                                          "http://video.example/watch?v=", clip + "?v="),
                                 {}});
    LoopbackServer::Response trickle{200, "text/xml", answer("track_search.xml"), {}};
    trickle.trickleMs = 1000;
    server.serve("/api/music/", trickle);
    setenv("KOLVADECK_SEARCH_HOST", server.host().c_str(), 1);
    setenv("KOLVADECK_SITE_HOST", server.host().c_str(), 1);
    const QString target = folder.filePath("out.mp3");
    dialogs::setHandler([&](const dialogs::Request& r, const dialogs::Reply& reply) {
        reply(r.kind == dialogs::Kind::SaveFile ? dialogs::Answer{true, {target}}
                                                : dialogs::Answer{true, {}});
    });

    audio::RealtimeAudioEngine engine(audio::RealtimeAudioEngine::OutputChoice::SilentClock);
    Playlist list;
    DeckEngine decks(engine, list);
    // 11.5 s tracks: an advance falls due every 1.5 s.
    for (double frequency : {440.0, 660.0})
        list.items().insert(list.count(),
                            {tonefiles::mp3({.frequency = frequency, .seconds = 11.5}),
                             "tone",
                             Playability::Untried,
                             {}});
    std::vector<qint64> lateness;
    QObject::connect(&decks, &DeckEngine::advanceStarted,
                     [&](Deck, int, qint64 dueMs) { lateness.push_back(steadyNowMs() - dueMs); });

    QWidget page;
    page.resize(1013, 655);
    ToolState tools;
    auto* library = new MusicLibrary(&page, folder.filePath("data/").toStdString(), &page);
    auto* conversion = new ConversionPipeline(library, &tools, &page, KV_BINARY_DIR "/app");
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    ASSERT_TRUE(awaitAnswer(*library, [&] { library->runQuery("youtube.sources", "clip"); }));
    QTreeWidget* results = library->widgets().resultsList;
    ASSERT_GT(results->topLevelItemCount(), 0);
    results->setCurrentItem(results->topLevelItem(0));
    conversion->widgets().mp3rb->setChecked(true);

    QTemporaryDir pipes;
    const std::string fifo = pipes.filePath("slow.mp3").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    QFile slowTrack(QString::fromStdString(tonefiles::mp3({.frequency = 1000, .seconds = 4})));
    ASSERT_TRUE(slowTrack.open(QIODevice::ReadOnly));
    std::atomic<bool> quit{false};
    std::thread writer(fillPipeSlowly, fifo, slowTrack.readAll(), 6000ms, std::cref(quit), 40);

    EventLoopProbe probe;
    decks.playOrStop();
    probe.start();
    conversion->startOrCancel(); // yt, a five-second pause, mconv
    ASSERT_TRUE(conversion->converting());
    library->runQuery("track.search", "never answers in time");
    audio::DeckPlayer third(engine);
    bool loaded = false;
    third.load(fifo, [&](const audio::LoadResult& r) { loaded = r.loaded; });

    const bool allDone =
        waitFor([&] { return !conversion->converting() && loaded && lateness.size() >= 6; }, 60000);
    EXPECT_TRUE(library->searching()) << "the search must still hang when the others are done";
    probe.stop();
    quit = true;
    writer.join();
    dialogs::setHandler({});
    unsetenv("KOLVADECK_SEARCH_HOST");
    unsetenv("KOLVADECK_SITE_HOST");

    ASSERT_TRUE(allDone) << "conversion done: " << !conversion->converting()
                         << ", pipe loaded: " << loaded << ", advances: " << lateness.size();
    EXPECT_TRUE(QFile::exists(target)) << "the conversion made its file";
    const qint64 latest = *std::max_element(lateness.begin(), lateness.end());
    std::printf("%zu advances, latest %lld ms after due; longest posted-event round trip %lld us "
                "(%d probes)\n",
                lateness.size(), static_cast<long long>(latest),
                static_cast<long long>(probe.longest().count()), probe.count());
    EXPECT_LE(latest, 100);
    EXPECT_LE(probe.longest(), 50ms);
}

} // namespace
