// The broadcast mix on the virtual sound card and the virtual microphone:
// talk-over ducking, the relay's wire format and the dead-air watch.
#include "broadcast/BroadcastMix.h"
#include "broadcast/MixSinks.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/VirtualSoundCard.h"
#include "platform/capture/VirtualInput.h"
#include "tests/decks/ToneFiles.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace vi = audio::virtual_input;
using audio::StereoFrame;

namespace {

constexpr std::size_t kTick = 441; // 10 ms
constexpr double kDeckHz = 1000, kMicHz = 3000;

struct Collect : MixSink {
    std::vector<StereoFrame> frames;
    void write(const StereoFrame* f, std::size_t n) override {
        frames.insert(frames.end(), f, f + n);
    }
};

double db(double x) {
    return 20 * std::log10(std::max(x, 1e-9));
}

struct BroadcastMixOnCard : ::testing::Test {
    void SetUp() override {
        ensureTestApp();
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        vi::resetState();
    }
    // Plays the deck for `ms`, the microphone recording meanwhile, and pumps
    // the mix in 10 ms steps as the pacing clock would.
    void run(int ms) {
        for (int t = 0; t < ms; t += 10) {
            card.renderFrames(kTick);
            vi::advance(int(kTick));
            mix.pump(kTick);
        }
    }
    // Level of a frequency in each 10 ms window of the mix.
    std::vector<double> levels(double hz) const {
        std::vector<double> out;
        for (std::size_t at = 0; at + kTick <= sink->frames.size(); at += kTick)
            out.push_back(measure::goertzel(measure::left(sink->frames, at, kTick), 44100, hz));
        return out;
    }
    static std::size_t firstAbove(const std::vector<double>& x, double v, std::size_t from = 0) {
        for (std::size_t i = from; i < x.size(); ++i)
            if (x[i] > v)
                return i;
        return x.size();
    }

    audio::VirtualSoundCard card;
    audio::DeckPlayer deck{card};
    BroadcastMix mix{card.tap()};
    std::shared_ptr<Collect> sink = std::make_shared<Collect>();
};

TEST_F(BroadcastMixOnCard, MicDucksTheDecksByTwelveDecibelsAndLetsThemBack) {
    ASSERT_TRUE(mix.openMicrophone());
    mix.addSink(sink);
    mix.start();
    deck.open(tonefiles::mp3({.frequency = kDeckHz, .seconds = 6, .amplitude = 0.4}));
    deck.play();
    run(1000);
    vi::setTone(kMicHz, 0.3);
    run(1000);
    vi::setSilence();
    run(1500);

    const std::vector<double> decks = levels(kDeckHz), mic = levels(kMicHz);
    const std::size_t talk = firstAbove(mic, 0.1);
    ASSERT_LT(talk, decks.size()) << "the microphone never reached the mix";
    std::size_t quiet = talk;
    while (quiet < mic.size() && mic[quiet] > 0.1)
        ++quiet;
    ASSERT_LT(quiet + 100, decks.size());
    const double before = db(decks[talk - 10]);
    EXPECT_NEAR(db(decks[talk - 10]), db(0.4), 0.5) << "the decks reach the mix whole";
    // 150 ms after the mic's first sound the decks sit 12 +- 1 dB lower, and
    // stay there while it talks.
    for (std::size_t w = talk + 15; w < quiet; ++w)
        ASSERT_NEAR(db(decks[w]) - before, -12, 1) << "window " << w - talk << " after the mic";
    // Back within the hold and release (300 + 500 ms) after the mic stops.
    EXPECT_NEAR(db(decks[quiet + 90]), before, 0.5);
    EXPECT_LT(db(decks[quiet + 20]), before - 11) << "a pause in speech does not pump";
}

TEST_F(BroadcastMixOnCard, DryTapIsSilenceAndTheRelayGetsWholeBlocksAtHalfRate) {
    std::vector<char> wire;
    mix.addSink(std::make_shared<RelayFeed>([&](const char* b, std::size_t n) {
        EXPECT_EQ(n, RelayFeed::kBlockBytes);
        wire.insert(wire.end(), b, b + n);
    }));
    mix.addSink(sink);
    mix.start();
    for (int i = 0; i < 50; ++i)
        mix.pump(kTick); // the output rests: nothing reaches the tap, the mix goes on
    EXPECT_EQ(sink->frames.size(), 50 * kTick);
    EXPECT_EQ(measure::peak(measure::left(sink->frames)), 0.0);
    deck.open(tonefiles::mp3({.frequency = 440, .seconds = 4, .amplitude = 0.5}));
    deck.play();
    run(2500);
    ASSERT_EQ(wire.size(), 3 * 44100 / 2 / 8192 * RelayFeed::kBlockBytes) << "whole blocks only";
    std::vector<float> left;
    for (std::size_t i = 0; i + 4 <= wire.size(); i += 4) {
        std::int16_t s;
        std::memcpy(&s, wire.data() + i, 2);
        left.push_back(float(s) / 32768.0f);
    }
    const std::vector<float> tone(left.end() - 22050, left.end());
    EXPECT_NEAR(measure::zeroCrossingFrequency(tone, 22050), 440, 2);
    EXPECT_NEAR(measure::peak(tone), 0.5, 0.03);
}

TEST_F(BroadcastMixOnCard, DeadAirIsFoundAfterFiveSilentSecondsOnlyWhileADeckPlays) {
    int found = 0;
    bool playing = false;
    auto watch = std::make_shared<DeadAirWatch>([&] { return playing; }, [&] { ++found; });
    mix.addSink(watch);
    mix.start();
    run(8000); // silence with no deck playing is no dead air
    EXPECT_EQ(found, 0);
    EXPECT_TRUE(watch->silent());
    playing = true;
    run(4900);
    EXPECT_EQ(found, 0);
    run(200);
    EXPECT_EQ(found, 1);
    deck.open(tonefiles::mp3({.frequency = 440, .seconds = 3, .amplitude = 0.01}));
    deck.play(); // -40 dBFS: quiet, but on air
    run(2500);
    EXPECT_FALSE(watch->silent());
    EXPECT_EQ(found, 1);
}

} // namespace
