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
    player.Open(tonefiles::Mp3({.frequency = 1000, .seconds = 7}));
    EXPECT_NEAR(player.Length(), 7000, kMpegFrameMs);
    EXPECT_EQ(player.Position(), 0);
    player.Open(tonefiles::Mp3({.frequency = 440, .seconds = 3, .rate = 48000}));
    EXPECT_NEAR(player.Length(), 3000, kMpegFrameMs);
    // lame writes no gapless info for this layout: the encoder's delay stays in.
    player.Open(tonefiles::Mp3({.frequency = 440, .seconds = 5, .rate = 22050, .channels = 1}));
    EXPECT_NEAR(player.Length(), 5000, 100);
}

TEST_F(AudioDeck, PositionFollowsTheRenderedOutputOnly) {
    player.Open(tonefiles::Mp3({.seconds = 5}));
    card.Render(1000);
    EXPECT_EQ(player.Position(), 0) << "an opened deck waits for Play";
    player.Play();
    card.Render(1000);
    EXPECT_EQ(player.Position(), 1000);
    for (int i = 0; i < 250; ++i)
        card.Render(2);
    EXPECT_EQ(player.Position(), 1500);
    player.Stop();
    card.Render(700);
    EXPECT_EQ(player.Position(), 1500);
    player.Play(); // from where it stopped
    card.Render(300);
    EXPECT_EQ(player.Position(), 1800);
}

TEST_F(AudioDeck, EndNoticeOnceAtTheEndAndTheDeckStaysOpenAtItsLength) {
    player.Open(tonefiles::Mp3({.seconds = 2}));
    int notices = 0;
    player.Play([&] { ++notices; });
    card.Render(1500);
    EXPECT_EQ(notices, 0);
    card.Render(1000);
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(player.IsOpen());
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Position(), player.Length());
    card.Render(1000);
    EXPECT_EQ(notices, 1);
}

TEST_F(AudioDeck, StopAndCloseCancelTheEndNotice) {
    int notices = 0;
    player.Open(tonefiles::Mp3({.seconds = 2}));
    player.Play([&] { ++notices; });
    card.Render(500);
    player.Stop();
    player.Play(); // a new play without a handler replaces the old one
    card.Render(3000);
    player.Open(tonefiles::Mp3({.seconds = 2}));
    player.Play([&] { ++notices; });
    card.Render(500);
    player.Close();
    card.Render(3000);
    EXPECT_EQ(notices, 0);
}

TEST_F(AudioDeck, VolumeReadsBackTheLastValueAndEachOpenStartsAtFull) {
    EXPECT_EQ(player.GetVolume(), 1000) << "never opened";
    EXPECT_THROW(player.SetVolume(200), MediaError) << "a closed deck takes no volume";
    player.Open(tonefiles::Mp3({}));
    EXPECT_EQ(player.GetVolume(), 1000);
    player.SetVolume(350);
    EXPECT_EQ(player.GetVolume(), 350);
    player.SetVolume(1200);
    EXPECT_EQ(player.GetVolume(), 1000);
    player.SetVolume(-5);
    EXPECT_EQ(player.GetVolume(), 0);
    player.SetVolume(420);
    player.Close();
    EXPECT_EQ(player.GetVolume(), 420) << "reading a closed deck gives the last value";
    player.Open(tonefiles::Mp3({}));
    EXPECT_EQ(player.GetVolume(), 1000);
}

TEST_F(AudioDeck, OperationsOnAClosedDeckThrowButCloseAndVolumeReadDoNot) {
    auto expectClosedBehaviour = [&] {
        EXPECT_THROW(player.Play(), MediaError);
        EXPECT_THROW(player.Stop(), MediaError);
        EXPECT_THROW(player.Length(), MediaError);
        EXPECT_THROW(player.Position(), MediaError);
        EXPECT_THROW(player.SetTimeFormatMilliseconds(), MediaError);
        EXPECT_NO_THROW(player.GetVolume());
        EXPECT_NO_THROW(player.Close());
    };
    expectClosedBehaviour();
    player.Open(tonefiles::Mp3({}));
    EXPECT_NO_THROW(player.SetTimeFormatMilliseconds());
    player.Close();
    expectClosedBehaviour();
}

TEST_F(AudioDeck, OpeningAnOpenDeckClosesTheOldTrackAtOnce) {
    player.Open(tonefiles::Mp3({.frequency = 1000, .seconds = 5}));
    player.Play();
    card.Render(2000);
    player.Open(tonefiles::Mp3({.frequency = 3000, .seconds = 3}));
    EXPECT_NEAR(player.Length(), 3000, kMpegFrameMs);
    EXPECT_EQ(player.Position(), 0);
    card.SetCapture(true);
    card.Render(500);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(measure::Rms(measure::Left(card.TakeCaptured())), 0.0) << "old track silent";
    player.Play();
    card.Render(500);
    const auto out = measure::Left(card.TakeCaptured(), 2205);
    EXPECT_NEAR(measure::ZeroCrossingFrequency(out, 44100), 3000, 30);
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
        {tonefiles::Missing("nothing-here.mp3"), "not found"},
        {tonefiles::Bytes("empty.mp3", {}), "empty"},
        {tonefiles::Bytes("noise.mp3", noise), "No MPEG audio"},
        {tonefiles::Wav({}, "wave.mp3"), "RIFF/WAV"},
    };
    for (const auto& c : cases) {
        player.Open(tonefiles::Mp3({})); // an open deck is closed by the failing open
        try {
            player.Open(c.path);
            ADD_FAILURE() << "opened " << c.path;
        } catch (const MediaError& e) {
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
        EXPECT_FALSE(player.IsOpen()) << c.path;
        EXPECT_THROW(player.Length(), MediaError);
        EXPECT_EQ(player.FileName, c.path);
    }
}

TEST_F(AudioDeck, ATruncatedFilePlaysWhatItHolds) {
    const auto whole = tonefiles::Mp3({.frequency = 500, .seconds = 4});
    player.Open(tonefiles::Truncated(whole, "half.mp3", 0.5));
    EXPECT_NEAR(player.Length(), 2000, 150);
    int notices = 0;
    player.Play([&] { ++notices; });
    card.Render(5000);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(player.Position(), player.Length());
}

TEST_F(AudioDeck, OtherRatesAndMonoComeOutAtTheRightPitchOnBothChannels) {
    card.SetCapture(true);
    for (const Tone& t : {Tone{.frequency = 440, .seconds = 2, .rate = 22050, .channels = 1},
                          Tone{.frequency = 440, .seconds = 2, .rate = 48000}}) {
        player.Open(tonefiles::Mp3(t));
        player.Play();
        card.Render(1000);
        const auto out = card.TakeCaptured();
        const auto left = measure::Left(out, 4410);
        EXPECT_NEAR(measure::ZeroCrossingFrequency(left, 44100), 440, 5) << t.rate;
        EXPECT_NEAR(measure::Rms(left), 0.5 / std::sqrt(2.0), 0.05) << t.rate;
        EXPECT_FLOAT_EQ(out[10000].left, out[10000].right) << t.rate;
    }
}

TEST(AudioGainCurve, RunsFromSilenceToFullWithoutGoingBack) {
    EXPECT_EQ(audio::VolumeToGain(0), 0.0f);
    EXPECT_EQ(audio::VolumeToGain(1000), 1.0f);
    for (int v = 1; v <= 1000; ++v)
        EXPECT_GT(audio::VolumeToGain(v), audio::VolumeToGain(v - 1)) << v;
    EXPECT_EQ(audio::SliderLevelToVolume(0), 0);
    EXPECT_EQ(audio::SliderLevelToVolume(1000), 1000);
    for (int level = 1; level <= 1000; ++level)
        EXPECT_GE(audio::SliderLevelToVolume(level), audio::SliderLevelToVolume(level - 1));
}

TEST(AudioGainCurve, FadeStepsKeepTheSummedPowerAndTheSliderMiddleIsClearlyQuieter) {
    // Two uncorrelated tracks of equal level at volumes v and 1000 - v, as
    // every step of the cross-fade leaves them: their powers add.
    for (int v = 0; v <= 1000; v += 100) {
        const double a = audio::VolumeToGain(v), b = audio::VolumeToGain(1000 - v);
        EXPECT_NEAR(10 * std::log10(a * a + b * b), 0.0, 1.0) << v;
    }
    const double middle = audio::VolumeToGain(audio::SliderLevelToVolume(500));
    EXPECT_GT(20 * std::log10(middle), -20.0);
    EXPECT_LT(20 * std::log10(middle), -10.0);
}

TEST(AudioUnderruns, APlayingDeckShortOfFramesBeforeItsEndIsCountedAStartingOneIsNot) {
    audio::DeckChannel channel;
    channel.Open(tonefiles::Mp3({.frequency = 440, .seconds = 4})); // longer than the ring
    std::vector<audio::StereoFrame> out(2048);
    const std::uint64_t before = audio::UnderrunCount();
    channel.Play();
    channel.MixInto(out.data(), out.size()); // nothing decoded yet: it starts later
    EXPECT_EQ(audio::UnderrunCount(), before);
    channel.Refill(audio::DeckChannel::kRingFrames);
    for (std::size_t f = 0; f < audio::DeckChannel::kRingFrames; f += out.size())
        channel.MixInto(out.data(), out.size());
    EXPECT_EQ(audio::UnderrunCount(), before) << "the ring held enough";
    channel.MixInto(out.data(), out.size()); // the ring ran dry mid-track
    EXPECT_EQ(audio::UnderrunCount(), before + 1);
    for (int i = 0; i < 200 && channel.IsPlaying(); ++i) {
        channel.Refill(audio::DeckChannel::kRingFrames);
        channel.MixInto(out.data(), out.size());
    }
    EXPECT_FALSE(channel.IsPlaying()) << "played to its end";
    EXPECT_EQ(audio::UnderrunCount(), before + 1) << "the end is no gap";
}

TEST_F(AudioDeck, VolumeStepsOfAHundredAreRampedNotJumped) {
    // A 50 Hz tone changes by at most ~0.0036 between samples; a gain step
    // that jumped would move one sample by up to 0.1.
    player.Open(tonefiles::Mp3({.frequency = 50, .seconds = 4}));
    player.Play();
    card.Render(300);
    card.SetCapture(true);
    for (int v : {900, 1000, 900, 800, 700, 800, 900, 1000}) {
        player.SetVolume(v);
        card.Render(100);
    }
    const auto steps = measure::Left(card.TakeCaptured());
    float largest = 0;
    for (std::size_t i = 1; i < steps.size(); ++i)
        largest = std::max(largest, std::abs(steps[i] - steps[i - 1]));
    EXPECT_LT(largest, 0.006f);

    // And the level settles where the curve says.
    player.SetVolume(1000);
    card.Render(200);
    card.Render(1000);
    const double full = measure::Rms(measure::Left(card.TakeCaptured(), 8820));
    player.SetVolume(audio::SliderLevelToVolume(500)); // gain 0.25
    card.Render(1000);
    const double half = measure::Rms(measure::Left(card.TakeCaptured(), 8820));
    EXPECT_NEAR(half / full, 0.25, 0.01);
}

TEST(AudioMixing, BothDecksAreMixedEachWithItsOwnGain) {
    VirtualSoundCard card;
    DeckPlayer a(card), b(card);
    a.Open(tonefiles::Mp3({.frequency = 1000, .seconds = 3, .amplitude = 0.3}));
    b.Open(tonefiles::Mp3({.frequency = 3000, .seconds = 3, .amplitude = 0.3}));
    a.Play();
    b.Play();
    b.SetVolume(audio::SliderLevelToVolume(500)); // gain 0.25
    card.SetCapture(true);
    card.Render(1000);
    const auto x = measure::Left(card.TakeCaptured(), 4410, 22050);
    EXPECT_NEAR(measure::Goertzel(x, 44100, 1000), 0.3, 0.02);
    EXPECT_NEAR(measure::Goertzel(x, 44100, 3000), 0.3 * 0.25, 0.01);
    EXPECT_EQ(a.Position(), 1000);
    EXPECT_EQ(b.Position(), 1000);
}

TEST(AudioMixing, TheTapCopiesTheMixSampleForSampleAndCountsWhatItCannotHold) {
    VirtualSoundCard card;
    DeckPlayer deck(card);
    deck.Open(tonefiles::Mp3({.frequency = 1000, .seconds = 9}));
    deck.Play();
    card.Render(100); // before the reader starts: not copied
    audio::MixTap& tap = card.Tap();
    tap.Start();
    card.SetCapture(true);
    card.Render(1000);
    const auto played = card.TakeCaptured();
    std::vector<audio::StereoFrame> copied(played.size() + 10);
    ASSERT_EQ(tap.Read(copied.data(), copied.size()), played.size());
    for (std::size_t i = 0; i < played.size(); i += 97)
        ASSERT_EQ(copied[i].left, played[i].left) << i;
    card.Render(7000); // more than the ring holds, unread
    EXPECT_EQ(tap.Readable(), audio::MixTap::kRingFrames);
    EXPECT_GT(tap.Dropped(), 0u);
}

TEST(AudioMixing, AWavFileLoadsPastItsStartAndItsTrackGainMultipliesTheVolume) {
    EnsureTestApp();
    VirtualSoundCard card;
    DeckPlayer deck(card);
    std::optional<audio::LoadResult> answer;
    deck.Load(
        tonefiles::Wav({.frequency = 1000, .seconds = 4, .amplitude = 0.4}, "gain.wav"),
        [&](const audio::LoadResult& r) { answer = r; }, 1500);
    ASSERT_TRUE(WaitFor([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->loaded) << answer->error;
    EXPECT_EQ(deck.Length(), 4000);
    EXPECT_EQ(deck.Position(), 1500) << "the position counts from the file's start";
    deck.SetVolume(500);
    deck.SetTrackGain(0.5);
    deck.Play();
    card.SetCapture(true);
    card.Render(2000);
    const auto x = measure::Left(card.TakeCaptured(), 4410, 44100);
    EXPECT_NEAR(measure::Goertzel(x, 44100, 1000), 0.4 * audio::VolumeToGain(500) * 0.5, 0.005);
    EXPECT_EQ(deck.Position(), 3500);
    card.Render(600);
    EXPECT_FALSE(deck.IsPlaying()) << "2.5 s were left after the start";
}

TEST(AudioFactory, TheEnvironmentChoosesTheVirtualCard) {
    ::setenv("KOLVADECK_AUDIO", "virtual", 1);
    auto engine = audio::CreateAudioEngine();
    EXPECT_STREQ(engine->BackendName(), "virtual");
    EXPECT_NE(dynamic_cast<VirtualSoundCard*>(engine.get()), nullptr);
}

// A sound server that takes connections and never answers: opening the
// device waits for it, and meanwhile a deck on the silent clock is decoded
// and keeps time (the open happens off the decoder thread).
TEST(AudioRealtime, AServerThatNeverAnswersDoesNotHoldUpTheDecks) {
    EnsureTestApp();
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
        player.Open(tonefiles::Mp3({.seconds = 9}));
        engine.OpenDevice();
        player.Play();
        // Longer than the decoded ring ahead (1.5 s): only a decoder that
        // goes on gets the deck this far.
        EXPECT_TRUE(WaitFor([&] { return player.Position() >= 2500; }, 6000)) << player.Position();
        ::close(listener); // the open gives up, and the engine can go
    }
    ::unsetenv("PULSE_SERVER");
}

TEST(AudioRealtime, WithoutASoundDeviceTheDecksKeepTimeOnASilentClockAndSaySoOnce) {
    EnsureTestApp();
    ::setenv("PULSE_SERVER", "unix:/nonexistent/native", 1); // no sound server, no card
    ::testing::internal::CaptureStderr();
    audio::RealtimeAudioEngine first;
    audio::RealtimeAudioEngine second;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(first.BackendName(), "silent");
    EXPECT_STREQ(second.BackendName(), "silent");
    const auto at = said.find("no sound output device");
    ASSERT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find("no sound output device", at + 1), std::string::npos) << said;

    // Time runs: the deck plays to its end, and the end notice arrives
    // through the event loop.
    DeckPlayer player(first);
    player.Open(tonefiles::Mp3({.seconds = 1}));
    bool ended = false;
    player.Play([&] { ended = true; });
    EXPECT_TRUE(WaitFor([&] { return player.Position() >= 300; }));
    EXPECT_TRUE(WaitFor([&] { return ended; }));
    EXPECT_EQ(player.Position(), player.Length());
}

} // namespace
