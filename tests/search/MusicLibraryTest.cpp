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

std::string Get(const std::string& target) {
    return "GET " + target + " HTTP/1.1";
}

class MusicLibraryTest : public MusicLibraryFixture {
protected:
    void SetUp() override {
        MusicLibraryFixture::SetUp();
        ServeAnswer(kMusic + "track.search&limit=100&track=believe", "track_search.xml");
        ServeAnswer(kMusic + "track.search&limit=100&track=hello", "track_search_compact.xml");
        ServeAnswer(kMusic + "track.search&limit=100&track=unique", "track_search_one.xml");
        ServeAnswer(kMusic + "track.search&limit=100&track=zzzz", "track_search_empty.xml");
        ServeAnswer(kMusic + "track.search", "track_search_compact.xml");
        ServeAnswer(kMusic + "track.getSimilar", "track_getsimilar.xml");
        ServeAnswer(kMusic + "tag.gettopartists", "tag_topartists.xml");
        ServeAnswer(kMusic + "artist.getSimilar", "artist_getsimilar.xml");
        ServeAnswer("/api/video/", "youtube_sources.xml");
        page_->show();
    }

    const MusicLibraryWidgets& W() const { return library_->Widgets(); }

    void Find(const QString& text) {
        W().searchBox->setText(text);
        Searched([&] { QTest::mouseClick(W().findButton, Qt::LeftButton); });
    }

    void Click(QWidget* label) {
        Searched([&] { QTest::mouseClick(label, Qt::LeftButton); });
    }

    void Trigger(QAction* item) {
        Searched([&] { item->trigger(); });
    }

    void ClickGenre(const QString& genre) {
        QListWidget* box = W().genresList;
        const auto items = box->findItems(genre, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        box->scrollToItem(items.front());
        Searched([&] {
            QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                              box->visualItemRect(items.front()).center());
        });
    }

    // A real double click: the first click presses the row, the second one
    // arrives as the double click.
    void PressDoubleClick(int row) {
        QTreeWidget* list = W().resultsList;
        const QRect place = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, place.center());
    }

    void DoubleClickRow(int row) {
        Searched([&] { PressDoubleClick(row); });
    }

    // No wait cursor left anywhere: not on the tab, not over the application.
    bool NormalCursor() const {
        return page_->cursor().shape() != Qt::WaitCursor &&
               QApplication::overrideCursor() == nullptr;
    }

    std::vector<bool> MenuShown() const {
        return {W().sourcesAction->isVisible(), W().similarTracksAction->isVisible(),
                W().similarArtistsAction->isVisible()};
    }
};
} // namespace

TEST_F(MusicLibraryTest, FindListsTracksAndKeepsTheAnswerInTheMethodsQueryFile) {
    Find("believe");
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "track.search&limit=100&track=believe&page=1"));
    EXPECT_THAT(Rows(), ElementsAre("Cher - Believe", "Bj\xC3\xB6rk - J\xC3\xB3ga", "", "",
                                    "Marvin Gaye & Tammi Terrell - Ain't No Mountain"));
    EXPECT_EQ(ReadFile((dataFolder_ / "queries" / "track.search.xml").string()),
              Answer("track_search.xml"));
    EXPECT_THAT(MenuShown(), ElementsAre(true, true, true));
    EXPECT_THAT(ErrorTexts(), IsEmpty());
    EXPECT_TRUE(NormalCursor());
}

TEST_F(MusicLibraryTest, FindAsksForPageOneWhateverPageWasReached) {
    Find("hello");
    Click(W().moreLabel);
    EXPECT_EQ(server_.LastRequestLine(), Get(kMusic + "track.search&limit=100&track=hello&page=2"));
    Find("hello");
    EXPECT_EQ(server_.LastRequestLine(), Get(kMusic + "track.search&limit=100&track=hello&page=1"));
    EXPECT_THAT(Rows(), ElementsAre("Adele - Hello", "Lionel Richie - Hello"));
}

TEST_F(MusicLibraryTest, NonAsciiSearchTextIsSentAsEscapedUtf8) {
    Find(QString::fromUtf8("Bj\xC3\xB6rk J\xC3\xB3ga"));
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "track.search&limit=100&track=Bj%C3%B6rk%20J%C3%B3ga&page=1"));
}

TEST_F(MusicLibraryTest, GenresAreSentAsTheyAreAndListArtists) {
    ClickGenre("Hip Hop");
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "tag.gettopartists&limit=100&tag=Hip%20Hop&page=1"));
    EXPECT_THAT(Rows(), ElementsAre("Kanye West", "Beyonc\xC3\xA9", "", "OutKast"));
    EXPECT_THAT(MenuShown(), ElementsAre(false, false, true));
    ClickGenre("R&B");
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "tag.gettopartists&limit=100&tag=R&B&page=1"));
    EXPECT_EQ(W().genresList->count(), 33);
}

TEST_F(MusicLibraryTest, DoubleClickOnAnArtistSearchesItsTracksAndBackReturns) {
    ClickGenre("Hip Hop");
    DoubleClickRow(0);
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "track.search&limit=100&track=Kanye%20West&page=1"));
    EXPECT_THAT(MenuShown(), ElementsAre(true, true, true));
    Click(W().backLabel);
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "tag.gettopartists&limit=100&tag=Hip%20Hop&page=1"));
    EXPECT_THAT(Rows(), ElementsAre("Kanye West", "Beyonc\xC3\xA9", "", "OutKast"));
}

TEST_F(MusicLibraryTest, TrackRowsLeadToSimilarTracksArtistsAndVideoSources) {
    Find("believe");
    SelectRow(0);
    Trigger(W().similarTracksAction);
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "track.getSimilar&limit=100&artist=Cher&track=Believe&page=1"));
    EXPECT_THAT(Rows(), ElementsAre("Cher - Strong Enough", "", "Madonna - Ray of Light"));
    SelectRow(1); // empty caption, artist only
    Trigger(W().similarArtistsAction);
    EXPECT_EQ(server_.LastRequestLine(),
              Get(kMusic + "artist.getSimilar&limit=100&artist=Madonna&page=1"));
    EXPECT_THAT(Rows(), ElementsAre("Jay-Z", "Sonny & Cher"));
}

TEST_F(MusicLibraryTest, SourcesAndDoubleClickSendTheSameVideoRequestAndPagesCountByFifty) {
    const std::string firstPage = Get("/api/video/?vq=Cher%20Believe&max-results=50&start-index=1");
    Find("believe");
    SelectRow(0);
    Trigger(W().sourcesAction);
    EXPECT_EQ(server_.LastRequestLine(), firstPage);
    EXPECT_THAT(MenuShown(), ElementsAre(false, false, false));
    Find("believe");
    DoubleClickRow(0);
    EXPECT_EQ(server_.LastRequestLine(), firstPage);
    EXPECT_THAT(Rows(), ElementsAre("Cher - Believe", "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga",
                                    "Mobile group"));

    Click(W().moreLabel);
    EXPECT_EQ(server_.LastRequestLine(),
              Get("/api/video/?vq=Cher%20Believe&max-results=50&start-index=51"));
    Click(W().backLabel); // the same request, one page lower
    EXPECT_EQ(server_.LastRequestLine(), firstPage);
    EXPECT_EQ(library_->Page(), 1);
    Click(W().backLabel); // page 1 stays 1
    EXPECT_EQ(library_->Page(), 1);

    SelectRow(0);
    const auto video = library_->SelectedVideo();
    ASSERT_TRUE(video.has_value());
    EXPECT_EQ(video->playerAddress, "http://video.example/v/aaa?f=videos");
    EXPECT_EQ(video->pageAddress, "http://video.example/watch?v=aaa");
    EXPECT_FALSE(library_->SelectedMusic().has_value());
}

TEST_F(MusicLibraryTest, OneResultIsShownAndNoneGivesTheNoMatchesRow) {
    Find("unique");
    EXPECT_THAT(Rows(), ElementsAre("Lonely Artist - Unique Song"));
    Find("zzzz");
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    EXPECT_TRUE(library_->Results().music.empty());
    // The no-matches row stands for no entry: commands on it do nothing.
    const size_t requests = server_.RequestLines().size();
    SelectRow(0);
    W().sourcesAction->trigger();
    W().similarTracksAction->trigger();
    PressDoubleClick(0);
    EXPECT_FALSE(library_->Searching());
    EXPECT_EQ(server_.RequestLines().size(), requests);
}

TEST_F(MusicLibraryTest, ErrorPagesAndOtherTextEndAsTheNoMatchesRowWithoutAnError) {
    server_.ClearRoutes();
    server_.Serve(kMusic + "track.search&limit=100&track=html",
                  {200, "text/html", Answer("error.html"), {}});
    server_.Serve(kMusic + "track.search", {200, "text/plain", Answer("not_xml.txt"), {}});
    server_.Serve("/api/video/", {200, "text/xml", "", {}});
    Find("html");
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    Find("text");
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    Searched([&] { library_->RunQuery("youtube.sources", "empty body"); });
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    EXPECT_THAT(ErrorTexts(), IsEmpty());
}

TEST_F(MusicLibraryTest, UnreachableServiceShowsTheConnectionErrorAsItIs) {
    Find("believe");
    server_.ClearRoutes(); // every request now gets 404
    SelectRow(0);
    Trigger(W().similarTracksAction);
    EXPECT_THAT(ErrorTexts(), ElementsAre(kNoConnection)); // ends in "!": no full stop added
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    EXPECT_TRUE(library_->Results().music.empty());
    EXPECT_EQ(library_->CurrentRequest().method, "track.getSimilar");
    EXPECT_EQ(library_->PreviousRequest().text, "believe");
    EXPECT_THAT(MenuShown(), ElementsAre(true, true, true));
    EXPECT_TRUE(NormalCursor());
}

TEST_F(MusicLibraryTest, RefusedAndSilentServersGiveTheConnectionError) {
    UseHost("127.0.0.1:" + std::to_string(RefusedPort()));
    Find("believe");
    SilentServer silent;
    UseHost(silent.Host());
    SetDownloadTimeouts({1000, 300});
    ClickGenre("Rock");
    EXPECT_THAT(ErrorTexts(), ElementsAre(kNoConnection, kNoConnection));
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
}

// 100 MB of answer is cut off at the limit and reported as too large, not
// as a lost connection, whether the server announced its length or not.
TEST_F(MusicLibraryTest, AnAnswerOverTheLimitIsReportedAsTooLarge) {
    for (const bool announced : {true, false}) {
        LoopbackServer::Response huge{200, "text/xml", std::string(1 << 20, ' '), {}};
        huge.repeat = 100;
        huge.announceLength = announced;
        server_.ClearRoutes();
        server_.Serve("/", huge);
        shown_.clear();
        Find("believe");
        EXPECT_THAT(ErrorTexts(), ElementsAre(kAnswerTooLargeError)) << announced;
        EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    }
}

// When the check of the service's port says a stranger holds it, the query
// never leaves and the user is told why instead.
TEST_F(MusicLibraryTest, ARefusedSendCheckSendsNothingAndSaysWhy) {
    const std::string why = "Another program holds the port: no search was sent to it!";
    // Answered later, as the real check answers from its worker.
    library_->SetSendCheck(
        [&](auto send) { QTimer::singleShot(0, [=] { send(QString::fromStdString(why)); }); });
    server_.ClearRequestLines();
    Find("believe");
    EXPECT_THAT(server_.RequestLines(), IsEmpty());
    EXPECT_THAT(ErrorTexts(), ElementsAre(why));
    EXPECT_TRUE(NormalCursor());
    library_->SetSendCheck([](auto send) { QTimer::singleShot(0, [=] { send({}); }); });
    Find("believe");
    EXPECT_EQ(server_.RequestLines().size(), 1u);
}

TEST_F(MusicLibraryTest, PagingBeforeAnySearchFailsWithoutARequest) {
    Click(W().moreLabel);
    Click(W().backLabel);
    EXPECT_THAT(ErrorTexts(), ElementsAre(kNoConnection, kNoConnection));
    EXPECT_THAT(Rows(), ElementsAre(kNoMatches));
    EXPECT_THAT(server_.RequestLines(), IsEmpty());
}

TEST_F(MusicLibraryTest, AMissingQueryFolderFailsTheDownload) {
    std::filesystem::remove_all(dataFolder_ / "queries");
    Find("believe");
    EXPECT_THAT(ErrorTexts(), ElementsAre(kNoConnection));
}

TEST_F(MusicLibraryTest, TheAnswerFileErrorIsShownWithAFullStop) {
    dialogs::ShowError(kNoAnswerFileError);
    EXPECT_THAT(ErrorTexts(),
                ElementsAre("Database connection error! Please check your internet connection."));
}
