// The sound server dies while a deck plays through PortAudio. The program must
// keep running: the deck keeps time on a silent clock (position advances, the
// end of the track is announced), and Stop, Close and the engine's destruction
// return. When a server is started again, the deck is heard again.
#include "app/Unit1.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/Dialogs.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/TMediaPlayer.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/types.h>
#include <thread>

namespace {

// A private PulseAudio server of this test alone, so that killing it does not
// disturb the shared one of the other system tests.
class PrivatePulse {
public:
    PrivatePulse() { Start(); }
    ~PrivatePulse() { QProcess::execute(Script(), {"stop", dir_.path()}); }
    bool Up() const { return up_ && pid_ > 0; }
    void Kill() { ::kill(pid_, SIGKILL); }
    // A new server on the same socket, as after a restart of the user's.
    bool Start() {
        QProcess start;
        start.start(Script(), {"start", dir_.path()});
        up_ = start.waitForFinished(20000) && start.exitCode() == 0;
        pid_ = 0;
        if (up_) {
            qputenv("PULSE_SERVER", ("unix:" + dir_.path() + "/native").toUtf8());
            QFile pid(dir_.path() + "/pid");
            if (pid.open(QIODevice::ReadOnly))
                pid_ = pid.readAll().trimmed().toInt();
        }
        return Up();
    }

private:
    static QString Script() { return QStringLiteral(KV_SOURCE_DIR "/scripts/pulse-server.sh"); }
    QTemporaryDir dir_;
    bool up_ = false;
    pid_t pid_ = 0;
};

// Guards a step that must not hang: if the step is still running after the
// bound, the test program ends at once with a failure (a hung program cannot
// be tested further). The step itself runs on the calling thread, so that
// widgets are destroyed on the thread that made them.
class HangGuard {
public:
    HangGuard(const char* step, int ms)
        : watcher_([this, step, ms] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return over_; })) {
                std::fprintf(stderr, "HUNG: %s did not return within %d ms\n", step, ms);
                std::fflush(stderr);
                std::_Exit(1);
            }
        }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(mutex_);
            over_ = true;
        }
        done_.notify_one();
        watcher_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::thread watcher_;
};

TEST(SoundServerKilled, DeckKeepsTimeAndEndsWhenTheServerDiesMidTrack) {
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    const std::string file = tonefiles::Mp3({.frequency = 440, .seconds = 3});

    auto engine = std::make_unique<audio::RealtimeAudioEngine>();
    ASSERT_STREQ(engine->BackendName(), "portaudio");
    auto deck = std::make_unique<audio::TMediaPlayer>(*engine);
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
    ASSERT_STREQ(engine->BackendName(), "portaudio");
    auto deck = std::make_unique<audio::TMediaPlayer>(*engine);
    deck->Open(tonefiles::Mp3({.frequency = 1000, .seconds = 30}));
    deck->Play();
    ASSERT_TRUE(WaitFor([&] { return deck->Position() > 200; }));

    pulse.Kill();
    ASSERT_TRUE(WaitFor([&] { return std::strcmp(engine->BackendName(), "silent") == 0; }))
        << "the engine never left the dead device";
    ASSERT_TRUE(pulse.Start()) << "the second PulseAudio did not start";
    ASSERT_TRUE(WaitFor([&] { return std::strcmp(engine->BackendName(), "portaudio") == 0; }))
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

TEST(SoundServerKilled, WholeWindowOnTheRealBackEndsGoesOnAndCloses) {
    EnsureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Up()) << "private PulseAudio did not start";
    QTemporaryDir home;
    ::setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
    ::unsetenv("KOLVADECK_AUDIO"); // the real sound output, mixer and microphone
    dialogs::SetHandler([](const dialogs::Request&) { return dialogs::Answer{true, {}}; });

    auto form = std::make_unique<TForm1>();
    form->show();
    ASSERT_STREQ(form->audioEngine->BackendName(), "portaudio");
    for (double frequency : {440.0, 550.0, 660.0})
        form->playlist->AddFile(tonefiles::Mp3({.frequency = frequency, .seconds = 2}));
    form->Play1->trigger();
    ASSERT_TRUE(WaitFor([&] { return form->decks->CurrentDeck == 1; }));

    pulse.Kill();
    // The list plays on in silence: the third track is reached and the list
    // runs out, with the window's own timers driving it.
    const int atKill = form->decks->CurrentIndex;
    const auto killedAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return form->decks->CurrentIndex == 2; }, 30000))
        << "the decks stopped advancing; at index " << form->decks->CurrentIndex;
    std::printf("index %d at the kill, 2 after %lld ms\n", atKill,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - killedAt)
                                           .count()));
    EXPECT_TRUE(WaitFor([&] {
        return std::strcmp(form->audioEngine->BackendName(), "silent") == 0;
    })) << "the engine never left the dead device";
    {
        HangGuard guard("stopping and closing the window", 10000);
        form->Play1->trigger(); // "Stop"
        form->close();
        form.reset();
    }
    dialogs::SetHandler({});
    ::setenv("KOLVADECK_AUDIO", "virtual", 1);
}

} // namespace
