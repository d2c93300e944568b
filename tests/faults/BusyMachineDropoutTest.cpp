// Two decks play for two minutes into the private PulseAudio server while two
// shell loops keep both cores busy at normal priority. The recording of the
// speakers' monitor must have no gap of silence longer than 5 ms, and the
// engine must have counted no underrun.
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/UnderrunCount.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/faults/PrivatePulse.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QProcess>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kRate = 44100;
constexpr int kPlaySeconds = 120;

// A process that spins on one core until destroyed.
class CpuBurner {
public:
    CpuBurner() { process_.start("sh", {"-c", "while :; do :; done"}); }
    ~CpuBurner() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    bool Running() { return process_.waitForStarted(5000); }

private:
    QProcess process_;
};

TEST(BusyMachine, TwoDecksPlayTwoMinutesWithoutAGapWhileBothCoresAreBusy) {
    EnsureTestApp();
    const auto toneA = tonefiles::Mp3({.frequency = 1000, .seconds = 130, .amplitude = 0.3});
    const auto toneB = tonefiles::Mp3({.frequency = 3000, .seconds = 130, .amplitude = 0.3});
    audio::RealtimeAudioEngine engine;
    ASSERT_STREQ(engine.BackendName(), "portaudio") << "the private sound server is not reachable";
    audio::DeckPlayer deckA(engine), deckB(engine);
    deckA.Open(toneA);
    deckB.Open(toneB);

    // The whole run is bounded: a hang ends the program with a failure.
    HangGuard guard("two minutes of playback under load", (kPlaySeconds + 60) * 1000);
    CpuBurner burners[2];
    ASSERT_TRUE(burners[0].Running() && burners[1].Running());
    MonitorRecording recording;
    ASSERT_TRUE(recording.Started());
    const std::uint64_t before = audio::UnderrunCount();
    deckA.Play();
    deckB.Play();
    // Events keep running meanwhile, so the recorder's pipe is drained.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kPlaySeconds);
    WaitFor([&] { return std::chrono::steady_clock::now() >= end; }, (kPlaySeconds + 5) * 1000);
    const std::uint64_t underruns = audio::UnderrunCount() - before;
    const auto sound = recording.Stop();

    EXPECT_GE(sound.size(), std::size_t(kRate) * (kPlaySeconds - 5)) << "too little was recorded";
    EXPECT_GE(deckA.Position(), (kPlaySeconds - 5) * 1000);
    const auto gaps = measure::Gaps(sound, kRate * 5 / 1000);
    EXPECT_TRUE(gaps.empty()) << gaps.size() << " gaps, the first " << gaps.front() * 1000 / kRate
                              << " ms";
    EXPECT_EQ(underruns, 0u);
}

} // namespace
