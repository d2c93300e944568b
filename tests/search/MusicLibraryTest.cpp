#include "MusicLibraryFixture.h"
#include "search/ClickLabel.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
const std::string kMusic = "/api/music/?method=";
const std::string kNoMatches = "No matches found! Please verify your search criteria!";
const std::string kNoConnection = "Unable to connect to the Internet, make sure you are connected!";

std::string get(const std::string& target) {
    return "GET " + target + " HTTP/1.1";
}

class MusicLibraryTest : public MusicLibraryFixture {
protected:
    void SetUp() override {
        MusicLibraryFixture::SetUp();
        serveAnswer(kMusic + "track.search&limit=100&track=believe", "track_search.xml");
        serveAnswer(kMusic + "track.search&limit=100&track=hello", "track_search_compact.xml");
        serveAnswer(kMusic + "track.search&limit=100&track=unique", "track_search_one.xml");
        serveAnswer(kMusic + "track.search&limit=100&track=zzzz", "track_search_empty.xml");
        serveAnswer(kMusic + "track.search", "track_search_compact.xml");
        serveAnswer(kMusic + "track.getSimilar", "track_getsimilar.xml");
        serveAnswer(kMusic + "tag.gettopartists", "tag_topartists.xml");
        serveAnswer(kMusic + "artist.getSimilar", "artist_getsimilar.xml");
        serveAnswer("/api/video/", "youtube_sources.xml");
        page_->show();
    }

    const MusicLibraryWidgets& W() const { return library_->widgets(); }

    void find(const QString& text) {
        W().searchBox->setText(text);
        searched([&] { QTest::mouseClick(W().findButton, Qt::LeftButton); });
    }

    void click(QWidget* label) {
        searched([&] { QTest::mouseClick(label, Qt::LeftButton); });
    }

    void trigger(QAction* item) {
        searched([&] { item->trigger(); });
    }

    void clickGenre(const QString& genre) {
        QListWidget* box = W().genresList;
        const auto items = box->findItems(genre, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        box->scrollToItem(items.front());
        searched([&] {
            QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                              box->visualItemRect(items.front()).center());
        });
    }

    // A real double click: the first click presses the row, the second one
    // arrives as the double click.
    void pressDoubleClick(int row) {
        QTreeWidget* list = W().resultsList;
        const QRect place = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, place.center());
    }

    void doubleClickRow(int row) {
        searched([&] { pressDoubleClick(row); });
    }

    // No wait cursor left anywhere: not on the tab, not over the application.
    bool normalCursor() const {
        return page_->cursor().shape() != Qt::WaitCursor &&
               QApplication::overrideCursor() == nullptr;
    }

    std::vector<bool> menuShown() const {
        return {W().sourcesAction->isVisible(), W().similarTracksAction->isVisible(),
                W().similarArtistsAction->isVisible()};
    }
};
} // namespace

TEST_F(MusicLibraryTest, FindListsTracksAndKeepsTheAnswerInTheMethodsQueryFile) {
    find("believe");
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "track.search&limit=100&track=believe&page=1"));
    EXPECT_THAT(rows(), ElementsAre("Cher - Believe", "Bj\xC3\xB6rk - J\xC3\xB3ga", "", "",
                                    "Marvin Gaye & Tammi Terrell - Ain't No Mountain"));
    EXPECT_EQ(readFile((dataFolder_ / "queries" / "track.search.xml").string()),
              answer("track_search.xml"));
    EXPECT_THAT(menuShown(), ElementsAre(true, true, true));
    EXPECT_THAT(errorTexts(), IsEmpty());
    EXPECT_TRUE(normalCursor());
}

TEST_F(MusicLibraryTest, FindAsksForPageOneWhateverPageWasReached) {
    find("hello");
    click(W().moreLabel);
    EXPECT_EQ(server_.lastRequestLine(), get(kMusic + "track.search&limit=100&track=hello&page=2"));
    find("hello");
    EXPECT_EQ(server_.lastRequestLine(), get(kMusic + "track.search&limit=100&track=hello&page=1"));
    EXPECT_THAT(rows(), ElementsAre("Adele - Hello", "Lionel Richie - Hello"));
}

TEST_F(MusicLibraryTest, NonAsciiSearchTextIsSentAsEscapedUtf8) {
    find(QString::fromUtf8("Bj\xC3\xB6rk J\xC3\xB3ga"));
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "track.search&limit=100&track=Bj%C3%B6rk%20J%C3%B3ga&page=1"));
}

TEST_F(MusicLibraryTest, GenresAreSentAsTheyAreAndListArtists) {
    clickGenre("Hip Hop");
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "tag.gettopartists&limit=100&tag=Hip%20Hop&page=1"));
    EXPECT_THAT(rows(), ElementsAre("Kanye West", "Beyonc\xC3\xA9", "", "OutKast"));
    EXPECT_THAT(menuShown(), ElementsAre(false, false, true));
    clickGenre("R&B");
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "tag.gettopartists&limit=100&tag=R&B&page=1"));
    EXPECT_EQ(W().genresList->count(), 33);
}

TEST_F(MusicLibraryTest, DoubleClickOnAnArtistSearchesItsTracksAndBackReturns) {
    clickGenre("Hip Hop");
    doubleClickRow(0);
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "track.search&limit=100&track=Kanye%20West&page=1"));
    EXPECT_THAT(menuShown(), ElementsAre(true, true, true));
    click(W().backLabel);
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "tag.gettopartists&limit=100&tag=Hip%20Hop&page=1"));
    EXPECT_THAT(rows(), ElementsAre("Kanye West", "Beyonc\xC3\xA9", "", "OutKast"));
}

TEST_F(MusicLibraryTest, TrackRowsLeadToSimilarTracksArtistsAndVideoSources) {
    find("believe");
    selectRow(0);
    trigger(W().similarTracksAction);
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "track.getSimilar&limit=100&artist=Cher&track=Believe&page=1"));
    EXPECT_THAT(rows(), ElementsAre("Cher - Strong Enough", "", "Madonna - Ray of Light"));
    selectRow(1); // empty caption, artist only
    trigger(W().similarArtistsAction);
    EXPECT_EQ(server_.lastRequestLine(),
              get(kMusic + "artist.getSimilar&limit=100&artist=Madonna&page=1"));
    EXPECT_THAT(rows(), ElementsAre("Jay-Z", "Sonny & Cher"));
}

TEST_F(MusicLibraryTest, SourcesAndDoubleClickSendTheSameVideoRequestAndPagesCountByFifty) {
    const std::string firstPage = get("/api/video/?vq=Cher%20Believe&max-results=50&start-index=1");
    find("believe");
    selectRow(0);
    trigger(W().sourcesAction);
    EXPECT_EQ(server_.lastRequestLine(), firstPage);
    EXPECT_THAT(menuShown(), ElementsAre(false, false, false));
    find("believe");
    doubleClickRow(0);
    EXPECT_EQ(server_.lastRequestLine(), firstPage);
    EXPECT_THAT(rows(), ElementsAre("Cher - Believe", "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga",
                                    "Mobile group"));

    click(W().moreLabel);
    EXPECT_EQ(server_.lastRequestLine(),
              get("/api/video/?vq=Cher%20Believe&max-results=50&start-index=51"));
    click(W().backLabel); // the same request, one page lower
    EXPECT_EQ(server_.lastRequestLine(), firstPage);
    EXPECT_EQ(library_->page(), 1);
    click(W().backLabel); // page 1 stays 1
    EXPECT_EQ(library_->page(), 1);

    selectRow(0);
    const auto video = library_->selectedVideo();
    ASSERT_TRUE(video.has_value());
    EXPECT_EQ(video->playerAddress, "http://video.example/v/aaa?f=videos");
    EXPECT_EQ(video->pageAddress, "http://video.example/watch?v=aaa");
    EXPECT_FALSE(library_->selectedMusic().has_value());
}

TEST_F(MusicLibraryTest, OneResultIsShownAndNoneGivesTheNoMatchesRow) {
    find("unique");
    EXPECT_THAT(rows(), ElementsAre("Lonely Artist - Unique Song"));
    find("zzzz");
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    EXPECT_TRUE(library_->results().music.empty());
    // The no-matches row stands for no entry: commands on it do nothing.
    const size_t requests = server_.requestLines().size();
    selectRow(0);
    W().sourcesAction->trigger();
    W().similarTracksAction->trigger();
    pressDoubleClick(0);
    EXPECT_FALSE(library_->searching());
    EXPECT_EQ(server_.requestLines().size(), requests);
}

TEST_F(MusicLibraryTest, ErrorPagesAndOtherTextEndAsTheNoMatchesRowWithoutAnError) {
    server_.clearRoutes();
    server_.serve(kMusic + "track.search&limit=100&track=html",
                  {200, "text/html", answer("error.html"), {}});
    server_.serve(kMusic + "track.search", {200, "text/plain", answer("not_xml.txt"), {}});
    server_.serve("/api/video/", {200, "text/xml", "", {}});
    find("html");
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    find("text");
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    searched([&] { library_->runQuery("youtube.sources", "empty body"); });
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    EXPECT_THAT(errorTexts(), IsEmpty());
}

TEST_F(MusicLibraryTest, UnreachableServiceShowsTheConnectionErrorAsItIs) {
    find("believe");
    server_.clearRoutes(); // every request now gets 404
    selectRow(0);
    trigger(W().similarTracksAction);
    EXPECT_THAT(errorTexts(), ElementsAre(kNoConnection)); // ends in "!": no full stop added
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    EXPECT_TRUE(library_->results().music.empty());
    EXPECT_EQ(library_->currentRequest().method, "track.getSimilar");
    EXPECT_EQ(library_->previousRequest().text, "believe");
    EXPECT_THAT(menuShown(), ElementsAre(true, true, true));
    EXPECT_TRUE(normalCursor());
}

TEST_F(MusicLibraryTest, RefusedAndSilentServersGiveTheConnectionError) {
    useHost("127.0.0.1:" + std::to_string(refusedPort()));
    find("believe");
    SilentServer silent;
    useHost(silent.host());
    setDownloadTimeouts({1000, 300});
    clickGenre("Rock");
    EXPECT_THAT(errorTexts(), ElementsAre(kNoConnection, kNoConnection));
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
}

// 100 MB of answer is cut off at the limit and reported as too large, not
// as a lost connection, whether the server announced its length or not.
TEST_F(MusicLibraryTest, AnAnswerOverTheLimitIsReportedAsTooLarge) {
    for (const bool announced : {true, false}) {
        LoopbackServer::Response huge{200, "text/xml", std::string(1 << 20, ' '), {}};
        huge.repeat = 100;
        huge.announceLength = announced;
        server_.clearRoutes();
        server_.serve("/", huge);
        shown_.clear();
        find("believe");
        EXPECT_THAT(errorTexts(), ElementsAre(kAnswerTooLargeError)) << announced;
        EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    }
}

// When the check of the service's port says a stranger holds it, the query
// never leaves and the user is told why instead.
TEST_F(MusicLibraryTest, ARefusedSendCheckSendsNothingAndSaysWhy) {
    const std::string why = "Another program holds the port: no search was sent to it!";
    // Answered later, as the real check answers from its worker.
    library_->setSendCheck(
        [&](auto send) { QTimer::singleShot(0, [=] { send(QString::fromStdString(why)); }); });
    server_.clearRequestLines();
    find("believe");
    EXPECT_THAT(server_.requestLines(), IsEmpty());
    EXPECT_THAT(errorTexts(), ElementsAre(why));
    EXPECT_TRUE(normalCursor());
    library_->setSendCheck([](auto send) { QTimer::singleShot(0, [=] { send({}); }); });
    find("believe");
    EXPECT_EQ(server_.requestLines().size(), 1u);
}

TEST_F(MusicLibraryTest, PagingBeforeAnySearchFailsWithoutARequest) {
    click(W().moreLabel);
    click(W().backLabel);
    EXPECT_THAT(errorTexts(), ElementsAre(kNoConnection, kNoConnection));
    EXPECT_THAT(rows(), ElementsAre(kNoMatches));
    EXPECT_THAT(server_.requestLines(), IsEmpty());
}

TEST_F(MusicLibraryTest, AMissingQueryFolderFailsTheDownload) {
    std::filesystem::remove_all(dataFolder_ / "queries");
    find("believe");
    EXPECT_THAT(errorTexts(), ElementsAre(kNoConnection));
}

TEST_F(MusicLibraryTest, TheAnswerFileErrorIsShownWithAFullStop) {
    dialogs::showError(kNoAnswerFileError);
    EXPECT_THAT(errorTexts(),
                ElementsAre("Database connection error! Please check your internet connection."));
}
