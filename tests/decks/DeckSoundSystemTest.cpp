// The real output: the engine plays into the private PulseAudio server
// (directly, and through PortAudio and ALSA where that is chosen), and parec records the speakers'
// monitor. The sound is measured, not assumed: frequency by zero crossings, level by RMS, and the
// two tones of a cross-fade by Goertzel filters.
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/GainCurve.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/SettleLoads.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kWindow = kRate / 10; // 100 ms

std::vector<float> slice(const std::vector<float>& x, std::size_t from, std::size_t count) {
    from = std::min(from, x.size());
    return {x.begin() + long(from), x.begin() + long(std::min(x.size(), from + count))};
}

// Index of the first window whose level is above the noise floor.
std::size_t soundStart(const std::vector<float>& x) {
    for (std::size_t i = 0; i + kWindow <= x.size(); i += kWindow / 10)
        if (measure::rms(slice(x, i, kWindow / 10)) > 0.01)
            return i;
    return x.size();
}

class DeckSound : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_STREQ(engine.backendName(), "pulse") << "the private sound server is not reachable";
    }
    void add(const std::string& path, const QString& title) {
        list.items().insert(list.count(), {path, title, Playability::Untried, {}});
    }
    audio::RealtimeAudioEngine engine;
    Playlist list;
};

// The longest run of 10 ms windows below the noise floor, in ms.
int longestSilenceMs(const std::vector<float>& x) {
    int longest = 0, run = 0;
    for (std::size_t i = 0; i + kRate / 100 <= x.size(); i += kRate / 100) {
        run = measure::rms(slice(x, i, kRate / 100)) < 0.005 ? run + 10 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

TEST_F(DeckSound, ToneIsRecordedAtItsFrequencyAndTheDeckVolumeLowersItsLevel) {
    audio::DeckPlayer deckA(engine);
    deckA.open(tonefiles::mp3({.frequency = 1000, .seconds = 8}));
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    deckA.play();
    ASSERT_TRUE(waitFor([&] { return deckA.position() >= 1500; }));
    deckA.setVolume(audio::sliderLevelToVolume(500));
    ASSERT_TRUE(waitFor([&] { return deckA.position() >= 3000; }));
    const auto sound = recording.stop();

    const std::size_t start = soundStart(sound);
    ASSERT_LT(start, sound.size()) << "nothing was recorded";
    const auto loud = slice(sound, start + kRate * 3 / 10, kRate * 9 / 10);
    const auto soft = slice(sound, start + kRate * 19 / 10, kRate * 8 / 10);
    EXPECT_NEAR(measure::zeroCrossingFrequency(loud, kRate), 1000, 10);
    EXPECT_GT(measure::rms(loud), 0.1);
    // The deck slider's middle is gain 0.25.
    EXPECT_NEAR(measure::rms(soft) / measure::rms(loud), 0.25, 0.05);
}

// Where the server is not to be spoken to directly, PortAudio through ALSA
// still plays the decks.
TEST_F(DeckSound, ThePortAudioFallbackPlaysTheDecks) {
    audio::RealtimeAudioEngine alsa(audio::RealtimeAudioEngine::OutputChoice::DefaultDevice,
                                    audio::RealtimeAudioEngine::DeviceChoice::PortAudioOnly);
    ASSERT_STREQ(alsa.backendName(), "portaudio");
    audio::DeckPlayer deck(alsa);
    deck.open(tonefiles::mp3({.frequency = 1000, .seconds = 4}));
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    deck.play();
    ASSERT_TRUE(waitFor([&] { return deck.position() >= 1500; }));
    const auto sound = recording.stop();
    const std::size_t start = soundStart(sound);
    ASSERT_LT(start, sound.size()) << "nothing was recorded";
    EXPECT_NEAR(measure::zeroCrossingFrequency(slice(sound, start + kRate / 5, kRate / 2), kRate),
                1000, 10);
}

TEST_F(DeckSound, CrossFadeIsRecordedAsOneToneFallingWhileTheOtherRises) {
    DeckEngine decks(engine, list);
    // The test gives the ticks; the timers must not fire by themselves.
    decks.displayTimer.setInterval(24 * 3600 * 1000);
    add(tonefiles::mp3({.frequency = 1000, .seconds = 12}), "1k");
    add(tonefiles::mp3({.frequency = 3000, .seconds = 12}), "3k");

    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    decks.playOrStop();
    ASSERT_TRUE(settleLoads(engine));
    ASSERT_TRUE(waitFor([&] { return decks.deckA_.position() >= 2000; }));
    decks.onDisplayTick(); // ten seconds before the end: the advance onto (B)
    ASSERT_TRUE(settleLoads(engine));
    ASSERT_EQ(decks.CurrentDeck, Deck::B);
    // The ten steps of the cross-fade, a second apart on (B)'s clock.
    ASSERT_TRUE(waitFor([&] { return decks.deckB_.position() >= 10300; }, 20000));
    const auto sound = recording.stop();

    // From the first sound of (B) to the end, per 100 ms window.
    std::vector<double> oneK, threeK;
    for (std::size_t i = soundStart(sound); i + kWindow <= sound.size(); i += kWindow) {
        const auto x = slice(sound, i, kWindow);
        oneK.push_back(measure::goertzel(x, kRate, 1000));
        threeK.push_back(measure::goertzel(x, kRate, 3000));
    }
    const auto fadeStart =
        std::find_if(threeK.begin(), threeK.end(), [](double a) { return a > 0.002; });
    ASSERT_NE(fadeStart, threeK.end()) << "deck (B) was never heard";
    const std::size_t from = std::size_t(fadeStart - threeK.begin());
    const std::size_t windows = 99; // the ten steps of a second
    ASSERT_GE(oneK.size(), from + windows);
    auto mean = [&](const std::vector<double>& v, std::size_t quarter) {
        double sum = 0;
        for (std::size_t i = 0; i < windows / 3; ++i)
            sum += v[from + quarter * windows / 3 + i];
        return sum / double(windows / 3);
    };
    // Thirds of the fade: 1 kHz falls, 3 kHz rises, and they trade places.
    EXPECT_GT(mean(oneK, 0), mean(oneK, 1));
    EXPECT_GT(mean(oneK, 1), mean(oneK, 2));
    EXPECT_LT(mean(threeK, 0), mean(threeK, 1));
    EXPECT_LT(mean(threeK, 1), mean(threeK, 2));
    EXPECT_GT(mean(oneK, 0), mean(threeK, 0));
    EXPECT_LT(mean(oneK, 2), mean(threeK, 2));
    EXPECT_GT(threeK.back(), 0.2) << "(B) at full volume at the end";
    EXPECT_LT(oneK.back(), 0.01) << "(A) silent at the end";
}

// On the window's own timers: the list goes from the first good track past a
// WAV renamed to .mp3 and a missing file to the second good track, with no
// gap in the sound, and the two bad items carry their mark.
TEST_F(DeckSound, BadItemsAreSkippedWithoutAGap) {
    DeckEngine decks(engine, list);
    add(tonefiles::mp3({.frequency = 1000, .seconds = 11}), "1k");
    add(tonefiles::wav({.seconds = 2}, "renamed-wav.mp3"), "wav");
    add(tonefiles::missing("missing.mp3"), "missing");
    add(tonefiles::mp3({.frequency = 3000, .seconds = 30}), "3k");
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    decks.playOrStop();
    ASSERT_TRUE(waitFor([&] { return decks.CurrentIndex == 3 && decks.deckB_.isOpen(); }));
    ASSERT_TRUE(waitFor([&] { return decks.deckB_.position() >= 10500; }, 20000));
    const auto sound = recording.stop();
    const auto from = soundStart(sound);
    ASSERT_LT(from, sound.size());
    const auto played = slice(sound, from, sound.size() - from - kRate / 2);
    const int gap = longestSilenceMs(played);
    std::printf("longest silence %d ms in %.1f s\n", gap, double(played.size()) / kRate);
    EXPECT_LE(gap, 200);
    EXPECT_GT(measure::goertzel(slice(played, 0, kWindow), kRate, 1000), 0.1);
    EXPECT_GT(measure::goertzel(slice(played, played.size() - kWindow, kWindow), kRate, 3000), 0.1);
    for (int bad : {1, 2})
        EXPECT_EQ(list.items().at(bad).playability, Playability::Unplayable) << bad;
    EXPECT_EQ(list.items().at(3).playability, Playability::Playable);
}

// "Stop" stops, whether a double click or "Player (B)" started the decks.
TEST_F(DeckSound, StopAfterADoubleClickOrPlayerBStartIsSilentWithinASecond) {
    DeckEngine decks(engine, list);
    add(tonefiles::mp3({.frequency = 1000, .seconds = 30}), "1k");
    add(tonefiles::mp3({.frequency = 3000, .seconds = 30}), "3k");
    for (const bool playerB : {false, true}) {
        list.select(playerB ? 1 : 0);
        playerB ? decks.playSelectedOn(Deck::B) : decks.playSelectedWithFade();
        auto& deck = playerB ? decks.deckB_ : decks.deckA_;
        // Fading in from 0 on the window's timers: heard after a few steps.
        ASSERT_TRUE(waitFor([&] {
            return deck.isOpen() && decks.getDeckVolume(playerB ? Deck::B : Deck::A) >= 400;
        }));
        {
            MonitorRecording playing;
            ASSERT_TRUE(playing.started());
            waitFor([] { return false; }, 300);
            EXPECT_GT(measure::rms(playing.stop()), 0.02) << playerB;
        }
        ASSERT_EQ(decks.playCaption(), "Stop");
        decks.playOrStop();
        EXPECT_EQ(decks.playCaption(), "Play");
        EXPECT_FALSE(decks.deckA_.isOpen() || decks.deckB_.isOpen()) << playerB;
        waitFor([] { return false; }, 1000);
        MonitorRecording after;
        ASSERT_TRUE(after.started());
        waitFor([] { return false; }, 500);
        EXPECT_LT(measure::rms(after.stop()), 0.002) << playerB;
        EXPECT_FALSE(decks.deckA_.isOpen() || decks.deckB_.isOpen()) << playerB;
    }
}

TEST_F(DeckSound, AnAutomaticFadeBetweenTwoEqualTonesKeepsTheirSummedLevel) {
    DeckEngine decks(engine, list);
    decks.displayTimer.setInterval(24 * 3600 * 1000);
    const double amplitude = 0.3;
    add(tonefiles::mp3({.frequency = 1000, .seconds = 12, .amplitude = amplitude}), "1k");
    add(tonefiles::mp3({.frequency = 3000, .seconds = 12, .amplitude = amplitude}), "3k");

    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    decks.playOrStop();
    ASSERT_TRUE(settleLoads(engine));
    ASSERT_TRUE(waitFor([&] { return decks.deckA_.position() >= 2000; }));
    decks.onDisplayTick(); // the advance onto (B)
    ASSERT_TRUE(settleLoads(engine));
    ASSERT_EQ(decks.CurrentDeck, Deck::B);
    ASSERT_TRUE(waitFor([&] { return decks.deckB_.position() >= 10300; }, 20000));
    const auto sound = recording.stop();

    // Per 100 ms window, from (A) alone through the fade to (B) alone: the
    // power of the two tones adds, so every window is at (A)'s level.
    const std::size_t start = soundStart(sound) + 2 * kWindow;
    ASSERT_LT(start + 60 * kWindow, sound.size()) << "too little was recorded";
    const double reference = 20 * std::log10(measure::rms(slice(sound, start, 10 * kWindow)));
    EXPECT_NEAR(reference, 20 * std::log10(amplitude / std::sqrt(2.0)), 1.0);
    // A window with a dropout in it (a stall of the sound server on a busy
    // machine, which the dropout tests count) says nothing of the fade law:
    // it is left out, and only a few may be.
    int windows = 0, withDropout = 0;
    for (std::size_t i = start; i + kWindow <= sound.size(); i += kWindow) {
        const auto window = slice(sound, i, kWindow);
        ++windows;
        // A little beyond the window too: a gap that begins at its edge.
        const std::size_t margin = std::min<std::size_t>(kRate / 100, sound.size() - i - kWindow);
        const auto around = slice(sound, i - kRate / 100, kWindow + kRate / 100 + margin);
        if (!measure::gaps(around, kRate * 2 / 1000).empty()) {
            ++withDropout;
            continue;
        }
        const double level = 20 * std::log10(measure::rms(window));
        EXPECT_NEAR(level, reference, 1.0) << "at " << (i - start) * 1000 / kRate << " ms";
    }
    EXPECT_LE(withDropout * 10, windows)
        << withDropout << " of " << windows << " windows had a dropout";
    const auto last = slice(sound, sound.size() - kWindow, kWindow);
    EXPECT_GT(measure::goertzel(last, kRate, 3000), 0.8 * amplitude) << "(B) at full volume";
    EXPECT_LT(measure::goertzel(last, kRate, 1000), 0.01) << "(A) silent at the end";
}

// The window makes its engine before it shows and asks for the device after:
// until then the decks keep time silently, and the device takes over without
// stopping them. An engine made silent stays silent when asked.
TEST(EngineOnRequest, KeepsTimeSilentlyUntilAskedThenPlaysOnTheDevice) {
    ensureTestApp();
    using Choice = audio::RealtimeAudioEngine::OutputChoice;
    audio::RealtimeAudioEngine silent(Choice::SilentClock);
    audio::RealtimeAudioEngine engine(Choice::DeviceOnRequest);
    EXPECT_STREQ(engine.backendName(), "silent");
    audio::DeckPlayer player(engine);
    player.open(tonefiles::mp3({.seconds = 5}));
    player.play([] {});
    ASSERT_TRUE(waitFor([&] { return player.position() >= 200; }));
    EXPECT_STREQ(engine.backendName(), "silent") << "the device opened before it was asked for";

    silent.openDevice();
    engine.openDevice();
    EXPECT_TRUE(waitFor([&] { return std::strcmp(engine.backendName(), "pulse") == 0; }));
    const int at = player.position();
    EXPECT_TRUE(waitFor([&] { return player.position() >= at + 200; }))
        << "the deck stopped at the hand-over";
    EXPECT_STREQ(silent.backendName(), "silent");
}

} // namespace
