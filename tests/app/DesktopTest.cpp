// The window as a desktop program: keyboard shortcuts, Enter in the search
// box, the folders file dialogs start in, and the playlist kept across runs.
// Offscreen, on the virtual back ends, with every dialog answered by the test.
#include "app/MainWindow.h"
#include "app/MprisService.h"
#include "app/SessionPlaylist.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/Dialogs.h"
#include "search/MusicLibrary.h"
#include "search/VideoPreview.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/TestApp.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

namespace {
class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_TRUE(home.isValid());
        useUserFolder(home.path().toLocal8Bit().constData());
        dialogs::setHandler([this](const dialogs::Request& r, const dialogs::Reply& reply) {
            asked.push_back(r);
            dialogs::Answer answer;
            answer.accepted = !answers.isEmpty();
            if (answer.accepted)
                answer.files = {answers.takeFirst()};
            reply(answer);
        });
    }
    void TearDown() override { dialogs::setHandler({}); }

    static void activate(MainWindow& form) {
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    static std::string Tone(double frequency) {
        return tonefiles::mp3({.frequency = frequency, .seconds = 1});
    }

    QTemporaryDir home;
    std::vector<dialogs::Request> asked; // every dialog shown, in order
    QStringList answers;                 // the files the next dialogs choose
};
} // namespace

TEST_F(Desktop, ShortcutsAreShownInTheMenusAndReachTheirCommands) {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
    MainWindow form;
    EXPECT_EQ(form.mpris(), nullptr) << "no session bus: no media player service, no error";
    activate(form);
    EXPECT_EQ(form.controls().addTracksMenuAction->shortcut().toString(), "Ctrl+O");
    EXPECT_EQ(form.controls().saveAction->shortcut().toString(), "Ctrl+S");
    EXPECT_EQ(form.controls().loadAction->shortcut().toString(), "Ctrl+L");
    EXPECT_EQ(form.controls().playAction->shortcut().toString(), "Space");
    EXPECT_EQ(form.controls().findAction->shortcut().toString(), "Ctrl+F");
    EXPECT_EQ(form.controls().exitAction->shortcut().toString(), "Ctrl+Q");

    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].title, "Add Tracks");
    EXPECT_EQ(asked[1].kind, dialogs::Kind::SaveFile);
    EXPECT_EQ(asked[2].title, "Load");

    // Space in the playlist plays and stops the list.
    form.playlist()->addFile(Tone(440));
    form.controls().playlistView->setFocus();
    QTest::keyClick(form.controls().playlistView, Qt::Key_Space);
    EXPECT_EQ(form.decks()->playCaption(), "Stop");
    QTest::keyClick(form.controls().playlistView, Qt::Key_Space);
    EXPECT_EQ(form.decks()->playCaption(), "Play");

    // Ctrl+F goes to the search box, where Space is only a letter.
    QLineEdit* box = form.musicLibrary()->widgets().searchBox;
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(form.controls().tabs->currentWidget(), form.controls().libraryTab);
    EXPECT_EQ(QApplication::focusWidget(), box);
    QTest::keyClicks(box, "a b");
    EXPECT_EQ(box->text(), "a b");
    EXPECT_EQ(form.decks()->playCaption(), "Play");

    QSignalSpy quit(form.controls().exitAction, &QAction::triggered);
    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(Desktop, EnterInTheSearchBoxSearches) {
    // Nothing listens on the discard port: the search reports that it could
    // not connect, which shows that Enter ran it.
    ::setenv("KOLVADECK_SEARCH_HOST", "127.0.0.1:9", 1);
    MainWindow form;
    activate(form);
    QLineEdit* box = form.musicLibrary()->widgets().searchBox;
    QTest::keyClicks(box, "tone");
    QTest::keyClick(box, Qt::Key_Return);
    ::unsetenv("KOLVADECK_SEARCH_HOST");
    EXPECT_TRUE(waitFor([&] { return !asked.empty(); }, 10000));
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front().kind, dialogs::Kind::Error);
}

TEST_F(Desktop, FileDialogsStartInTheMusicFolderThenInTheFolderLastUsed) {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString tracks = home.path() + "/tracks", lists = home.path() + "/lists";
    QDir().mkpath(tracks);
    QDir().mkpath(lists);
    QFile::copy(QString::fromStdString(Tone(440)), tracks + "/a.mp3");
    {
        MainWindow form;
        answers = {tracks + "/a.mp3", lists + "/set.kvd"};
        form.controls().addTracksMenuAction->trigger();
        form.controls().saveAction->trigger();
        form.controls().loadAction->trigger();          // cancelled
        form.controls().addTracksMenuAction->trigger(); // cancelled
        ASSERT_EQ(asked.size(), 4u);
        EXPECT_EQ(asked[0].directory, music);
        EXPECT_EQ(asked[1].directory, music) << "playlists have their own folder";
        EXPECT_EQ(asked[2].directory, lists);
        EXPECT_EQ(asked[3].directory, tracks);
    }
    // The folders are kept for the next run; one that has gone counts as none.
    QDir(lists).removeRecursively();
    asked.clear();
    MainWindow form;
    form.controls().addTracksMenuAction->trigger();
    form.controls().loadAction->trigger();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].directory, tracks);
    EXPECT_EQ(asked[1].directory, music);
}

TEST_F(Desktop, ThePlaylistComesBackAtTheNextStartWithoutPlaying) {
    const std::string a = Tone(440), b = Tone(660);
    const QString kept = SessionPlaylist::defaultFile();
    EXPECT_EQ(kept, home.path() + "/Kolvadeck/playlist.kvd");
    {
        MainWindow form;
        EXPECT_TRUE(form.controls().restorePlaylistAction->isChecked()) << "on by default";
        form.playlist()->addFile(a);
        form.playlist()->addFile(b);
        // Kept a moment after the change, while the window runs.
        EXPECT_TRUE(waitFor([&] { return QFile(kept).size() > 0; }, 5000));
        form.playlist()->select(0);
        form.controls().removeAction->trigger(); // kept when the window goes
    }
    {
        MainWindow form;
        ASSERT_EQ(form.playlist()->count(), 1);
        EXPECT_EQ(form.playlist()->pathAt(0), b);
        EXPECT_EQ(form.decks()->playCaption(), "Play");
        EXPECT_FALSE(form.decks()->ListPlaying);
        EXPECT_FALSE(form.decks()->deckA_.isOpen() || form.decks()->deckB_.isOpen());
        form.controls().restorePlaylistAction->trigger(); // off
    }
    MainWindow form;
    EXPECT_FALSE(form.controls().restorePlaylistAction->isChecked());
    EXPECT_EQ(form.playlist()->count(), 0);
}

TEST_F(Desktop, AboutWithoutAnAddressOpenerShowsTheAddress) {
    // An empty PATH and no $BROWSER: nothing can open an address.
    const QByteArray path = qgetenv("PATH");
    const QByteArray browser = qgetenv("BROWSER");
    ::setenv("PATH", home.path().toLocal8Bit().constData(), 1);
    ::unsetenv("BROWSER");
    MainWindow form;
    form.controls().aboutAction->trigger();
    ::setenv("PATH", path.constData(), 1);
    if (!browser.isEmpty())
        ::setenv("BROWSER", browser.constData(), 1);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].text.contains(QString::fromStdString(MainWindow::aboutAddress())))
        << asked[0].text.toStdString();
}

TEST_F(Desktop, APreviewThatCannotPlayNeverShowsTheFrameworksWords) {
    const QString junk = home.path() + "/junk.flv";
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    MainWindow form;
    VideoPreview* flash = form.musicLibrary()->widgets().previewPlayer;
    flash->setFlashVars("&autoplay=1");
    flash->loadPromotion(QUrl::fromLocalFile(junk).toString());
    ASSERT_TRUE(waitFor([&] { return flash->failed(); }, 20000));
    EXPECT_EQ(flash->errorText(), "") << "a promotion that cannot load leaves the box blank";
    flash->loadMovie(0, QUrl::fromLocalFile(junk).toString());
    EXPECT_FALSE(flash->failed());
    ASSERT_TRUE(waitFor([&] { return flash->failed(); }, 20000));
    EXPECT_EQ(flash->errorText(), "Preview unavailable");
}
