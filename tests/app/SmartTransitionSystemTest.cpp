// Hand-overs per pair of tracks through the private PulseAudio server: the
// transition set played as a list, every join measured in the recording of
// the speakers' monitor.
#include "decks/DeckEngine.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "tests/app/TransitionPlay.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>
#include <iostream>
#include <memory>

namespace {

constexpr int kRate = 44100;

TEST(SmartTransitions, EveryJoinOfTheSetIsEvenFromTheSpeakers) {
    ensureTestApp();
    audio::RealtimeAudioEngine engine;
    ASSERT_STREQ(engine.backendName(), "pulse") << "the private sound server is not reachable";
    theTransitionSet(); // made before the recording starts
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    const std::vector<float> left = playTheTransitionSet(
        engine, true, [](DeckEngine&, int) { waitFor([] { return false; }, 100); },
        [&] { return recording.stop(); });
    const std::vector<transitions::Join> joins =
        transitions::analyseJoins(left, kRate, theTransitionSet());
    std::cout << "smart transitions, sound server:\n"
              << transitions::joinTable(joins, theTransitionSet());
    // The sound server's resampling and the monitor's timing blur a join by
    // a few milliseconds, not more.
    expectEvenJoins(joins, 0.2);
}

} // namespace
