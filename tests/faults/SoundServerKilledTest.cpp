// The sound server dies while a deck plays through PortAudio. The program must
// keep running: the deck keeps time on a silent clock (position advances, the
// end of the track is announced), and Stop, Close and the engine's destruction
// return. When a server is started again, the deck is heard again, the input
// meter shows the microphone again and the master volume reaches it.
#include "mixer/InputLevel.h"
#include "mixer/InputMeterDesign.h"
#include "mixer/MasterVolume.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/mixer/AlsaMixer.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/faults/PrivatePulse.h"
#include "tests/mixer/Pactl.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(SoundServerKilled, DeckKeepsTimeAndEndsWhenTheServerDiesMidTrack) {
    ensureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.up()) << "private PulseAudio did not start";
    const std::string file = tonefiles::mp3({.frequency = 440, .seconds = 3});

    auto engine = std::make_unique<audio::RealtimeAudioEngine>();
    ASSERT_STREQ(engine->backendName(), "pulse");
    auto deck = std::make_unique<audio::DeckPlayer>(*engine);
    deck->open(file);
    const int length = deck->length();
    bool ended = false;
    deck->play([&] { ended = true; });
    ASSERT_TRUE(waitFor([&] { return deck->position() > 200; }))
        << "the deck never started on the live server";

    pulse.kill();
    const int atKill = deck->position();
    // The track goes on in silence: time advances past the moment of the kill
    // and the end is announced, without anyone calling into the deck.
    EXPECT_TRUE(waitFor([&] { return deck->position() > atKill + 500; }, 10000))
        << "position stuck at " << deck->position() << " ms after the server died";
    EXPECT_TRUE(waitFor([&] { return ended; }, 15000)) << "the end of the track never came";
    EXPECT_EQ(deck->length(), length);
    EXPECT_STREQ(engine->backendName(), "silent");

    // A second round on the dead server: open, play, stop and close answer.
    deck->open(file);
    deck->play();
    EXPECT_TRUE(waitFor([&] { return deck->position() > 100; }, 10000));
    deck->stop();
    deck->close();

    HangGuard guard("closing the deck and its engine", 10000);
    deck.reset();
    engine.reset();
}

TEST(SoundServerKilled, TheDeckIsHeardAgainWhenTheServerComesBack) {
    ensureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.up()) << "private PulseAudio did not start";
    auto engine = std::make_unique<audio::RealtimeAudioEngine>();
    ASSERT_STREQ(engine->backendName(), "pulse");
    auto deck = std::make_unique<audio::DeckPlayer>(*engine);
    deck->open(tonefiles::mp3({.frequency = 1000, .seconds = 30}));
    deck->play();
    ASSERT_TRUE(waitFor([&] { return deck->position() > 200; }));

    pulse.kill();
    ASSERT_TRUE(waitFor([&] { return std::strcmp(engine->backendName(), "silent") == 0; }))
        << "the engine never left the dead device";
    ASSERT_TRUE(pulse.start()) << "the second PulseAudio did not start";
    ASSERT_TRUE(waitFor([&] { return std::strcmp(engine->backendName(), "pulse") == 0; }))
        << "the engine never went back to the sound server";
    const int atReturn = deck->position();

    // The track goes on where the silent clock had brought it, and is heard.
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    ASSERT_TRUE(waitFor([&] { return deck->position() > atReturn + 1500; }));
    const std::vector<float> sound = recording.stop();
    ASSERT_GT(sound.size(), 44100u / 2);
    const std::vector<float> last(sound.end() - 44100 / 2, sound.end());
    EXPECT_GT(measure::rms(last), 0.1);
    EXPECT_NEAR(measure::zeroCrossingFrequency(last, 44100), 1000, 10);
    EXPECT_LT(deck->position(), 30000);

    HangGuard guard("closing the deck and its engine", 10000);
    deck.reset();
    engine.reset();
}

TEST(SoundServerKilled, TheInputMeterRestsAndComesBackWithTheServer) {
    ensureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.up()) << "private PulseAudio did not start";
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth",
                                        "20", "sine", "440", "vol", "0.5"}),
              0);
    audio::useCaptureBackend(audio::CaptureBackend::PortAudio);
    std::unique_ptr<LevelMeter> meter(createInputMeter(nullptr));
    auto level = std::make_unique<InputLevel>(meter.get());
    const audio::Status started = level->start();
    ASSERT_TRUE(started) << started.error();

    QProcess first;
    first.start("paplay", {"-d", "ci_mic_feed", tone});
    ASSERT_TRUE(waitFor([&] { return meter->litCount(0) > 50; })) << "the tone never lit the meter";
    pulse.kill();
    // No frozen bar while there is no input.
    ASSERT_TRUE(waitFor([&] { return meter->litCount(0) == 0; }, 10000))
        << "the meter still shows " << meter->litCount(0) << " segments";

    ASSERT_TRUE(pulse.start()) << "the second PulseAudio did not start";
    QProcess second;
    second.start("paplay", {"-d", "ci_mic_feed", tone});
    EXPECT_TRUE(waitFor([&] { return meter->litCount(0) > 50; }, 20000))
        << "the meter never showed the restarted server's microphone";

    HangGuard guard("closing the level capture", 10000);
    level->stopWhenDrained();
    EXPECT_TRUE(waitFor([&] { return !level->capture()->isOpen(); }, 5000));
    level.reset();
    second.kill();
    second.waitForFinished();
    first.kill();
    first.waitForFinished();
    audio::useCaptureBackend(audio::CaptureBackend::FromEnvironment);
}

TEST(SoundServerKilled, TheMasterVolumeReachesTheRestartedServer) {
    ensureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.up()) << "private PulseAudio did not start";
    mixer::AlsaMixerSystem alsa;
    MasterVolume masterVolume(alsa);
    masterVolume.setVolume(50);
    ASSERT_EQ(pactl::sinkVolume(), (std::vector<int>{50, 50}));

    pulse.kill();
    {
        HangGuard guard("the master volume without a server", 10000);
        masterVolume.setVolume(40);
        masterVolume.volume();
    }
    ASSERT_TRUE(pulse.start()) << "the second PulseAudio did not start";
    EXPECT_TRUE(waitFor(
        [&] {
            masterVolume.setVolume(30);
            return pactl::sinkVolume() == std::vector<int>{30, 30};
        },
        10000))
        << "the restarted server's volume stays "
        << pactl::run({"get-sink-volume", "ci_sink"}).toStdString();
    // Another program's change is read from the new server too.
    pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "80%"});
    EXPECT_TRUE(waitFor([&] { return masterVolume.volume() >= 79; }, 5000))
        << masterVolume.volume();
}

// A mixer that reports changes finds the new server by itself: nobody reads,
// yet its notices resume.
TEST(SoundServerKilled, MixerChangeNoticesResumeWithTheRestartedServer) {
    ensureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.up()) << "private PulseAudio did not start";
    mixer::AlsaMixerSystem alsa;
    std::vector<std::uint32_t> notices;
    std::unique_ptr<mixer::Mixer> opened;
    std::string why;
    ASSERT_TRUE(alsa.open(
        0, [&](std::uint32_t, std::uint32_t control) { notices.push_back(control); }, opened, &why))
        << why;

    pulse.kill();
    ASSERT_TRUE(pulse.start()) << "the second PulseAudio did not start";
    ASSERT_TRUE(waitFor([&] { return !notices.empty(); }, 15000))
        << "the mixer never reported the new server";
    notices.clear();
    pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "40%"});
    EXPECT_TRUE(waitFor([&] { return !notices.empty(); }, 5000))
        << "no notice of the new server's change";
}

} // namespace
