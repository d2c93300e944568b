// Searches run beside the window's event loop: a slow service never stalls
// it, and a newer request replaces one still running.
#include "MusicLibraryFixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
const std::string kSearch = "/api/music/?method=track.search&limit=100&track=";

class SearchInBackground : public MusicLibraryFixture {
protected:
    void SetUp() override {
        MusicLibraryFixture::SetUp();
        LoopbackServer::Response slow{200, "text/xml", answer("track_search.xml"), {}};
        slow.trickleMs = 1000;
        server_.serve(kSearch + "slow", slow);
        serveAnswer(kSearch + "fast", "track_search_compact.xml");
    }

    void click(const char* text) {
        library_->widgets().searchBox->setText(text);
        library_->widgets().findButton->click();
    }

    void awaitRequests(size_t count) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return server_.requestLines().size() >= count; }, 5000));
    }
};

TEST_F(SearchInBackground, ASecondFindCancelsTheRunningOneAndOnlyItsAnswerIsShown) {
    QSignalSpy shown(library_, &MusicLibrary::answerShown);
    click("slow");
    awaitRequests(1); // the slow answer has begun to trickle
    EXPECT_EQ(page_->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the tab only, not the application
    searched([&] { click("fast"); });
    EXPECT_THAT(rows(), ElementsAre("Adele - Hello", "Lionel Richie - Hello"));

    // The first transfer is dropped at once, not left to time out.
    QElapsedTimer gone;
    gone.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server_.openConnections() == 0; }, 2000));
    std::printf("cancelled transfer closed %lld ms after the second answer\n", gone.elapsed());
    QTest::qWait(100); // anything late from the first request would arrive now
    EXPECT_EQ(shown.count(), 1);
    EXPECT_THAT(rows(), ElementsAre("Adele - Hello", "Lionel Richie - Hello"));
    EXPECT_THAT(errorTexts(), IsEmpty());
    EXPECT_NE(page_->cursor().shape(), Qt::WaitCursor);
    // Only the second answer is on disk, with no partial file beside it.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder_ / "queries"))
        files.push_back(entry.path().filename().string());
    EXPECT_THAT(files, ElementsAre("track.search.xml"));
    EXPECT_EQ(readFile((dataFolder_ / "queries" / "track.search.xml").string()),
              answer("track_search_compact.xml"));
}

TEST_F(SearchInBackground, TheEventLoopKeepsTurningWhileAnAnswerTrickles) {
    // Blocking on this search would stall the loop for the whole time-out.
    setDownloadTimeouts({1000, 1500});
    QElapsedTimer clock;
    clock.start();
    qint64 longestRoundTrip = 0;
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        const qint64 posted = clock.elapsed();
        QMetaObject::invokeMethod(
            &ticker,
            [&, posted] {
                longestRoundTrip = std::max(longestRoundTrip, clock.elapsed() - posted);
            },
            Qt::QueuedConnection);
    });
    ticker.start();
    searched([&] { click("slow"); });
    ticker.stop();
    const qint64 searchMs = clock.elapsed();
    std::printf("search took %lld ms; %d ticks; longest posted-event round trip %lld ms\n",
                searchMs, ticks, longestRoundTrip);
    EXPECT_GE(searchMs, 1000);
    EXPECT_GT(ticks, 20);
    EXPECT_LT(longestRoundTrip, 200); // loose: the machine is shared with other builds
    EXPECT_THAT(errorTexts(), ElementsAre(kNoConnectionError)); // the time-out, as before
    EXPECT_THAT(rows(), ElementsAre(kNoMatchesRow));
}

TEST_F(SearchInBackground, AnAnswerThatIsNotUtf8ListsNothingAndSendsNothingBack) {
    // Two tracks, so a reader that let the bytes through would list them.
    const std::string latin1 =
        "<?xml version=\"1.0\"?><lfm status=\"ok\"><results><trackmatches>"
        "<track><name>K\xF6ln</name><artist>Sch\xF6n</artist></track>"
        "<track><name>Two</name><artist>B</artist></track></trackmatches></results></lfm>";
    server_.serve(kSearch + "latin", {200, "text/xml", latin1, {}});
    searched([&] { click("latin"); });
    EXPECT_THAT(rows(), ElementsAre(kNoMatchesRow));
    EXPECT_TRUE(library_->results().music.empty());
    const size_t requests = server_.requestLines().size();
    selectRow(0);
    library_->findSimilarTracks();
    library_->findSources();
    EXPECT_FALSE(library_->searching());
    EXPECT_EQ(server_.requestLines().size(), requests);
}

TEST_F(SearchInBackground, TheClientAnswersWithoutATabAndOnlyTheLatestRequest) {
    SearchClient client;
    QSignalSpy answered(&client, &SearchClient::answered);
    const std::string file = (dataFolder_ / "queries" / "track.search.xml").string();
    client.start("track.search", "http://" + server_.host() + kSearch + "slow&page=1", file);
    awaitRequests(1);
    client.start("track.search", "http://" + server_.host() + kSearch + "fast&page=1", file);
    ASSERT_TRUE(answered.wait(10000));
    QTest::qWait(100);
    ASSERT_EQ(answered.count(), 1);
    const auto answer = answered.front().front().value<SearchAnswer>();
    EXPECT_TRUE(answer.error.empty());
    EXPECT_THAT(answer.results.captions, ElementsAre("Adele - Hello", "Lionel Richie - Hello"));
}

} // namespace
