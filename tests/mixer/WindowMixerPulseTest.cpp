// The whole window on the private PulseAudio server: exit leaves the system
// mixer as it was found (close, SIGTERM, SIGINT), the user's own choice
// stays, and the panel follows changes made by other programs and by a new
// sound server.
#include "Pactl.h"
#include "app/MainWindow.h"
#include "decks/DeckEngine.h"
#include "mixer/GradientSlider.h"
#include "platform/Dialogs.h"
#include "tests/app/ShownWindow.h"
#include "tests/faults/PrivatePulse.h"
#include "tests/support/TestApp.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Percent = std::vector<int>;

class WindowMixer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        ASSERT_FALSE(qgetenv("PULSE_SERVER").isEmpty());
        ASSERT_TRUE(home.isValid());
        ::setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
        ::unsetenv("KOLVADECK_AUDIO"); // the real sound output, mixer and microphone
        dialogs::SetHandler([](const dialogs::Request&) { return dialogs::Answer{true, {}}; });
        // The system as the user left it before starting the program.
        pactl::Run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
        pactl::Run({"set-source-volume", "@DEFAULT_SOURCE@", "80%"});
        pactl::Run({"set-sink-mute", "@DEFAULT_SINK@", "0"});
        pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "35%"});
        ExpectAsFound();
    }
    void TearDown() override {
        dialogs::SetHandler({});
        pactl::ResetToFullVolume();
    }

    static void ExpectAsFound(const Percent& master = {35, 35}) {
        EXPECT_EQ(pactl::SourceVolume(), (Percent{80, 80}));
        EXPECT_FALSE(pactl::SourceMuted());
        EXPECT_EQ(pactl::SinkVolume(), master);
    }

    static void ExpectStartupChangedIt() {
        EXPECT_TRUE(pactl::SourceMuted());
        EXPECT_EQ(pactl::SourceVolume(), (Percent{0, 0}));
        EXPECT_EQ(pactl::SinkVolume(), (Percent{67, 67}));
    }

    // Milliseconds until the condition holds, or -1 after 5 s.
    template <typename Condition> static qint64 MsUntil(Condition condition) {
        QElapsedTimer clock;
        clock.start();
        return QTest::qWaitFor(condition, 5000) ? clock.elapsed() : -1;
    }

    QTemporaryDir home;
};

TEST_F(WindowMixer, CloseRestoresAndThePanelFollowsOtherPrograms) {
    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(ShowAndOpenSoundDevices(*form));
    ExpectStartupChangedIt();
    form->decks->CrossFading = true;

    pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "30%"});
    const qint64 masterMs = MsUntil([&] { return form->masterLevel->Position() == 70; });
    pactl::Run({"set-source-volume", "@DEFAULT_SOURCE@", "50%"});
    pactl::Run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
    const qint64 micMs = MsUntil([&] {
        return !form->micMute->isChecked() && std::abs(form->micLevel->Position() - 32767) < 400;
    });
    std::printf("master slider followed pactl in %lld ms, microphone in %lld ms\n",
                static_cast<long long>(masterMs), static_cast<long long>(micMs));
    EXPECT_GE(masterMs, 0) << "master slider at " << form->masterLevel->Position();
    EXPECT_LT(masterMs, 1000);
    EXPECT_GE(micMs, 0) << "mic slider at " << form->micLevel->Position();
    EXPECT_LT(micMs, 1000);
    // The same through ALSA, as amixer and desktop volume keys do it.
    ASSERT_EQ(QProcess::execute(QStringLiteral("amixer"), {"-q", "sset", "Master", "40%"}), 0);
    EXPECT_GE(MsUntil([&] { return form->masterLevel->Position() == 60; }), 0);
    EXPECT_TRUE(form->decks->CrossFading) << "following the system stopped the cross-fade";
    EXPECT_EQ(pactl::SinkVolume(), (Percent{40, 40}));
    EXPECT_EQ(pactl::SourceVolume(), (Percent{50, 50}));

    form->close();
    form.reset();
    ExpectAsFound();
}

TEST_F(WindowMixer, TheUsersMasterVolumeStaysAtExit) {
    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(ShowAndOpenSoundDevices(*form));
    form->masterLevel->SetPosition(50); // as a drag of the slider does
    form->close();
    form.reset();
    ExpectAsFound({50, 50});
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
        ASSERT_TRUE(QTest::qWaitFor([] { return pactl::SourceMuted(); }, 20000))
            << "the program's start-up never muted the microphone";
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(20000)) << "signal " << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(program.exitCode(), 0);
        const QByteArray log = program.readAllStandardError();
        EXPECT_TRUE(log.contains("sound output underruns: ")) << log.toStdString();
        ExpectAsFound();
        pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "35%"});
    }
}

// A sound server that comes back after the old one died: the panel shows the
// new server's values (it starts unmuted at full volume).
TEST_F(WindowMixer, PanelShowsTheNewServerAfterARestart) {
    const QByteArray sharedServer = qgetenv("PULSE_SERVER");
    {
        PrivatePulse pulse;
        ASSERT_TRUE(pulse.Up());
        auto form = std::make_unique<MainWindow>();
        // The output must be running before the server goes: PortAudio can
        // deadlock in a stream start that the server dies under.
        ASSERT_TRUE(ShowAndOpenSoundDevices(*form, true));
        ASSERT_TRUE(form->micMute->isChecked());
        pulse.Kill();
        QTest::qWait(300); // the old server's end is seen
        ASSERT_TRUE(pulse.Start());
        const qint64 ms = MsUntil([&] {
            return !form->micMute->isChecked() && form->micLevel->Position() == 0 &&
                   form->masterLevel->Position() == 0;
        });
        std::printf("panel showed the new server %lld ms after it answered\n",
                    static_cast<long long>(ms));
        EXPECT_GE(ms, 0) << "mic " << form->micLevel->Position() << " master "
                         << form->masterLevel->Position();
        EXPECT_LT(ms, 1500);
        form->close();
        form.reset();
    }
    qputenv("PULSE_SERVER", sharedServer);
}

} // namespace
