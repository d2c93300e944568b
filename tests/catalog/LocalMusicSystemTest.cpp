// The user's own music through the shown window: the real kolvadeck-catalog
// serves a collection, the "Music Library" tab finds its tracks (by tags or
// file name) and sends them to the playlist by Enter, by "Add to Playlist"
// and by dragging the row onto the list; its videos carry their lengths.
#include "CatalogProcess.h"
#include "Collection.h"
#include "RawHttp.h"
#include "app/MainWindow.h"
#include "decks/Playlist.h"
#include "platform/Dialogs.h"
#include "search/MusicLibrary.h"
#include "tests/search/AwaitAnswer.h"
#include "tests/support/TestApp.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <regex>

namespace fs = std::filesystem;

namespace {

class LocalMusicSystem : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_TRUE(home_.isValid());
        useUserFolder(home_.path().toLocal8Bit().constData());
        collection_ = copyOf(sharedCollection(), fs::path(home_.path().toStdString()) / "c");
        // A file without any tag, named neither "Artist - Title".
        untagged_ = collection_.music / "untagged take.mp3";
        fs::copy_file(sharedCollection().root / "tone.mp3", untagged_);
        ASSERT_TRUE(server_.start(home_.filePath("catalog.sqlite").toStdString(),
                                  collection_.music.string(), collection_.videos.string()));
        setenv("KOLVADECK_SEARCH_HOST", server_.host().c_str(), 1);
        setenv("KOLVADECK_MUSIC_DIRS", collection_.music.c_str(), 1);
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            shown_.push_back(request.text.toStdString());
            reply(dialogs::Answer{true, {}});
        });
        form_ = std::make_unique<MainWindow>();
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        form_->controls().tabs->setCurrentWidget(form_->controls().libraryTab);
        library_ = form_->musicLibrary();
        list_ = library_->widgets().resultsList;
    }
    void TearDown() override {
        form_.reset();
        dialogs::setHandler({});
        unsetenv("KOLVADECK_SEARCH_HOST");
        unsetenv("KOLVADECK_MUSIC_DIRS");
        EXPECT_TRUE(shown_.empty()) << shown_.front();
    }

    // Types the text and clicks "Find", as the user does.
    void find(const QString& text) {
        QLineEdit* box = library_->widgets().searchBox;
        box->clear();
        QTest::keyClicks(box, text);
        ASSERT_TRUE(awaitAnswer(*library_, [this] {
            QTest::mouseClick(library_->widgets().findButton, Qt::LeftButton);
        }));
    }
    QStringList rows() const {
        QStringList rows;
        for (int i = 0; i < list_->topLevelItemCount(); ++i)
            rows << list_->topLevelItem(i)->text(0);
        return rows;
    }
    QRect rowRect(const QString& caption) const {
        const auto found = list_->findItems(caption, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << caption.toStdString();
        return found.isEmpty() ? QRect() : list_->visualItemRect(found.front());
    }
    void clickRow(const QString& caption) {
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, rowRect(caption).center());
    }
    // Right-clicks the row; whether the menu offers "Add to Playlist".
    bool menuOffersAdd(const QString& caption) {
        const QPoint at = rowRect(caption).center();
        QTest::mouseClick(list_->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list_->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list_->viewport(), &menu);
        QMenu* popup = library_->widgets().resultsContextMenu;
        const bool offered = library_->widgets().addToPlaylistAction->isVisible();
        popup->close();
        return offered;
    }
    std::vector<std::string> playlistPaths() const {
        std::vector<std::string> paths;
        for (int i = 0; i < form_->playlist()->count(); ++i)
            paths.push_back(form_->playlist()->pathAt(i));
        return paths;
    }
    std::string inMusic(const char* name) const { return (collection_.music / name).string(); }

    QTemporaryDir home_;
    Collection collection_;
    fs::path untagged_;
    CatalogProcess server_;
    std::unique_ptr<MainWindow> form_;
    MusicLibrary* library_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::vector<std::string> shown_;
};

TEST_F(LocalMusicSystem, EnterMenuAndDragAddTheFoundFilesToThePlaylist) {
    find("prince");
    ASSERT_EQ(rows(), (QStringList{"Prince - Kiss", "Prince - When Doves Cry"}));

    clickRow("Prince - Kiss");
    QTest::keyClick(list_, Qt::Key_Return);
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{inMusic("kiss.mp3")}));
    EXPECT_EQ(library_->currentRequest().method, "track.search"); // no video search

    ASSERT_TRUE(menuOffersAdd("Prince - When Doves Cry"));
    library_->widgets().addToPlaylistAction->trigger();
    EXPECT_EQ(playlistPaths(),
              (std::vector<std::string>{inMusic("kiss.mp3"), inMusic("doves.mp3")}));

    // The row dragged onto the playlist: the drag's data, dropped there.
    const QModelIndex kiss = list_->indexFromItem(list_->findItems("Prince - Kiss", {}).front());
    std::unique_ptr<QMimeData> dragged(list_->model()->mimeData({kiss}));
    ASSERT_TRUE(dragged);
    QWidget* target = form_->controls().playlistView->viewport();
    const QPoint middle = target->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, dragged.get(), Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(middle, Qt::CopyAction, dragged.get(), Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{inMusic("kiss.mp3"), inMusic("doves.mp3"),
                                                         inMusic("kiss.mp3")}));

    // A double click keeps its meaning: the track's video sources, which are
    // not files to play.
    ASSERT_TRUE(awaitAnswer(*library_, [this] {
        const QPoint at = rowRect("Prince - Kiss").center();
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list_->viewport(), Qt::LeftButton, {}, at);
    }));
    EXPECT_EQ(library_->currentRequest().method, "youtube.sources");
    ASSERT_FALSE(rows().isEmpty());
    EXPECT_FALSE(menuOffersAdd(rows().front()));
    clickRow(rows().front());
    QTest::keyClick(list_, Qt::Key_Return);
    EXPECT_EQ(form_->playlist()->count(), 3);
}

TEST_F(LocalMusicSystem, AFileNameFindsItsFileAndAnUntaggedFileIsListedByIt) {
    find("untagged take.mp3");
    EXPECT_EQ(rows(), QStringList{"untagged take.mp3"});
    clickRow("untagged take.mp3");
    QTest::keyClick(list_, Qt::Key_Enter);
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{untagged_.string()}));

    find("kiss.mp3"); // a tagged file, by its name
    EXPECT_EQ(rows(), QStringList{"Prince - Kiss"});
}

TEST_F(LocalMusicSystem, EveryVideoCarriesItsLength) {
    // Two-second videos in MP4 and FLV.
    const RawAnswer feed = rawGet(server_.port(), "/api/video/?vq=kiss&max-results=50");
    ASSERT_EQ(feed.status, 200);
    const std::regex duration("duration=\"(\\d+)\"");
    int durations = 0;
    for (auto it = std::sregex_iterator(feed.body.begin(), feed.body.end(), duration);
         it != std::sregex_iterator(); ++it, ++durations)
        EXPECT_EQ((*it)[1].str(), "2") << feed.body;
    EXPECT_EQ(durations, 4); // two entries, two contents each
}

} // namespace
