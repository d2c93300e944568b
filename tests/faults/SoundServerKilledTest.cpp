// The sound server dies while a deck plays through PortAudio. The program must
// keep running: the deck keeps time on a silent clock (position advances, the
// end of the track is announced), and Stop, Close and the engine's destruction
// return.
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/TMediaPlayer.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/TestApp.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <future>
#include <gtest/gtest.h>
#include <sys/types.h>

namespace {

// A private PulseAudio server of this test alone, so that killing it does not
// disturb the shared one of the other system tests.
class PrivatePulse {
public:
    PrivatePulse() {
        QProcess start;
        start.start(Script(), {"start", dir_.path()});
        up_ = start.waitForFinished(20000) && start.exitCode() == 0;
        if (up_) {
            qputenv("PULSE_SERVER", ("unix:" + dir_.path() + "/native").toUtf8());
            QFile pid(dir_.path() + "/pid");
            if (pid.open(QIODevice::ReadOnly))
                pid_ = pid.readAll().trimmed().toInt();
        }
    }
    ~PrivatePulse() { QProcess::execute(Script(), {"stop", dir_.path()}); }
    bool Up() const { return up_ && pid_ > 0; }
    void Kill() { ::kill(pid_, SIGKILL); }

private:
    static QString Script() { return QStringLiteral(KV_SOURCE_DIR "/scripts/pulse-server.sh"); }
    QTemporaryDir dir_;
    bool up_ = false;
    pid_t pid_ = 0;
};

// Runs f on another thread and says whether it returned within the bound.
bool ReturnsWithin(int ms, std::function<void()> f) {
    auto done = std::async(std::launch::async, std::move(f));
    return done.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

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

    audio::TMediaPlayer* raw = deck.release();
    audio::RealtimeAudioEngine* rawEngine = engine.release();
    EXPECT_TRUE(ReturnsWithin(10000, [&] {
        delete raw;
        delete rawEngine;
    })) << "closing the decks hung after the server died";
}

} // namespace
