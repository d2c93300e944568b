// A whole session of the window: start, add files, play on the virtual card,
// edit a tag, search a loopback service, close. It passes as a plain test;
// scripts/test-leaks.sh runs the same program under LeakSanitizer, which then
// reports any memory of the program's own still unreachable at exit. Widgets
// left over are counted by the test itself (Qt keeps them reachable).
#include "app/MainWindow.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "decks/PlaylistItems.h"
#include "decks/TagEditor.h"
#include "platform/Dialogs.h"
#include "platform/audio/VirtualSoundCard.h"
#include "search/MusicLibrary.h"
#include "tests/decks/SettleLoads.h"
#include "tests/search/AwaitAnswer.h"
#include "tests/search/LoopbackServer.h"
#include "tests/support/TestApp.h"
#include "tests/tags/PeerTools.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TEST(LeakCheck, StartUseAndCloseOfTheWindow) {
    // A preloaded leak checker is for this program, not for the tools it runs.
    ::unsetenv("LD_PRELOAD");
    ensureTestApp();
    QTemporaryDir home;
    ::setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
    LoopbackServer search;
    search.serve("/", {200, "text/xml; charset=utf-8", answer("track_search.xml"), {}});
    ::setenv("KOLVADECK_SEARCH_HOST", search.host().c_str(), 1);
    int dialogsShown = 0;
    dialogs::setHandler([&](const dialogs::Request&, const dialogs::Reply& reply) {
        ++dialogsShown;
        reply(dialogs::Answer{true, {}});
    });
    peer::Workspace work;
    std::vector<std::string> files;
    for (const char* title : {"One", "Two"}) {
        files.push_back(work.pathOf(QString(title) + ".mp3"));
        peer::run("lame", {"--quiet", "--id3v1-only", "--ta", "Artist", "--tt", title, work.wav(),
                           QString::fromStdString(files.back())});
    }

    auto form = std::make_unique<MainWindow>();
    form->show();
    QApplication::processEvents();
    auto* card = dynamic_cast<audio::VirtualSoundCard*>(form->audioEngine());
    ASSERT_NE(card, nullptr);

    for (const std::string& file : files)
        form->playlist()->addFile(file);
    form->controls().playAction->trigger();
    ASSERT_TRUE(settleLoads(*card));
    EXPECT_EQ(form->controls().deckATitle->text(), "Artist - One");
    for (int i = 0; i < 20; ++i) { // both short tracks play through
        card->render(50);
        form->decks()->onDisplayTick();
        ASSERT_TRUE(settleLoads(*card));
        QApplication::processEvents();
    }

    playlist::select(form->controls().playlistView, 1);
    form->controls().tagInfoAction->trigger();
    form->tagEditor()->id3title->setText("Second");
    form->tagEditor()->applyButton->click();
    EXPECT_EQ(playlist::titleAt(form->controls().playlistView, 1), "Artist - Second");

    form->musicLibrary()->widgets().searchBox->setText("cher");
    EXPECT_TRUE(awaitAnswer(*form->musicLibrary(), [&] { form->musicLibrary()->find(); }));
    EXPECT_GT(form->musicLibrary()->widgets().resultsList->topLevelItemCount(), 1);

    EXPECT_TRUE(form->close());
    form.reset();
    QApplication::processEvents();
    // Qt keeps every top-level widget in a list, so a window or dialog that
    // was never deleted looks reachable to LeakSanitizer: count them here.
    QStringList left;
    for (QWidget* widget : QApplication::topLevelWidgets())
        left << widget->metaObject()->className() + QStringLiteral(" ") + widget->objectName();
    EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
    dialogs::setHandler({});
    EXPECT_EQ(dialogsShown, 0);
}

} // namespace
