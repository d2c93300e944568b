// Hand-overs per pair of tracks, end to end on the virtual card: the
// transition set (cold endings, fade-outs, silent heads and tails, hidden
// tracks, two gapless albums, six formats) analysed by the track shaper and
// played as a list, every join measured on every sample of the mix.
#include "decks/DeckEngine.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/app/TransitionPlay.h"
#include "tests/decks/SettleLoads.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>
#include <iostream>

namespace {

constexpr int kRate = 44100;

class SmartTransitions : public ::testing::Test {
protected:
    void SetUp() override { ensureTestApp(); }
};

std::vector<transitions::Join> playOnTheVirtualCard(bool smart) {
    audio::VirtualSoundCard card;
    card.setCapture(true);
    const std::vector<float> left = playTheTransitionSet(
        card, smart,
        [&](DeckEngine& decks, int ms) {
            if (ms == 0) // the test gives the ticks
                decks.displayTimer.setInterval(24 * 3600 * 1000);
            card.render(100);
            if (ms % 500 == 400)
                decks.onDisplayTick();
            settleLoads(card);
        },
        [&] {
            std::vector<float> mono;
            for (const audio::StereoFrame& frame : card.takeCaptured())
                mono.push_back(frame.left);
            return mono;
        });
    return transitions::analyseJoins(left, kRate, theTransitionSet());
}

TEST_F(SmartTransitions, EveryJoinOfTheSetIsEvenOnTheSoundsOwnSamples) {
    const std::vector<transitions::Join> joins = playOnTheVirtualCard(true);
    std::cout << "smart transitions, virtual card:\n"
              << transitions::joinTable(joins, theTransitionSet());
    expectEvenJoins(joins, 0);
    // The ten-second cross-fade on the same set, for comparison.
    std::cout << "ten-second cross-fade, virtual card:\n"
              << transitions::joinTable(playOnTheVirtualCard(false), theTransitionSet());
}

} // namespace
