// The window as an MPRIS player on a private session bus, driven by playerctl
// as a desktop shell or media key daemon would, while the real decks play
// into the private PulseAudio server and its speakers' monitor is recorded.
#include "app/MainWindow.h"
#include "app/MprisService.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/audio/AudioEngine.h"
#include "tests/app/PrivateBus.h"
#include "tests/app/ShownWindow.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {
constexpr double kRate = 44100;

// Runs playerctl on the program's player; the window's events run meanwhile,
// since it is the window that answers.
QString ctl(const QStringList& args) {
    QProcess ctl;
    ctl.start("playerctl", QStringList{"-p", "kolvadeck"} + args);
    waitFor([&] { return ctl.state() == QProcess::NotRunning; }, 10000);
    return QString::fromUtf8(ctl.readAllStandardOutput()).trimmed();
}

const QString kFormat = "{{xesam:title}}|{{xesam:artist}}|{{mpris:length}}|{{xesam:url}}|"
                        "{{mpris:artUrl}}";

double level(const std::vector<float>& sound, double frequency) {
    const std::size_t n = std::min<std::size_t>(sound.size(), std::size_t(kRate) / 2);
    return measure::goertzel({sound.end() - long(n), sound.end()}, kRate, frequency);
}
} // namespace

TEST(MprisSystem, PlayerctlPlaysAdvancesAndStopsTheDecksAndReadsWhatPlays) {
    ensureTestApp();
    QTemporaryDir home;
    useUserFolder(home.path().toLocal8Bit().constData());
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    MainWindow form;
    // The levels below compare the tracks as mastered.
    form.controls().normaliseLoudnessAction->setChecked(false);
    ASSERT_TRUE(showAndOpenSoundDevices(form, true)) << "the private sound server is not reachable";
    ASSERT_NE(form.mpris(), nullptr);
    const std::string low = tonefiles::mp3({.frequency = 440, .seconds = 30});
    const std::string high = tonefiles::mp3({.frequency = 1320, .seconds = 30});
    form.playlist()->items().insert(0, {low, "Test Artist - Low Tone", Playability::Untried, {}});
    form.playlist()->items().insert(1, {high, "High Tone", Playability::Untried, {}});

    QProcess follow; // what the shell hears of the status changes
    follow.start("playerctl", {"-p", "kolvadeck", "--follow", "status"});
    ASSERT_TRUE(waitFor([&] { return follow.canReadLine(); }, 10000));
    EXPECT_EQ(follow.readLine().trimmed(), "Stopped");
    EXPECT_EQ(ctl({"metadata", "--format", "{{mpris:length}}"}), "");

    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    ctl({"play"});
    ASSERT_TRUE(waitFor([&] { return form.decks()->deckA_.isOpen(); }, 10000));
    ASSERT_TRUE(waitFor([&] { return form.decks()->deckA_.position() >= 1500; }));
    EXPECT_EQ(ctl({"status"}), "Playing");
    const QString cache = home.path() + "/Kolvadeck/";
    EXPECT_EQ(ctl({"metadata", "--format", kFormat}),
              "Low Tone|Test Artist|30000000|" +
                  QUrl::fromLocalFile(QString::fromStdString(low)).toString() + "|file://" + cache +
                  "deck_a.jpg");
    EXPECT_TRUE(QFile::exists(cache + "deck_a.jpg"));
    const double lowAlone = level(recording.stop(), 440);

    // Next: the other deck takes the next track and the usual ten-step fade
    // hands over to it.
    MonitorRecording afterNext;
    ASSERT_TRUE(afterNext.started());
    ctl({"next"});
    ASSERT_TRUE(waitFor(
        [&] { return form.decks()->CurrentDeck == Deck::B && form.decks()->deckB_.isOpen(); },
        10000));
    EXPECT_EQ(ctl({"metadata", "--format", "{{xesam:title}}|{{xesam:artist}}|{{mpris:artUrl}}"}),
              "High Tone||file://" + cache + "deck_b.jpg");
    ASSERT_TRUE(waitFor([&] { return form.decks()->getDeckVolume(Deck::B) == 1000; }, 20000));
    ASSERT_TRUE(waitFor([&] { return form.decks()->deckB_.position() >= 12000; }, 5000));
    const auto handedOver = afterNext.stop();
    EXPECT_GT(level(handedOver, 1320), lowAlone / 4) << "the next track is heard";
    EXPECT_LT(level(handedOver, 440), lowAlone / 20) << "the first track has faded out";

    // Pause holds the deck where it is; Play (here play-pause) goes on from
    // there, not from the top of the list.
    ctl({"pause"});
    EXPECT_EQ(ctl({"status"}), "Paused");
    const int heldAt = form.decks()->deckB_.position();
    waitFor([] { return false; }, 1000); // a second of pause, events running
    EXPECT_NEAR(form.decks()->deckB_.position(), heldAt, 150);
    ctl({"play-pause"});
    EXPECT_EQ(ctl({"status"}), "Playing");
    ASSERT_TRUE(waitFor([&] { return form.decks()->deckB_.position() >= heldAt + 500; }, 5000));
    EXPECT_EQ(form.decks()->CurrentIndex, 1);

    ctl({"stop"});
    EXPECT_FALSE(form.decks()->ListPlaying);
    EXPECT_FALSE(form.decks()->deckA_.isOpen() || form.decks()->deckB_.isOpen());
    EXPECT_EQ(ctl({"status"}), "Stopped");
    QByteArray heard;
    EXPECT_TRUE(waitFor([&] { return (heard += follow.readAll()).endsWith("Stopped\n"); }, 5000));
    EXPECT_TRUE(heard.startsWith("Playing\n")) << heard.constData();
    follow.terminate();
    follow.waitForFinished(5000);
}
