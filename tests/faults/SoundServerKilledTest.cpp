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
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    const std::string file = tonefiles::Mp3({.frequency = 440, .seconds = 3});

    auto engine = std::make_unique<audio::RealtimeAudioEngine>();
    ASSERT_STREQ(engine->BackendName(), "pulse");
    auto deck = std::make_unique<audio::DeckPlayer>(*engine);
    deck->Open(file);
    const int length = deck->Length();
    bool ended = false;
    deck->Play([&] { ended = true; });
    ASSERT_TRUE(WaitFor([&] { return deck->Position() > 200; }))
        << "the deck never started on the live server";

    pulse.Kill();
    const int atKill = deck->Position();
    // The track goes on in silence: time advances past the moment of the kill
    // and the end is announced, without anyone calling into the deck.
    EXPECT_TRUE(WaitFor([&] { return deck->Position() > atKill + 500; }, 10000))
        << "position stuck at " << deck->Position() << " ms after the server died";
    EXPECT_TRUE(WaitFor([&] { return ended; }, 15000)) << "the end of the track never came";
    EXPECT_EQ(deck->Length(), length);
    EXPECT_STREQ(engine->BackendName(), "silent");

    // A second round on the dead server: open, play, stop and close answer.
    deck->Open(file);
    deck->Play();
    EXPECT_TRUE(WaitFor([&] { return deck->Position() > 100; }, 10000));
    deck->Stop();
    deck->Close();

    HangGuard guard("closing the deck and its engine", 10000);
    deck.reset();
    engine.reset();
}

TEST(SoundServerKilled, TheDeckIsHeardAgainWhenTheServerComesBack) {
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    auto engine = std::make_unique<audio::RealtimeAudioEngine>();
    ASSERT_STREQ(engine->BackendName(), "pulse");
    auto deck = std::make_unique<audio::DeckPlayer>(*engine);
    deck->Open(tonefiles::Mp3({.frequency = 1000, .seconds = 30}));
    deck->Play();
    ASSERT_TRUE(WaitFor([&] { return deck->Position() > 200; }));

    pulse.Kill();
    ASSERT_TRUE(WaitFor([&] { return std::strcmp(engine->BackendName(), "silent") == 0; }))
        << "the engine never left the dead device";
    ASSERT_TRUE(pulse.Start()) << "the second PulseAudio did not start";
    ASSERT_TRUE(WaitFor([&] { return std::strcmp(engine->BackendName(), "pulse") == 0; }))
        << "the engine never went back to the sound server";
    const int atReturn = deck->Position();

    // The track goes on where the silent clock had brought it, and is heard.
    MonitorRecording recording;
    ASSERT_TRUE(recording.Started());
    ASSERT_TRUE(WaitFor([&] { return deck->Position() > atReturn + 1500; }));
    const std::vector<float> sound = recording.Stop();
    ASSERT_GT(sound.size(), 44100u / 2);
    const std::vector<float> last(sound.end() - 44100 / 2, sound.end());
    EXPECT_GT(measure::Rms(last), 0.1);
    EXPECT_NEAR(measure::ZeroCrossingFrequency(last, 44100), 1000, 10);
    EXPECT_LT(deck->Position(), 30000);

    HangGuard guard("closing the deck and its engine", 10000);
    deck.reset();
    engine.reset();
}

TEST(SoundServerKilled, TheInputMeterRestsAndComesBackWithTheServer) {
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth",
                                        "20", "sine", "440", "vol", "0.5"}),
              0);
    audio::UseCaptureBackend(audio::CaptureBackend::PortAudio);
    std::unique_ptr<LevelMeter> meter(CreateInputMeter(nullptr));
    auto level = std::make_unique<InputLevel>(meter.get());
    const audio::Status started = level->Start();
    ASSERT_TRUE(started) << started.error();

    QProcess first;
    first.start("paplay", {"-d", "ci_mic_feed", tone});
    ASSERT_TRUE(WaitFor([&] { return meter->LitCount(0) > 50; })) << "the tone never lit the meter";
    pulse.Kill();
    // No frozen bar while there is no input.
    ASSERT_TRUE(WaitFor([&] { return meter->LitCount(0) == 0; }, 10000))
        << "the meter still shows " << meter->LitCount(0) << " segments";

    ASSERT_TRUE(pulse.Start()) << "the second PulseAudio did not start";
    QProcess second;
    second.start("paplay", {"-d", "ci_mic_feed", tone});
    EXPECT_TRUE(WaitFor([&] { return meter->LitCount(0) > 50; }, 20000))
        << "the meter never showed the restarted server's microphone";

    HangGuard guard("closing the level capture", 10000);
    level->StopWhenDrained();
    EXPECT_TRUE(WaitFor([&] { return !level->capture()->isOpen(); }, 5000));
    level.reset();
    second.kill();
    second.waitForFinished();
    first.kill();
    first.waitForFinished();
    audio::UseCaptureBackend(audio::CaptureBackend::FromEnvironment);
}

TEST(SoundServerKilled, TheMasterVolumeReachesTheRestartedServer) {
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    mixer::AlsaMixerSystem alsa;
    MasterVolume masterVolume(alsa);
    masterVolume.SetVolume(50);
    ASSERT_EQ(pactl::SinkVolume(), (std::vector<int>{50, 50}));

    pulse.Kill();
    {
        HangGuard guard("the master volume without a server", 10000);
        masterVolume.SetVolume(40);
        masterVolume.Volume();
    }
    ASSERT_TRUE(pulse.Start()) << "the second PulseAudio did not start";
    EXPECT_TRUE(WaitFor(
        [&] {
            masterVolume.SetVolume(30);
            return pactl::SinkVolume() == std::vector<int>{30, 30};
        },
        10000))
        << "the restarted server's volume stays "
        << pactl::Run({"get-sink-volume", "ci_sink"}).toStdString();
    // Another program's change is read from the new server too.
    pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "80%"});
    EXPECT_TRUE(WaitFor([&] { return masterVolume.Volume() >= 79; }, 5000))
        << masterVolume.Volume();
}

// A mixer that reports changes finds the new server by itself: nobody reads,
// yet its notices resume.
TEST(SoundServerKilled, MixerChangeNoticesResumeWithTheRestartedServer) {
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    mixer::AlsaMixerSystem alsa;
    std::vector<std::uint32_t> notices;
    std::unique_ptr<mixer::Mixer> opened;
    std::string why;
    ASSERT_TRUE(alsa.open(
        0, [&](std::uint32_t, std::uint32_t control) { notices.push_back(control); }, opened, &why))
        << why;

    pulse.Kill();
    ASSERT_TRUE(pulse.Start()) << "the second PulseAudio did not start";
    ASSERT_TRUE(WaitFor([&] { return !notices.empty(); }, 15000))
        << "the mixer never reported the new server";
    notices.clear();
    pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "40%"});
    EXPECT_TRUE(WaitFor([&] { return !notices.empty(); }, 5000))
        << "no notice of the new server's change";
}

} // namespace
