// Loading never holds up the window's thread: on the real clock, a deck loads
// a track from a named pipe that a writer fills over three seconds while the
// deck engine plays two short tracks in a loop on the window's own timers.
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "tests/decks/SlowPipe.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/TestApp.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(DeckLoad, APipeFilledSlowlyHoldsUpNeitherTheWindowNorTheOtherDecks) {
    ensureTestApp();
    std::signal(SIGPIPE, SIG_IGN);
    audio::RealtimeAudioEngine engine(audio::RealtimeAudioEngine::OutputChoice::SilentClock);
    Playlist list;
    DeckEngine decks(engine, list);
    for (double frequency : {440.0, 660.0})
        list.items().insert(list.count(), {tonefiles::mp3({.frequency = frequency, .seconds = 11}),
                                           "tone",
                                           Playability::Untried,
                                           {}});
    std::vector<qint64> lateness;
    QObject::connect(&decks, &DeckEngine::advanceStarted,
                     [&](Deck, int, qint64 dueMs) { lateness.push_back(steadyNowMs() - dueMs); });
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });

    QTemporaryDir dir;
    const std::string fifo = dir.filePath("slow.mp3").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    QFile track(QString::fromStdString(tonefiles::mp3({.frequency = 1000, .seconds = 3})));
    ASSERT_TRUE(track.open(QIODevice::ReadOnly));
    std::atomic<bool> quit{false};
    std::thread writer(fillPipeSlowly, fifo, track.readAll(), std::chrono::milliseconds(3000),
                       std::cref(quit), 30);

    decks.playOrStop();
    sinceTick.start();
    probe.start();
    audio::DeckPlayer third(engine);
    audio::LoadResult answer;
    bool answered = false;
    third.load(fifo, [&](const audio::LoadResult& r) {
        answer = r;
        answered = true;
    });
    const bool done = waitFor([&] { return answered; }, 20000);
    waitFor([] { return false; }, 2000); // advances after the load too
    quit = true;
    writer.join();
    ASSERT_TRUE(done);

    EXPECT_TRUE(answer.loaded) << answer.error;
    EXPECT_NEAR(answer.lengthMs, 3000, 100);
    EXPECT_GE(answer.took.count(), 2500) << "the writer took three seconds";
    std::printf("load %lld ms; longest gap of a 20 ms timer %lld ms; %zu advances, latest %lld ms "
                "after due\n",
                static_cast<long long>(answer.took.count()), static_cast<long long>(longestGap),
                lateness.size(),
                static_cast<long long>(*std::max_element(lateness.begin(), lateness.end())));
    // Scheduling tolerance for a loaded machine; a blocked thread shows seconds.
    EXPECT_LT(longestGap, 300);
    EXPECT_GE(lateness.size(), 3u);
    for (qint64 late : lateness) // the display tick comes every 500 ms
        EXPECT_LT(late, 800);
}

// An advance onto a pipe that fills for longer than the outgoing track has
// left: the slow load is reported, the list does not wait for it, and the
// track plays once it has loaded.
TEST(DeckLoad, AnAdvanceOntoASlowLoadIsReportedAndPlaysWhenLoaded) {
    ensureTestApp();
    std::signal(SIGPIPE, SIG_IGN);
    audio::RealtimeAudioEngine engine(audio::RealtimeAudioEngine::OutputChoice::SilentClock);
    Playlist list;
    DeckEngine decks(engine, list);
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("slow.mp3").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    list.items().insert(
        0, {tonefiles::mp3({.frequency = 440, .seconds = 1.5}), "short", Playability::Untried, {}});
    list.items().insert(1, {fifo, "slow", Playability::Untried, {}});
    QFile track(QString::fromStdString(tonefiles::mp3({.frequency = 1000, .seconds = 13})));
    ASSERT_TRUE(track.open(QIODevice::ReadOnly));
    std::atomic<bool> quit{false};
    std::thread writer(fillPipeSlowly, fifo, track.readAll(), std::chrono::milliseconds(3000),
                       std::cref(quit), 30);
    int reports = 0, reportedLeftMs = -1;
    QObject::connect(&decks, &DeckEngine::loadOutlastedTrack, [&](Deck deck, qint64, int leftMs) {
        EXPECT_EQ(deck, Deck::B);
        ++reports;
        reportedLeftMs = leftMs;
    });

    decks.playOrStop();
    const bool played = waitFor([&] { return decks.deckB_.isPlaying(); }, 20000);
    quit = true;
    writer.join();
    ASSERT_TRUE(played);
    EXPECT_EQ(reports, 1);
    EXPECT_LT(reportedLeftMs, 1500);
    EXPECT_EQ(decks.CurrentDeck, Deck::B);
    EXPECT_NEAR(decks.deckB_.length(), 13000, 100);
    EXPECT_EQ(decks.titleText(Deck::B), "slow");
    EXPECT_FALSE(decks.Advancing) << "the stop check ran once (B) loaded";
}

} // namespace
