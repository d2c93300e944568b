// The whole window on the private PulseAudio server: exit leaves the system
// mixer as it was found (close, SIGTERM, SIGINT), the user's own choice
// stays, the panel follows changes made by other programs, a new sound
// server gets the session's values, and the sliders take keys and the wheel.
#include "Pactl.h"
#include "app/MainWindow.h"
#include "decks/DeckEngine.h"
#include "mixer/GradientSlider.h"
#include "platform/Dialogs.h"
#include "tests/app/ShownWindow.h"
#include "tests/faults/PrivatePulse.h"
#include "tests/support/TestApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Percent = std::vector<int>;

// Drags a vertical slider's thumb to a position, as the user does.
void dragTo(GradientSlider& slider, int position) {
    const PixelRect thumb = slider.thumbRect();
    const QPoint grip((thumb.left + thumb.right) / 2, thumb.top + 5);
    QTest::mousePress(&slider, Qt::LeftButton, {}, grip);
    const long offset = std::lround(double(slider.trackLength()) * position / slider.maximum());
    QTest::mouseMove(&slider, QPoint(grip.x(), static_cast<int>(offset) + 5));
    QTest::mouseRelease(&slider, Qt::LeftButton, {},
                        QPoint(grip.x(), static_cast<int>(offset) + 5));
}

class WindowMixer : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_FALSE(qgetenv("PULSE_SERVER").isEmpty());
        ASSERT_TRUE(home.isValid());
        ::setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
        ::unsetenv("KOLVADECK_AUDIO"); // the real sound output, mixer and microphone
        dialogs::setHandler([](const dialogs::Request&, const dialogs::Reply& reply) {
            reply(dialogs::Answer{true, {}});
        });
        // The system as the user left it before starting the program.
        pactl::run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
        pactl::run({"set-source-volume", "@DEFAULT_SOURCE@", "80%"});
        pactl::run({"set-sink-mute", "@DEFAULT_SINK@", "0"});
        pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "35%"});
        expectAsFound();
    }
    void TearDown() override {
        dialogs::setHandler({});
        pactl::resetToFullVolume();
    }

    static void expectAsFound(const Percent& master = {35, 35}) {
        EXPECT_EQ(pactl::sourceVolume(), (Percent{80, 80}));
        EXPECT_FALSE(pactl::sourceMuted());
        EXPECT_EQ(pactl::sinkVolume(), master);
    }

    static void expectStartupChangedIt() {
        EXPECT_TRUE(pactl::sourceMuted());
        EXPECT_EQ(pactl::sourceVolume(), (Percent{0, 0}));
        EXPECT_EQ(pactl::sinkVolume(), (Percent{67, 67}));
    }

    // Milliseconds until the condition holds, or -1 after 5 s.
    template <typename Condition> static qint64 msUntil(Condition condition) {
        QElapsedTimer clock;
        clock.start();
        return QTest::qWaitFor(condition, 5000) ? clock.elapsed() : -1;
    }

    QTemporaryDir home;
};

TEST_F(WindowMixer, CloseRestoresAndThePanelFollowsOtherPrograms) {
    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(showAndOpenSoundDevices(*form));
    expectStartupChangedIt();
    form->decks()->CrossFading = true;

    pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "30%"});
    const qint64 masterMs = msUntil([&] { return form->controls().masterLevel->position() == 70; });
    pactl::run({"set-source-volume", "@DEFAULT_SOURCE@", "50%"});
    pactl::run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
    const qint64 micMs = msUntil([&] {
        return !form->controls().micMute->isChecked() &&
               std::abs(form->controls().micLevel->position() - 32767) < 400;
    });
    std::printf("master slider followed pactl in %lld ms, microphone in %lld ms\n",
                static_cast<long long>(masterMs), static_cast<long long>(micMs));
    EXPECT_GE(masterMs, 0) << "master slider at " << form->controls().masterLevel->position();
    EXPECT_LT(masterMs, 1000);
    EXPECT_GE(micMs, 0) << "mic slider at " << form->controls().micLevel->position();
    EXPECT_LT(micMs, 1000);
    // The same through ALSA, as amixer and desktop volume keys do it.
    ASSERT_EQ(QProcess::execute(QStringLiteral("amixer"), {"-q", "sset", "Master", "40%"}), 0);
    EXPECT_GE(msUntil([&] { return form->controls().masterLevel->position() == 60; }), 0);
    EXPECT_TRUE(form->decks()->CrossFading) << "following the system stopped the cross-fade";
    EXPECT_EQ(pactl::sinkVolume(), (Percent{40, 40}));
    EXPECT_EQ(pactl::sourceVolume(), (Percent{50, 50}));

    form->close();
    form.reset();
    expectAsFound();
}

TEST_F(WindowMixer, TheUsersMasterVolumeStaysAtExit) {
    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(showAndOpenSoundDevices(*form));
    dragTo(*form->controls().masterLevel, 50);
    form->close();
    form.reset();
    expectAsFound({50, 50});
}

TEST_F(WindowMixer, TerminationSignalsCloseThroughTheNormalPath) {
    for (const int signal : {SIGTERM, SIGINT}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KOLVADECK_AUDIO"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // No catalogue service: its fixed port belongs to other tests.
        environment.insert(QStringLiteral("KOLVADECK_SEARCH_HOST"), QStringLiteral("127.0.0.1:9"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        program.start(QStringLiteral(KV_BINARY_DIR "/app/kolvadeck"));
        ASSERT_TRUE(program.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([] { return pactl::sourceMuted(); }, 20000))
            << "the program's start-up never muted the microphone";
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(20000)) << "signal " << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(program.exitCode(), 0);
        const QByteArray log = program.readAllStandardError();
        EXPECT_TRUE(log.contains("sound output underruns: ")) << log.toStdString();
        expectAsFound();
        pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "35%"});
    }
}

// The private server of one test, set as the user left it before starting
// the program; PULSE_SERVER points at it for the test's life.
class OwnServer {
public:
    OwnServer()
        : shared_(qgetenv("PULSE_SERVER")) {}
    ~OwnServer() { qputenv("PULSE_SERVER", shared_); }
    bool up() {
        if (!pulse_.up())
            return false;
        pactl::run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
        pactl::run({"set-source-volume", "@DEFAULT_SOURCE@", "80%"});
        pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "35%"});
        return true;
    }
    // Kills the server and starts a new one on its socket, which comes up
    // with its own defaults: everything unmuted at full volume.
    bool restart() {
        pulse_.kill();
        QTest::qWait(300); // the old server's end is seen
        return pulse_.start();
    }

private:
    QByteArray shared_;
    PrivatePulse pulse_;
};

std::string serverState() {
    return "source " + pactl::run({"get-source-volume", "@DEFAULT_SOURCE@"}).toStdString() +
           (pactl::sourceMuted() ? " muted" : " unmuted") + ", sink " +
           pactl::run({"get-sink-volume", "@DEFAULT_SINK@"}).toStdString();
}

// A sound server that comes back after the old one died starts with a live
// microphone at full volume and a louder master: the session's values go
// back on it, and exit still restores what was found at start.
TEST_F(WindowMixer, ARestartedServerGetsTheSessionsMixerBack) {
    OwnServer server;
    ASSERT_TRUE(server.up());
    auto form = std::make_unique<MainWindow>();
    // The output must be running before the server goes: PortAudio can
    // deadlock in a stream start that the server dies under.
    ASSERT_TRUE(showAndOpenSoundDevices(*form, true));
    expectStartupChangedIt();
    const int masterPosition = form->controls().masterLevel->position();

    ASSERT_TRUE(server.restart());
    const qint64 ms = msUntil([] {
        return pactl::sourceMuted() && pactl::sourceVolume() == Percent{0, 0} &&
               pactl::sinkVolume() == Percent{67, 67};
    });
    std::printf("the session's mixer values were on the new server %lld ms after it answered\n",
                static_cast<long long>(ms));
    EXPECT_GE(ms, 0) << serverState();
    EXPECT_TRUE(form->controls().micMute->isChecked());
    EXPECT_EQ(form->controls().micLevel->position(), 65535);
    EXPECT_EQ(form->controls().masterLevel->position(), masterPosition);

    form->close();
    form.reset();
    expectAsFound();
}

// What the user set in the panel (the microphone unmuted, both levels
// dragged) is what the new server gets; at exit the user's choice stays.
TEST_F(WindowMixer, TheUsersOwnMixerSettingsSurviveARestart) {
    OwnServer server;
    ASSERT_TRUE(server.up());
    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(showAndOpenSoundDevices(*form, true));
    QTest::mouseClick(form->controls().micMute, Qt::LeftButton);
    dragTo(*form->controls().micLevel, 32768);
    dragTo(*form->controls().masterLevel, 50);
    ASSERT_FALSE(form->controls().micMute->isChecked());
    const Percent mic = pactl::sourceVolume();
    ASSERT_FALSE(pactl::sourceMuted());
    ASSERT_NEAR(mic.at(0), 50, 1);
    ASSERT_EQ(pactl::sinkVolume(), (Percent{50, 50}));

    ASSERT_TRUE(server.restart());
    EXPECT_GE(msUntil([&] {
                  return !pactl::sourceMuted() && pactl::sourceVolume() == mic &&
                         pactl::sinkVolume() == Percent{50, 50};
              }),
              0)
        << serverState();
    EXPECT_FALSE(form->controls().micMute->isChecked());

    form->close();
    form.reset();
    EXPECT_FALSE(pactl::sourceMuted());
    EXPECT_EQ(pactl::sourceVolume(), mic);
    EXPECT_EQ(pactl::sinkVolume(), (Percent{50, 50}));
}

// Tab reaches the four sliders from left to right; the keys and the wheel
// move them as a drag does, so the system mixer follows.
TEST_F(WindowMixer, TabReachesTheSlidersAndKeysAndTheWheelMoveThem) {
    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(showAndOpenSoundDevices(*form));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->controls().playlistView->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), form->controls().playlistView);
    std::vector<QWidget*> reached;
    do {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.push_back(QApplication::focusWidget());
    } while (reached.back() != form->controls().playlistView && reached.size() < 100);
    const std::vector<QWidget*> sliders = {form->controls().deckALevel,
                                           form->controls().masterLevel, form->controls().micLevel,
                                           form->controls().deckBLevel};
    auto place = [&](QWidget* w) { return std::find(reached.begin(), reached.end(), w); };
    for (QWidget* slider : sliders)
        EXPECT_NE(place(slider), reached.end())
            << slider->objectName().toStdString() << " is never reached by Tab";
    EXPECT_TRUE(std::is_sorted(sliders.begin(), sliders.end(),
                               [&](QWidget* a, QWidget* b) { return place(a) < place(b); }));

    ASSERT_EQ(pactl::sinkVolume(), (Percent{67, 67}));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(form->controls().masterLevel, Qt::Key_Up);
    EXPECT_EQ(pactl::sinkVolume(), (Percent{70, 70}));

    QWheelEvent notchUp(QPointF(25, 140), form->controls().micLevel->mapToGlobal(QPointF(25, 140)),
                        {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->controls().micLevel, &notchUp);
    EXPECT_EQ(pactl::sourceVolume(), (Percent{1, 1}));

    // A tenth lower; the thumb snaps to a pixel (3.9 positions each).
    const int deckA = form->controls().deckALevel->position();
    form->decks()->CrossFading = true;
    QTest::keyClick(form->controls().deckALevel, Qt::Key_PageDown);
    EXPECT_NEAR(form->controls().deckALevel->position(), deckA + 100, 4);
    EXPECT_FALSE(form->decks()->CrossFading) << "the deck's level handler never ran";

    // Moves by key and wheel are the user's own: they stay at exit.
    form->close();
    form.reset();
    EXPECT_EQ(pactl::sinkVolume(), (Percent{70, 70}));
    EXPECT_EQ(pactl::sourceVolume(), (Percent{1, 1}));
    EXPECT_FALSE(pactl::sourceMuted());
}

} // namespace
