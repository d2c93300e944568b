// The audio engine and its deck devices on the virtual sound card, with real
// MP3 files made by sox and lame in the test run.
#include "platform/audio/AudioEngine.h"
#include "platform/audio/DeckChannel.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/GainCurve.h"
#include "platform/audio/MediaError.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/UnderrunCount.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cmath>
#include <functional>
#include <optional>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using audio::DeckPlayer;
using audio::MediaError;
using audio::VirtualSoundCard;
using tonefiles::Tone;

namespace {

constexpr double kMpegFrameMs = 1152 * 1000.0 / 44100; // one MPEG-1 layer III frame

struct AudioDeck : ::testing::Test {
    VirtualSoundCard card;
    DeckPlayer player{card};
};

TEST_F(AudioDeck, LengthIsExactWhenOpenReturnsForEveryRateAndLayout) {
    player.open(tonefiles::mp3({.frequency = 1000, .seconds = 7}));
    EXPECT_NEAR(player.length(), 7000, kMpegFrameMs);
    EXPECT_EQ(player.position(), 0);
    player.open(tonefiles::mp3({.frequency = 440, .seconds = 3, .rate = 48000}));
    EXPECT_NEAR(player.length(), 3000, kMpegFrameMs);
    // lame writes no gapless info for this layout: the encoder's delay stays in.
    player.open(tonefiles::mp3({.frequency = 440, .seconds = 5, .rate = 22050, .channels = 1}));
    EXPECT_NEAR(player.length(), 5000, 100);
}

TEST_F(AudioDeck, PositionFollowsTheRenderedOutputOnly) {
    player.open(tonefiles::mp3({.seconds = 5}));
    card.render(1000);
    EXPECT_EQ(player.position(), 0) << "an opened deck waits for Play";
    player.play();
    card.render(1000);
    EXPECT_EQ(player.position(), 1000);
    for (int i = 0; i < 250; ++i)
        card.render(2);
    EXPECT_EQ(player.position(), 1500);
    player.stop();
    card.render(700);
    EXPECT_EQ(player.position(), 1500);
    player.play(); // from where it stopped
    card.render(300);
    EXPECT_EQ(player.position(), 1800);
}

TEST_F(AudioDeck, EndNoticeOnceAtTheEndAndTheDeckStaysOpenAtItsLength) {
    player.open(tonefiles::mp3({.seconds = 2}));
    int notices = 0;
    player.play([&] { ++notices; });
    card.render(1500);
    EXPECT_EQ(notices, 0);
    card.render(1000);
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(player.isOpen());
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.position(), player.length());
    card.render(1000);
    EXPECT_EQ(notices, 1);
}

TEST_F(AudioDeck, StopAndCloseCancelTheEndNotice) {
    int notices = 0;
    player.open(tonefiles::mp3({.seconds = 2}));
    player.play([&] { ++notices; });
    card.render(500);
    player.stop();
    player.play(); // a new play without a handler replaces the old one
    card.render(3000);
    player.open(tonefiles::mp3({.seconds = 2}));
    player.play([&] { ++notices; });
    card.render(500);
    player.close();
    card.render(3000);
    EXPECT_EQ(notices, 0);
}

TEST_F(AudioDeck, VolumeReadsBackTheLastValueAndEachOpenStartsAtFull) {
    EXPECT_EQ(player.getVolume(), 1000) << "never opened";
    EXPECT_THROW(player.setVolume(200), MediaError) << "a closed deck takes no volume";
    player.open(tonefiles::mp3({}));
    EXPECT_EQ(player.getVolume(), 1000);
    player.setVolume(350);
    EXPECT_EQ(player.getVolume(), 350);
    player.setVolume(1200);
    EXPECT_EQ(player.getVolume(), 1000);
    player.setVolume(-5);
    EXPECT_EQ(player.getVolume(), 0);
    player.setVolume(420);
    player.close();
    EXPECT_EQ(player.getVolume(), 420) << "reading a closed deck gives the last value";
    player.open(tonefiles::mp3({}));
    EXPECT_EQ(player.getVolume(), 1000);
}

TEST_F(AudioDeck, OperationsOnAClosedDeckThrowButCloseAndVolumeReadDoNot) {
    auto expectClosedBehaviour = [&] {
        EXPECT_THROW(player.play(), MediaError);
        EXPECT_THROW(player.stop(), MediaError);
        EXPECT_THROW(player.length(), MediaError);
        EXPECT_THROW(player.position(), MediaError);
        EXPECT_THROW(player.setTimeFormatMilliseconds(), MediaError);
        EXPECT_NO_THROW(player.getVolume());
        EXPECT_NO_THROW(player.close());
    };
    expectClosedBehaviour();
    player.open(tonefiles::mp3({}));
    EXPECT_NO_THROW(player.setTimeFormatMilliseconds());
    player.close();
    expectClosedBehaviour();
}

TEST_F(AudioDeck, OpeningAnOpenDeckClosesTheOldTrackAtOnce) {
    player.open(tonefiles::mp3({.frequency = 1000, .seconds = 5}));
    player.play();
    card.render(2000);
    player.open(tonefiles::mp3({.frequency = 3000, .seconds = 3}));
    EXPECT_NEAR(player.length(), 3000, kMpegFrameMs);
    EXPECT_EQ(player.position(), 0);
    card.setCapture(true);
    card.render(500);
    EXPECT_EQ(player.position(), 0);
    EXPECT_EQ(measure::rms(measure::left(card.takeCaptured())), 0.0) << "old track silent";
    player.play();
    card.render(500);
    const auto out = measure::left(card.takeCaptured(), 2205);
    EXPECT_NEAR(measure::zeroCrossingFrequency(out, 44100), 3000, 30);
}

TEST_F(AudioDeck, FilesThatCannotBePlayedFailWithAPlainTextAndLeaveTheDeckClosed) {
    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator rng(1234);
    for (auto& b : noise)
        b = static_cast<char>(rng.bounded(256));
    const struct {
        std::string path;
        const char* words;
    } cases[] = {
        {tonefiles::missing("nothing-here.mp3"), "not found"},
        {tonefiles::bytes("empty.mp3", {}), "empty"},
        {tonefiles::bytes("noise.mp3", noise), "No MPEG audio"},
        {tonefiles::wav({}, "wave.mp3"), "RIFF/WAV"},
    };
    for (const auto& c : cases) {
        player.open(tonefiles::mp3({})); // an open deck is closed by the failing open
        try {
            player.open(c.path);
            ADD_FAILURE() << "opened " << c.path;
        } catch (const MediaError& e) {
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
        EXPECT_FALSE(player.isOpen()) << c.path;
        EXPECT_THROW(player.length(), MediaError);
        EXPECT_EQ(player.FileName, c.path);
    }
}

TEST_F(AudioDeck, ATruncatedFilePlaysWhatItHolds) {
    const auto whole = tonefiles::mp3({.frequency = 500, .seconds = 4});
    player.open(tonefiles::truncated(whole, "half.mp3", 0.5));
    EXPECT_NEAR(player.length(), 2000, 150);
    int notices = 0;
    player.play([&] { ++notices; });
    card.render(5000);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(player.position(), player.length());
}

TEST_F(AudioDeck, OtherRatesAndMonoComeOutAtTheRightPitchOnBothChannels) {
    card.setCapture(true);
    for (const Tone& t : {Tone{.frequency = 440, .seconds = 2, .rate = 22050, .channels = 1},
                          Tone{.frequency = 440, .seconds = 2, .rate = 48000}}) {
        player.open(tonefiles::mp3(t));
        player.play();
        card.render(1000);
        const auto out = card.takeCaptured();
        const auto left = measure::left(out, 4410);
        EXPECT_NEAR(measure::zeroCrossingFrequency(left, 44100), 440, 5) << t.rate;
        EXPECT_NEAR(measure::rms(left), 0.5 / std::sqrt(2.0), 0.05) << t.rate;
        EXPECT_FLOAT_EQ(out[10000].left, out[10000].right) << t.rate;
    }
}

TEST(AudioGainCurve, RunsFromSilenceToFullWithoutGoingBack) {
    EXPECT_EQ(audio::volumeToGain(0), 0.0f);
    EXPECT_EQ(audio::volumeToGain(1000), 1.0f);
    for (int v = 1; v <= 1000; ++v)
        EXPECT_GT(audio::volumeToGain(v), audio::volumeToGain(v - 1)) << v;
    EXPECT_EQ(audio::sliderLevelToVolume(0), 0);
    EXPECT_EQ(audio::sliderLevelToVolume(1000), 1000);
    for (int level = 1; level <= 1000; ++level)
        EXPECT_GE(audio::sliderLevelToVolume(level), audio::sliderLevelToVolume(level - 1));
}

TEST(AudioGainCurve, FadeStepsKeepTheSummedPowerAndTheSliderMiddleIsClearlyQuieter) {
    // Two uncorrelated tracks of equal level at volumes v and 1000 - v, as
    // every step of the cross-fade leaves them: their powers add.
    for (int v = 0; v <= 1000; v += 100) {
        const double a = audio::volumeToGain(v), b = audio::volumeToGain(1000 - v);
        EXPECT_NEAR(10 * std::log10(a * a + b * b), 0.0, 1.0) << v;
    }
    const double middle = audio::volumeToGain(audio::sliderLevelToVolume(500));
    EXPECT_GT(20 * std::log10(middle), -20.0);
    EXPECT_LT(20 * std::log10(middle), -10.0);
}

TEST(AudioUnderruns, APlayingDeckShortOfFramesBeforeItsEndIsCountedAStartingOneIsNot) {
    audio::DeckChannel channel;
    channel.open(tonefiles::mp3({.frequency = 440, .seconds = 4})); // longer than the ring
    std::vector<audio::StereoFrame> out(2048);
    const std::uint64_t before = audio::underrunCount();
    channel.play();
    channel.mixInto(out.data(), out.size()); // nothing decoded yet: it starts later
    EXPECT_EQ(audio::underrunCount(), before);
    channel.refill(audio::DeckChannel::kRingFrames);
    for (std::size_t f = 0; f < audio::DeckChannel::kRingFrames; f += out.size())
        channel.mixInto(out.data(), out.size());
    EXPECT_EQ(audio::underrunCount(), before) << "the ring held enough";
    channel.mixInto(out.data(), out.size()); // the ring ran dry mid-track
    EXPECT_EQ(audio::underrunCount(), before + 1);
    for (int i = 0; i < 200 && channel.isPlaying(); ++i) {
        channel.refill(audio::DeckChannel::kRingFrames);
        channel.mixInto(out.data(), out.size());
    }
    EXPECT_FALSE(channel.isPlaying()) << "played to its end";
    EXPECT_EQ(audio::underrunCount(), before + 1) << "the end is no gap";
}

TEST_F(AudioDeck, VolumeStepsOfAHundredAreRampedNotJumped) {
    // A 50 Hz tone changes by at most ~0.0036 between samples; a gain step
    // that jumped would move one sample by up to 0.1.
    player.open(tonefiles::mp3({.frequency = 50, .seconds = 4}));
    player.play();
    card.render(300);
    card.setCapture(true);
    for (int v : {900, 1000, 900, 800, 700, 800, 900, 1000}) {
        player.setVolume(v);
        card.render(100);
    }
    const auto steps = measure::left(card.takeCaptured());
    float largest = 0;
    for (std::size_t i = 1; i < steps.size(); ++i)
        largest = std::max(largest, std::abs(steps[i] - steps[i - 1]));
    EXPECT_LT(largest, 0.006f);

    // And the level settles where the curve says.
    player.setVolume(1000);
    card.render(200);
    card.render(1000);
    const double full = measure::rms(measure::left(card.takeCaptured(), 8820));
    player.setVolume(audio::sliderLevelToVolume(500)); // gain 0.25
    card.render(1000);
    const double half = measure::rms(measure::left(card.takeCaptured(), 8820));
    EXPECT_NEAR(half / full, 0.25, 0.01);
}

TEST(AudioMixing, BothDecksAreMixedEachWithItsOwnGain) {
    VirtualSoundCard card;
    DeckPlayer a(card), b(card);
    a.open(tonefiles::mp3({.frequency = 1000, .seconds = 3, .amplitude = 0.3}));
    b.open(tonefiles::mp3({.frequency = 3000, .seconds = 3, .amplitude = 0.3}));
    a.play();
    b.play();
    b.setVolume(audio::sliderLevelToVolume(500)); // gain 0.25
    card.setCapture(true);
    card.render(1000);
    const auto x = measure::left(card.takeCaptured(), 4410, 22050);
    EXPECT_NEAR(measure::goertzel(x, 44100, 1000), 0.3, 0.02);
    EXPECT_NEAR(measure::goertzel(x, 44100, 3000), 0.3 * 0.25, 0.01);
    EXPECT_EQ(a.position(), 1000);
    EXPECT_EQ(b.position(), 1000);
}

TEST(AudioMixing, TheTapCopiesTheMixSampleForSampleAndCountsWhatItCannotHold) {
    VirtualSoundCard card;
    DeckPlayer deck(card);
    deck.open(tonefiles::mp3({.frequency = 1000, .seconds = 9}));
    deck.play();
    card.render(100); // before the reader starts: not copied
    audio::MixTap& tap = card.tap();
    tap.start();
    card.setCapture(true);
    card.render(1000);
    const auto played = card.takeCaptured();
    std::vector<audio::StereoFrame> copied(played.size() + 10);
    ASSERT_EQ(tap.read(copied.data(), copied.size()), played.size());
    for (std::size_t i = 0; i < played.size(); i += 97)
        ASSERT_EQ(copied[i].left, played[i].left) << i;
    card.render(7000); // more than the ring holds, unread
    EXPECT_EQ(tap.readable(), audio::MixTap::kRingFrames);
    EXPECT_GT(tap.dropped(), 0u);
}

TEST(AudioMixing, AWavFileLoadsPastItsStartAndItsTrackGainMultipliesTheVolume) {
    ensureTestApp();
    VirtualSoundCard card;
    DeckPlayer deck(card);
    std::optional<audio::LoadResult> answer;
    deck.load(
        tonefiles::wav({.frequency = 1000, .seconds = 4, .amplitude = 0.4}, "gain.wav"),
        [&](const audio::LoadResult& r) { answer = r; }, 1500);
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->loaded) << answer->error;
    EXPECT_EQ(deck.length(), 4000);
    EXPECT_EQ(deck.position(), 1500) << "the position counts from the file's start";
    deck.setVolume(500);
    deck.setTrackGain(0.5);
    deck.play();
    card.setCapture(true);
    card.render(2000);
    const auto x = measure::left(card.takeCaptured(), 4410, 44100);
    EXPECT_NEAR(measure::goertzel(x, 44100, 1000), 0.4 * audio::volumeToGain(500) * 0.5, 0.005);
    EXPECT_EQ(deck.position(), 3500);
    card.render(600);
    EXPECT_FALSE(deck.isPlaying()) << "2.5 s were left after the start";
}

TEST(AudioFactory, TheEnvironmentChoosesTheVirtualCard) {
    ::setenv("KOLVADECK_AUDIO", "virtual", 1);
    auto engine = audio::createAudioEngine();
    EXPECT_STREQ(engine->backendName(), "virtual");
    EXPECT_NE(dynamic_cast<VirtualSoundCard*>(engine.get()), nullptr);
}

// A sound server that takes connections and never answers: opening the
// device waits for it, and meanwhile a deck on the silent clock is decoded
// and keeps time (the open happens off the decoder thread).
TEST(AudioRealtime, AServerThatNeverAnswersDoesNotHoldUpTheDecks) {
    ensureTestApp();
    QTemporaryDir dir;
    const std::string socketPath = dir.filePath("native").toStdString();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0); // the kernel accepts; nobody ever reads or answers
    ::setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
    {
        audio::RealtimeAudioEngine engine(
            audio::RealtimeAudioEngine::OutputChoice::DeviceOnRequest);
        DeckPlayer player(engine);
        player.open(tonefiles::mp3({.seconds = 9}));
        engine.openDevice();
        player.play();
        // Longer than the decoded ring ahead (1.5 s): only a decoder that
        // goes on gets the deck this far.
        EXPECT_TRUE(waitFor([&] { return player.position() >= 2500; }, 6000)) << player.position();
        ::close(listener); // the open gives up, and the engine can go
    }
    ::unsetenv("PULSE_SERVER");
}

TEST(AudioRealtime, WithoutASoundDeviceTheDecksKeepTimeOnASilentClockAndSaySoOnce) {
    ensureTestApp();
    ::setenv("PULSE_SERVER", "unix:/nonexistent/native", 1); // no sound server, no card
    ::testing::internal::CaptureStderr();
    audio::RealtimeAudioEngine first;
    audio::RealtimeAudioEngine second;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(first.backendName(), "silent");
    EXPECT_STREQ(second.backendName(), "silent");
    const auto at = said.find("no sound output device");
    ASSERT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find("no sound output device", at + 1), std::string::npos) << said;

    // Time runs: the deck plays to its end, and the end notice arrives
    // through the event loop.
    DeckPlayer player(first);
    player.open(tonefiles::mp3({.seconds = 1}));
    bool ended = false;
    player.play([&] { ended = true; });
    EXPECT_TRUE(waitFor([&] { return player.position() >= 300; }));
    EXPECT_TRUE(waitFor([&] { return ended; }));
    EXPECT_EQ(player.position(), player.length());
}

} // namespace
