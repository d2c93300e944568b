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
    EnsureTestApp();
    audio::RealtimeAudioEngine engine;
    ASSERT_STREQ(engine.BackendName(), "pulse") << "the private sound server is not reachable";
    TheTransitionSet(); // made before the recording starts
    MonitorRecording recording;
    ASSERT_TRUE(recording.Started());
    const std::vector<float> left = PlayTheTransitionSet(
        engine, true, [](DeckEngine&, int) { WaitFor([] { return false; }, 100); },
        [&] { return recording.Stop(); });
    const std::vector<transitions::Join> joins =
        transitions::AnalyseJoins(left, kRate, TheTransitionSet());
    std::cout << "smart transitions, sound server:\n"
              << transitions::JoinTable(joins, TheTransitionSet());
    // The sound server's resampling and the monitor's timing blur a join by
    // a few milliseconds, not more.
    ExpectEvenJoins(joins, 0.2);
}

} // namespace
