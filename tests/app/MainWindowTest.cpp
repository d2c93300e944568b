// The main window built as the program builds it, on the virtual back ends.
#include "app/MainWindow.h"
#include "app/DataFolders.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "decks/TagEditor.h"
#include "mixer/InputLevel.h"
#include "mixer/LevelCapture.h"
#include "platform/Shell.h"
#include "platform/audio/VirtualSoundCard.h"
#include "search/ClickLabel.h"
#include "search/MusicLibrary.h"
#include "tests/app/ShownWindow.h"
#include "tests/decks/SettleLoads.h"
#include "tests/decks/ToneFiles.h"
#include "tests/support/TestApp.h"
#include "tests/tags/PeerTools.h"

#include "mixer/GradientSlider.h"
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_TRUE(home.isValid());
        useUserFolder(home.path().toLocal8Bit().constData());
    }
    QTemporaryDir home;
};

long long modificationTimeNs(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}
} // namespace

TEST_F(MainWindowTest, StartsWithItsCaptionTabsAndDesignValues) {
    MainWindow form;
    EXPECT_EQ(form.windowTitle(), "Kolvadeck v2.6.0");
    ASSERT_EQ(form.controls().tabs->count(), 3);
    EXPECT_EQ(form.controls().tabs->tabText(0), "Playlist");
    EXPECT_EQ(form.controls().tabs->tabText(1), "Music Library");
    EXPECT_EQ(form.controls().tabs->tabText(2), "Broadcasting");
    EXPECT_TRUE(form.controls().tabs->isTabVisible(0));
    EXPECT_TRUE(form.controls().tabs->isTabVisible(1));
    EXPECT_FALSE(form.controls().tabs->isTabVisible(2));
    EXPECT_FALSE(form.controls().showBroadcastingAction->isChecked());
    form.controls().showBroadcastingAction->setChecked(true); // kept for the next start
    EXPECT_TRUE(MainWindow().controls().tabs->isTabVisible(2));
    form.controls().showBroadcastingAction->setChecked(false);
    EXPECT_FALSE(form.controls().tabs->isTabVisible(2));
    EXPECT_EQ(form.controls().tabs->currentIndex(), 0);
    // 800 is written; the 50 x 280 slider's thumb offset 207 reads back as 799.
    EXPECT_EQ(form.controls().deckALevel->position(), 799);
    EXPECT_EQ(form.controls().deckBLevel->position(), 799);
    EXPECT_EQ(form.controls().playlistView->model()->headerData(0, Qt::Horizontal), "File");
    EXPECT_EQ(form.controls().playlistView->model()->headerData(1, Qt::Horizontal), "Track");
    EXPECT_EQ(form.controls().playAction->text(), "Play");
    EXPECT_FALSE(form.tagEditor()->id3box->isVisibleTo(&form));
    // The deck pictures are decoded from their JPEGs.
    EXPECT_EQ(form.controls().deckAArt->pixmap().size(), QSize(300, 350));
    EXPECT_EQ(form.controls().deckBArt->pixmap().size(), QSize(300, 350));
}

// The mixer and the sound devices are opened after the window is shown, once.
TEST_F(MainWindowTest, OpensTheSoundDevicesOnceTheWindowIsShown) {
    MainWindow form;
    QApplication::processEvents();
    EXPECT_EQ(form.inputLevel(), nullptr);
    QTest::keyClick(form.controls().masterLevel,
                    Qt::Key_End); // no mixer yet: a move touches nothing
    form.controls().micMute->click();
    ASSERT_TRUE(showAndOpenSoundDevices(form));
    EXPECT_EQ(form.controls().micLevel->position(), 65535);
    EXPECT_TRUE(form.controls().micMute->isChecked());
    ASSERT_NE(form.inputLevel(), nullptr);
    EXPECT_TRUE(form.inputLevel()->capture()->isDelivering());
    InputLevel* const opened = form.inputLevel();
    form.hide();
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.inputLevel(), opened) << "showing again opened the devices again";
}

// The large libraries of what a start does not use (FFmpeg's decoders,
// libcurl's transfers, the media framework's plug-ins) are loaded on first use.
TEST_F(MainWindowTest, StartsWithoutTheDecoderDownloadAndVideoLibraries) {
    MainWindow form;
    ASSERT_TRUE(showAndOpenSoundDevices(form));
    QApplication::processEvents();
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("libQt6Widgets")) << "the maps were not read";
    for (const char* library : {"libavformat", "libavcodec", "libcurl", "libgst"})
        EXPECT_FALSE(mapped.contains(library)) << library << " is loaded at start";
}

TEST_F(MainWindowTest, CreatesTheDataFoldersOnceAndLeavesThemOnTheNextStart) {
    const std::string base = home.path().toStdString();
    {
        MainWindow form;
        EXPECT_EQ(form.dataFolder(), base + "/Kolvadeck/");
    }
    for (const char* sub : {"/Kolvadeck", "/Kolvadeck/queries", "/Kolvadeck/downloads"})
        EXPECT_TRUE(shell::pathExists(base + sub)) << sub;
    const long long before = modificationTimeNs(base + "/Kolvadeck");
    MainWindow second;
    EXPECT_EQ(modificationTimeNs(base + "/Kolvadeck"), before);
}

TEST_F(MainWindowTest, TheSettingsMenuKeepsItsChoicesAcrossRunsAndDamageGivesDefaults) {
    {
        MainWindow form;
        ASSERT_TRUE(form.controls().normaliseLoudnessAction->isCheckable());
        EXPECT_TRUE(form.controls().normaliseLoudnessAction->isChecked());
        EXPECT_TRUE(form.controls().skipSilenceAction->isChecked());
        form.controls().normaliseLoudnessAction->setChecked(false);
    }
    {
        MainWindow form;
        EXPECT_FALSE(form.controls().normaliseLoudnessAction->isChecked()) << "the choice lasted";
        EXPECT_TRUE(form.controls().skipSilenceAction->isChecked());
    }
    QFile file(home.path() + "/Kolvadeck/Kolvadeck.conf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[playback\nnormaliseLoudness=false\n\xff\xfe");
    file.close();
    MainWindow form;
    EXPECT_TRUE(form.controls().normaliseLoudnessAction->isChecked());
    EXPECT_TRUE(form.controls().skipSilenceAction->isChecked());
}

TEST_F(MainWindowTest, DataFoldersAreMadeParentFirstAndAFileInTheWaySkipsThem) {
    const std::string base = home.path().toStdString();
    // Without the data folder the sub-folders cannot be made: shows the order.
    const std::string made = createDataFolders(base);
    EXPECT_EQ(made, base + "/Kolvadeck/");
    EXPECT_TRUE(shell::pathExists(base + "/Kolvadeck/queries"));

    // A new account has no XDG data folder yet: it is made, private.
    const std::string fresh = base + "/new-home/.local/share";
    createDataFolders(fresh);
    EXPECT_TRUE(shell::pathExists(fresh + "/Kolvadeck/downloads"));
    struct stat st {};
    ASSERT_EQ(::stat((base + "/new-home/.local").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    QTemporaryDir other;
    const std::string blocked = other.path().toStdString();
    ::close(::creat((blocked + "/Kolvadeck").c_str(), 0644)); // a file, not a folder
    createDataFolders(blocked);
    EXPECT_TRUE(shell::isExistingFile(blocked + "/Kolvadeck"));
    EXPECT_FALSE(shell::pathExists(blocked + "/Kolvadeck/queries"));
}

TEST_F(MainWindowTest, StartsWithoutItsFoldersWhenTheDataFolderIsReadOnly) {
    ::chmod(home.path().toLocal8Bit().constData(), 0500);
    MainWindow form; // must not throw
    ::chmod(home.path().toLocal8Bit().constData(), 0700);
    if (::geteuid() != 0) { // root writes through the mode bits
        EXPECT_FALSE(shell::pathExists(home.path().toStdString() + "/Kolvadeck"));
    }
    EXPECT_EQ(form.windowTitle(), "Kolvadeck v2.6.0");
}

TEST_F(MainWindowTest, LayoutRulesPlaceTheControlsAtTwoWindowSizes) {
    MainWindow form;
    form.resize(1032, 746);
    form.show();
    form.applyLayout();
    const int width = form.frameGeometry().width(), height = form.frameGeometry().height();
    EXPECT_EQ(form.controls().tabs->width(), width - 30);
    EXPECT_EQ(form.controls().tabs->height(), height - 60);
    EXPECT_EQ(form.controls().playlistView->width(), width - 50);
    EXPECT_EQ(form.controls().playlistView->columnWidth(0), 0);
    EXPECT_EQ(form.controls().playlistView->columnWidth(1), width - 70);
    EXPECT_EQ(form.controls().deckABox->pos(), QPoint(0, 10));
    EXPECT_EQ(form.controls().deckBBox->pos(), QPoint(width - 50 - 321, 10));
    EXPECT_EQ(form.controls().mixerBox->x(), (width - 50) / 2 - 363 / 2);
    EXPECT_EQ(form.controls().playlistView->y(), 405);
    EXPECT_EQ(form.controls().playlistView->height(), height - 60 - 385 - 50);
    const MusicLibraryWidgets& music = form.musicLibrary()->widgets();
    EXPECT_EQ(music.musicbox->width(), width - 50);
    EXPECT_EQ(music.resultsList->width(), width - 50 - music.resultsList->x() - 10);
    EXPECT_EQ(music.resultsList->columnWidth(0), music.resultsList->width() - 20);
    EXPECT_EQ(music.moreLabel->x(), width - 30 - music.moreLabel->width() - 30);
    EXPECT_EQ(music.previewbox->pos(), QPoint(width / 2 - music.previewbox->width() / 2,
                                              height / 2 - music.previewbox->height() / 2));

    // The user widens the hidden "File" column; the next layout closes it again.
    form.controls().playlistView->setColumnWidth(0, 120);
    form.resize(1400, 900);
    form.applyLayout();
    const int wider = form.frameGeometry().width();
    EXPECT_EQ(form.controls().playlistView->columnWidth(0), 0);
    EXPECT_EQ(form.controls().tabs->width(), wider - 30);
    EXPECT_EQ(form.controls().deckBBox->x(), wider - 50 - 321);
}

TEST_F(MainWindowTest, AboutOpensTheMakersPageOnTheConfiguredHost) {
    ::setenv("KOLVADECK_SITE_HOST", "example.test", 1);
    EXPECT_EQ(MainWindow::aboutAddress(), "http://example.test/kolvadeck/");
    ::unsetenv("KOLVADECK_SITE_HOST");
    EXPECT_EQ(MainWindow::aboutAddress(), "http://kolvadeck.org/kolvadeck/");
}

TEST_F(MainWindowTest, PlayStartsTheListOnDeckAAndTheTimeLabelFollowsTheVirtualClock) {
    peer::Workspace work;
    const std::string path = work.pathOf("tagged.mp3");
    peer::run("lame", {"--quiet", "--id3v1-only", "--ta", "Artist", "--tt", "Tone", work.wav(),
                       QString::fromStdString(path)});
    MainWindow form;
    auto* card = dynamic_cast<audio::VirtualSoundCard*>(form.audioEngine());
    ASSERT_NE(card, nullptr) << "tests run on the virtual sound card";
    form.playlist()->addFile(path);
    form.controls().playAction->trigger();
    EXPECT_EQ(form.controls().playAction->text(), "Stop");
    ASSERT_TRUE(settleLoads(*card));
    EXPECT_EQ(form.controls().deckATitle->text(), "Artist - Tone");
    EXPECT_TRUE(form.decks()->displayTimer.isActive());
    card->render(100);
    form.decks()->onDisplayTick();
    EXPECT_EQ(form.controls().deckATime->text(), "(A) 00:00/00:00"); // a 0.2 s tone

    form.controls().playAction->trigger(); // "Stop"
    EXPECT_EQ(form.controls().playAction->text(), "Play");
    EXPECT_EQ(form.controls().deckATitle->text(), "- - -");
    EXPECT_FALSE(form.decks()->displayTimer.isActive());
}

// With the deck sliders where start-up puts them, both decks fade in to full
// volume: the tracks of a list play at one level whichever deck takes them.
TEST_F(MainWindowTest, BothDecksOfAListFadeInToFullVolume) {
    MainWindow form;
    auto* card = dynamic_cast<audio::VirtualSoundCard*>(form.audioEngine());
    ASSERT_NE(card, nullptr);
    form.playlist()->addFile(tonefiles::mp3({.frequency = 440, .seconds = 11}));
    form.playlist()->addFile(tonefiles::mp3({.frequency = 660, .seconds = 11}));
    ASSERT_NEAR(form.controls().deckBLevel->position(), 800, 1); // volume 200
    form.controls().playAction->trigger();
    ASSERT_TRUE(settleLoads(*card));
    card->render(1500);
    form.decks()->onDisplayTick(); // less than ten seconds left: (B) takes item 1
    ASSERT_TRUE(settleLoads(*card));
    ASSERT_EQ(form.decks()->CurrentDeck, Deck::B);
    card->render(10000); // the ten steps of the fade, on the sound's own clock
    EXPECT_EQ(form.decks()->getDeckVolume(Deck::B), 1000);
    EXPECT_FALSE(form.decks()->deckA_.isPlaying()) << "(A) faded out to its end";
}

// Closing the window and "Exit" both tell the level capture to stop once its
// blocks on their way are in.
TEST_F(MainWindowTest, ClosingAndExitStopTheLevelCapture) {
    for (const bool byExit : {false, true}) {
        MainWindow form;
        ASSERT_TRUE(showAndOpenSoundDevices(form));
        LevelCapture* capture = form.inputLevel()->capture();
        ASSERT_TRUE(capture->isDelivering());
        if (byExit)
            form.controls().exitAction->trigger();
        else
            form.close();
        EXPECT_FALSE(capture->isDelivering()) << (byExit ? "Exit" : "close");
    }
}
