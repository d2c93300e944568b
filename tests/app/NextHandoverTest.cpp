// The Next command with hand-overs planned per pair: it takes the pair's own
// hand-over early. A hard start comes in at full volume at once, and the
// outgoing track, which would have been cut at its cold end, is faded out
// over two seconds instead of cut in the middle of its sound.
#include "app/Settings.h"
#include "app/TrackShaper.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/app/TransitionPlay.h"
#include "tests/decks/SettleLoads.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr int kRate = 44100;

// The set's first track of this kind.
const transitions::Track& firstOf(transitions::Kind kind) {
    const auto& tracks = theTransitionSet().tracks;
    return *std::find_if(tracks.begin(), tracks.end(),
                         [&](const transitions::Track& t) { return t.kind == kind; });
}

TEST(NextHandover, TakesThePairsOwnHandOverEarlyWithoutCuttingTheOutgoingTrack) {
    ensureTestApp();
    const transitions::Track& cold = firstOf(transitions::Kind::ColdEnd);
    const transitions::Track& hard = firstOf(transitions::Kind::HardStart);
    QTemporaryDir data;
    Settings settings(data.filePath(QStringLiteral("settings.conf")));
    audio::VirtualSoundCard card;
    Playlist list;
    DeckEngine decks(card, list);
    decks.displayTimer.setInterval(24 * 3600 * 1000); // the test gives the ticks
    TrackShaper shaper(settings, list, decks, data.filePath(QStringLiteral("analysis.json")));
    int analysed = 0;
    QObject::connect(&shaper, &TrackShaper::trackAnalysed, &shaper,
                     [&](const QString&, bool) { ++analysed; });
    for (const transitions::Track* track : {&cold, &hard})
        list.items().insert(
            list.count(),
            {track->path, QString::fromStdString(track->title), Playability::Untried, {}});
    ASSERT_TRUE(waitFor([&] { return analysed == 2; }, 60000));

    decks.playOrStop();
    ASSERT_TRUE(settleLoads(card));
    for (int i = 0; i < 4; ++i) { // the next track is cued in a tick
        card.render(500);
        decks.onDisplayTick();
        ASSERT_TRUE(settleLoads(card));
    }
    card.setCapture(true);
    ASSERT_TRUE(decks.advanceNow());
    ASSERT_TRUE(settleLoads(card));
    card.render(3000);
    std::vector<float> left;
    for (const audio::StereoFrame& frame : card.takeCaptured())
        left.push_back(frame.left);

    // Each tone's amplitude in 100 ms windows from the command on.
    auto level = [&](double frequency, int window) {
        const auto from = left.begin() + window * kRate / 10;
        return measure::goertzel({from, from + kRate / 10}, kRate, frequency);
    };
    const double incomingFull = level(hard.frequency, 25);
    ASSERT_GT(incomingFull, 0.01);
    EXPECT_GT(level(hard.frequency, 0), 0.7 * incomingFull) << "the hard start was faded in";
    const double outgoingAtFirst = level(cold.frequency, 0);
    ASSERT_GT(outgoingAtFirst, 0.01);
    // Equal-power fade over 2 s: about 0.7 of its level at 1 s, silent at 2 s.
    EXPECT_GT(level(cold.frequency, 9), 0.4 * outgoingAtFirst) << "cut instead of faded";
    EXPECT_LT(level(cold.frequency, 22), 0.05 * outgoingAtFirst);
}

} // namespace
